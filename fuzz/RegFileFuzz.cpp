// Fuzzes lgreg's .reg reader: any bytes parse or fail cleanly, and what
// parses survives a write and a second read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/lgreg/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<regfile::Change> changes;
    regfile::ParseError error;
    if (!regfile::Parse(bytes, changes, error)) {
        if (error.line < 1 || error.message.empty()) __builtin_trap();
        return 0;
    }
    std::vector<regfile::Key> keys;
    for (const regfile::Change& c : changes) {
        if (c.kind == regfile::Change::kCreateKey) keys.push_back({c.keyPath, {}});
        if (c.kind == regfile::Change::kSetValue && !keys.empty()) {
            keys.back().values.emplace_back(c.valueName, c.value);
        }
    }
    std::vector<regfile::Change> again;
    if (!regfile::Parse(regfile::Format(keys), again, error)) __builtin_trap();
    return 0;
}
