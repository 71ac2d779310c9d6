// lgprofile: backs up the stored configuration to a profile file, or puts a
// profile into the store the way Apply does.
//   lgprofile save FILE   the stored configuration, read as the editor reads it, into FILE
//   lgprofile load FILE   FILE into the store: surplus action keys removed, the whole list
//                         written, and the change event set
#include <cstdio>
#include <string>

#include "model/ActionKeys.h"
#include "model/KeyTree.h"
#include "platform/NamedObjects.h"

namespace {

constexpr const char* kKey = "Software\\Orvane\\Lmgrab";

int Fail(const std::string& message) {
    std::fprintf(stderr, "lgprofile: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lgprofile save FILE\n       lgprofile load FILE\n");
        return 1;
    }
    const std::string command = argv[1];
    const std::string file = argv[2];
    TActionKeys list(kKey);
    if (command == "save") {
        // Actions without a hot key are read in full, as the editor keeps them.
        if (!list.LoadFromRegistry() && !list.LastLoad().OnlyKeysMissing()) {
            return Fail(
                "the configuration in the settings store could not be read completely; "
                "nothing was written");
        }
        if (!list.SaveToFile(file)) return Fail("cannot write '" + file + "'");
        return 0;
    }
    if (command == "load") {
        if (!list.LoadFromFile(file)) return Fail("failed to read from file: " + file);
        DeleteSurplusActionKeys(kKey, list.Count() + 1);
        if (!list.SaveToRegistry())
            return Fail("the configuration could not be saved to the store");
        std::string error;
        if (auto event = platform::NamedEvent::Open("Lumagrabber configuration changed.", error)) {
            event->Set();
        }
        return 0;
    }
    return Fail("unknown command '" + command + "'");
}
