#include <iostream>
#include <string>
#include <vector>

#include "tools/lgreg/RegTool.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return RunRegTool(args, std::cin, std::cout, std::cerr);
}
