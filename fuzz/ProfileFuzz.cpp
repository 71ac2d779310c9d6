// Fuzzes the profile reader: any bytes parse, read, take writes and come
// back out without a crash; written keys read back as written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/FileActionStorage.h"
#include "platform/ProfileFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    platform::ProfileFile ini;
    ini.Parse(text);
    const std::string section = "Software\\Orvane\\Lmgrab";
    std::string value;
    for (const char* key : {"Count", "TargetDir", "DefaultSound", "Name", "Quality"}) {
        if (ini.Get(section, key, value)) {
            if (value.size() > platform::kMaxProfileValue) __builtin_trap();
            std::int32_t n;
            ParseProfileInteger(value, n);
        }
    }
    const std::string piece = text.substr(0, 64);
    ini.Set(section, "Fuzzed", piece);
    ini.Set("New section", "k", "v");
    if (!ini.Get(section, "Fuzzed", value)) __builtin_trap();
    platform::ProfileFile again;
    again.Parse(ini.Text());
    if (!again.Get("new section", "K", value) || value != "v") __builtin_trap();
    return 0;
}
