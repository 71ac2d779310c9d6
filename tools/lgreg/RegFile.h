// The .reg text format: reading it into a list of changes, and writing a
// tree of keys as a file that another desktop's registry editor imports.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Registry.h"

namespace regfile {

inline constexpr std::string_view kHeaderV5 = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kHeaderV4 = "REGEDIT4";

struct Change {
    enum Kind { kCreateKey, kDeleteKeyTree, kSetValue, kDeleteValue };
    Kind kind = kCreateKey;
    int line = 0;              // where the change stands in the file
    std::string keyPath;       // below HKEY_CURRENT_USER
    std::string valueName;     // "" for the default value
    platform::RegValue value;  // for kSetValue
};

struct ParseError {
    int line = 0;
    std::string message;
};

// Reads a whole file's bytes: UTF-8 (with or without BOM), UTF-16LE with
// BOM, or REGEDIT4 text in the Windows-1252 code page.
bool Parse(std::string_view bytes, std::vector<Change>& changes, ParseError& error);

struct Key {
    std::string path;  // below HKEY_CURRENT_USER
    std::vector<std::pair<std::string, platform::RegValue>> values;
};

// A version 5 file as UTF-8 with CR LF line ends.
std::string Format(const std::vector<Key>& keys);
// Keys and values whose names Format writes so that Parse reads them back
// byte for byte: false, naming the first key that holds another, for names
// a store of another program (or an older version) may hold.
bool Exportable(const std::vector<Key>& keys, std::string& error);

// "HKEY_CURRENT_USER\path" for a path below the hive.
std::string FullKeyName(std::string_view path);

// Takes "HKCU\..." or "HKEY_CURRENT_USER\..." (any case) apart; false for
// any other root.
bool SplitRoot(std::string_view name, std::string& path);

}  // namespace regfile
