#include "tools/lgreg/RegTool.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <sstream>

#include "platform/Numbers.h"
#include "platform/Registry.h"
#include "platform/SafeFile.h"
#include "platform/Unicode.h"
#include "tools/lgreg/RegFile.h"

namespace {

using platform::RegCode;
using platform::RegistryHive;
using platform::RegistryKey;
using platform::RegStatus;
using platform::RegValue;

constexpr std::size_t kMaxImportBytes = 64u << 20;

constexpr const char* kUsage =
    "usage: lgreg query KEY [/v NAME | /ve] [/s]\n"
    "       lgreg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
    "       lgreg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "       lgreg export KEY FILE [/y]\n"
    "       lgreg import FILE\n"
    "KEY is HKCU\\path or HKEY_CURRENT_USER\\path. TYPE is REG_SZ (default), REG_EXPAND_SZ,\n"
    "REG_DWORD, REG_QWORD, REG_MULTI_SZ (items split by \\0), REG_BINARY (hex digits) or\n"
    "REG_NONE. The store is $LUMAGRABBER_REGISTRY, else "
    "$XDG_CONFIG_HOME/lumagrabber/registry.db.\n";

// Thrown inside the tool to end a command with a one-line message.
struct Failure {
    std::string message;
};

[[noreturn]] void Fail(std::string message) {
    throw Failure{std::move(message)};
}

void Check(const RegStatus& s) {
    if (!s.ok()) Fail(s.message);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Options {
    std::vector<std::string> positional;
    bool hasValue = false;  // /v or /ve
    std::string valueName;
    bool allValues = false;  // /va
    bool recursive = false;  // /s
    bool force = false;      // /f or /y
    bool hasType = false;
    std::string type = "REG_SZ";
    bool hasData = false;
    std::string data;
};

Options ParseOptions(const std::vector<std::string>& args, const std::string& allowed) {
    Options o;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        // Paths begin with a slash here too, so only the option names count.
        const std::string opt = a.size() >= 2 ? Lower(a.substr(1)) : std::string();
        const bool known =
            (a[0] == '/' || a[0] == '-') &&
            std::string(" v ve va s f y t d ").find(" " + opt + " ") != std::string::npos;
        if (!known) {
            o.positional.push_back(a);
            continue;
        }
        if (allowed.find(" " + opt + " ") == std::string::npos) {
            Fail("option '" + a + "' does not go with " + args[0]);
        }
        auto next = [&]() -> const std::string& {
            if (i + 1 >= args.size()) Fail("option '" + a + "' needs an argument");
            return args[++i];
        };
        if (opt == "v") {
            if (o.hasValue) Fail("give only one of /v and /ve");
            o.hasValue = true;
            o.valueName = next();
        } else if (opt == "ve") {
            if (o.hasValue) Fail("give only one of /v and /ve");
            o.hasValue = true;
            o.valueName.clear();
        } else if (opt == "va") {
            o.allValues = true;
        } else if (opt == "s") {
            o.recursive = true;
        } else if (opt == "f" || opt == "y") {
            o.force = true;
        } else if (opt == "t") {
            o.hasType = true;
            o.type = next();
            for (char& c : o.type)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        } else if (opt == "d") {
            o.hasData = true;
            o.data = next();
        }
    }
    return o;
}

std::string KeyPathOf(const std::string& name) {
    std::string path;
    if (!regfile::SplitRoot(name, path)) {
        Fail("'" + name + "' must begin with HKCU\\ or HKEY_CURRENT_USER\\");
    }
    std::vector<std::string_view> parts;
    Check(platform::SplitKeyPath(path, parts));
    return path;
}

std::unique_ptr<RegistryHive> OpenHive() {
    std::unique_ptr<RegistryHive> hive;
    Check(platform::OpenCurrentUserHive(hive));
    return hive;
}

std::unique_ptr<RegistryKey> OpenExisting(RegistryHive& hive, const std::string& path,
                                          platform::RegAccess access) {
    std::unique_ptr<RegistryKey> key;
    RegStatus s = hive.OpenKey(path, access, key);
    if (s.code == RegCode::NotFound)
        Fail("key '" + regfile::FullKeyName(path) + "' does not exist");
    Check(s);
    return key;
}

bool Confirm(std::istream& in, std::ostream& out, const std::string& question) {
    out << question << " (Yes/No)? " << std::flush;
    std::string answer;
    if (!std::getline(in, answer)) {
        out << '\n';
        return false;
    }
    answer = Lower(answer);
    return answer == "y" || answer == "yes";
}

std::string DisplayData(const RegValue& v) {
    std::string text;
    std::uint32_t dword;
    char buf[32];
    switch (v.type) {
        case platform::REG_SZ:
        case platform::REG_EXPAND_SZ:
            platform::DecodeString(v, text);
            return text;
        case platform::REG_DWORD:
            if (!platform::DecodeDword(v, dword)) break;
            std::snprintf(buf, sizeof buf, "0x%x", dword);
            return buf;
        case platform::REG_QWORD: {
            std::uint64_t q;
            if (!platform::DecodeQword(v, q)) break;
            std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(q));
            return buf;
        }
        case platform::REG_MULTI_SZ: {
            std::string items = v.data;
            while (!items.empty() && items.back() == '\0') items.pop_back();
            for (char c : items) text += c == '\0' ? std::string("\\0") : std::string(1, c);
            return text;
        }
        default:
            break;
    }
    return platform::HexString(v.data);
}

std::string TypeName(std::uint32_t type) {
    const std::string_view name = platform::RegTypeName(type);
    return name.empty() ? "REG_UNKNOWN(" + std::to_string(type) + ")" : std::string(name);
}

void PrintValue(std::ostream& out, const std::string& name, const RegValue& v) {
    // Names and text of a store made elsewhere may hold line breaks: never
    // let one begin a line of its own.
    out << "    " << (name.empty() ? "(Default)" : platform::Printable(name)) << "    "
        << TypeName(v.type) << "    " << platform::Printable(DisplayData(v)) << '\n';
}

void PrintOneKey(std::ostream& out, RegistryKey& key, bool listSubkeys) {
    std::vector<std::pair<std::string, RegValue>> values;
    Check(key.EnumValues(values));
    out << '\n' << platform::Printable(regfile::FullKeyName(key.Path())) << '\n';
    for (const auto& [name, value] : values) PrintValue(out, name, value);
    if (!listSubkeys) return;
    std::vector<std::string> subkeys;
    Check(key.EnumSubKeys(subkeys));
    const std::string prefix = key.Path().empty() ? "" : key.Path() + "\\";
    if (!subkeys.empty()) out << '\n';
    for (const std::string& sub : subkeys)
        out << platform::Printable(regfile::FullKeyName(prefix + sub)) << '\n';
}

void PrintKey(std::ostream& out, RegistryKey& key, bool recursive, RegistryHive& hive) {
    if (!recursive) return PrintOneKey(out, key, true);
    std::vector<std::string> paths;
    Check(platform::ListKeyTree(hive, key.Path(), paths));
    for (const std::string& path : paths) {
        PrintOneKey(out, *OpenExisting(hive, path, platform::RegAccess::Read), false);
    }
}

int Query(const std::vector<std::string>& args, std::ostream& out) {
    const Options o = ParseOptions(args, " v ve s ");
    if (o.positional.size() != 1) Fail("query needs exactly one KEY");
    const std::string path = KeyPathOf(o.positional[0]);
    auto hive = OpenHive();
    auto key = OpenExisting(*hive, path, platform::RegAccess::Read);
    if (!o.hasValue) {
        PrintKey(out, *key, o.recursive, *hive);
        return 0;
    }
    RegValue v;
    RegStatus s = key->QueryValue(o.valueName, v);
    if (s.code == RegCode::NotFound) {
        Fail("value '" + (o.valueName.empty() ? std::string("(Default)") : o.valueName) +
             "' does not exist in '" + regfile::FullKeyName(key->Path()) + "'");
    }
    Check(s);
    std::string stored = o.valueName;
    std::vector<std::pair<std::string, RegValue>> values;
    Check(key->EnumValues(values));
    for (const auto& entry : values) {
        if (platform::FoldCase(entry.first) == platform::FoldCase(o.valueName))
            stored = entry.first;
    }
    out << '\n' << regfile::FullKeyName(key->Path()) << '\n';
    PrintValue(out, stored, v);
    out << '\n';
    return 0;
}

RegValue MakeValue(const Options& o) {
    std::uint32_t type;
    if (!platform::RegTypeFromName(o.type, type)) Fail("bad type '" + o.type + "'");
    const std::string& d = o.data;
    RegValue v;
    v.type = type;
    std::uint64_t n = 0;
    switch (type) {
        case platform::REG_SZ:
        case platform::REG_EXPAND_SZ:
            return RegValue::String(d, type);
        case platform::REG_DWORD:
            if (!platform::ParseUnsigned(d, 0xFFFFFFFFu, n)) {
                Fail("bad data '" + d + "' for REG_DWORD: give 0 to 4294967295, decimal or 0x hex");
            }
            return RegValue::Dword(static_cast<std::uint32_t>(n));
        case platform::REG_QWORD:
            if (!platform::ParseUnsigned(d, UINT64_MAX, n))
                Fail("bad data '" + d + "' for REG_QWORD");
            return RegValue::Qword(n);
        case platform::REG_MULTI_SZ:
            for (std::size_t i = 0; i < d.size(); ++i) {
                if (d[i] == '\\' && i + 1 < d.size() && d[i + 1] == '0') {
                    v.data += '\0';
                    ++i;
                } else {
                    v.data += d[i];
                }
            }
            v.data += std::string(2, '\0');
            return v;
        case platform::REG_BINARY:
        case platform::REG_NONE:
            if (d.size() % 2 != 0) Fail("bad data '" + d + "': give an even number of hex digits");
            if (!platform::ParseHexString(d, v.data))
                Fail("bad data '" + d + "': not hexadecimal digits");
            return v;
        default:
            Fail("values of type " + o.type + " cannot be added here");
    }
}

int Add(const std::vector<std::string>& args, std::istream& in, std::ostream& out) {
    const Options o = ParseOptions(args, " v ve t d f ");
    if (o.positional.size() != 1) Fail("add needs exactly one KEY");
    if (!o.hasValue && (o.hasType || o.hasData)) Fail("/t and /d need /v NAME or /ve");
    const std::string path = KeyPathOf(o.positional[0]);
    RegValue value;
    if (o.hasValue) {
        Check(platform::CheckValueName(o.valueName));
        value = MakeValue(o);
    }
    auto hive = OpenHive();
    std::unique_ptr<RegistryKey> key;
    Check(hive->CreateKey(path, key));
    if (o.hasValue) {
        RegValue existing;
        if (!o.force && key->QueryValue(o.valueName, existing).ok() &&
            !Confirm(in, out,
                     "Value " + (o.valueName.empty() ? "(Default)" : o.valueName) +
                         " exists, overwrite")) {
            hive->Discard();
            Fail("the operation was cancelled");
        }
        Check(key->SetValue(o.valueName, value));
    }
    Check(hive->Flush());
    out << "The operation completed successfully.\n";
    return 0;
}

// Deletes a key with everything below it, deepest keys first.
void DeleteTree(RegistryHive& hive, const std::string& path) {
    OpenExisting(hive, path, platform::RegAccess::ReadWrite);
    Check(hive.DeleteKeyTree(path));
}

int Delete(const std::vector<std::string>& args, std::istream& in, std::ostream& out) {
    const Options o = ParseOptions(args, " v ve va f ");
    if (o.positional.size() != 1) Fail("delete needs exactly one KEY");
    if (o.hasValue && o.allValues) Fail("give only one of /v, /ve and /va");
    const std::string path = KeyPathOf(o.positional[0]);
    auto hive = OpenHive();
    auto key = OpenExisting(*hive, path, platform::RegAccess::ReadWrite);
    const std::string full = regfile::FullKeyName(key->Path());
    if (o.hasValue) {
        const std::string shown = o.valueName.empty() ? "(Default)" : o.valueName;
        RegValue existing;
        RegStatus s = key->QueryValue(o.valueName, existing);
        if (s.code == RegCode::NotFound) {
            Fail("value '" + shown + "' does not exist in '" + full + "'");
        }
        Check(s);
        if (!o.force && !Confirm(in, out, "Delete the registry value " + shown)) {
            Fail("the operation was cancelled");
        }
        Check(key->DeleteValue(o.valueName));
    } else if (o.allValues) {
        if (!o.force && !Confirm(in, out, "Delete all values under the registry key " + full)) {
            Fail("the operation was cancelled");
        }
        std::vector<std::pair<std::string, RegValue>> values;
        Check(key->EnumValues(values));
        for (const auto& entry : values) Check(key->DeleteValue(entry.first));
    } else {
        if (path.empty()) Fail("the whole of HKEY_CURRENT_USER cannot be deleted");
        if (!o.force && !Confirm(in, out, "Permanently delete the registry key " + full)) {
            Fail("the operation was cancelled");
        }
        key.reset();
        DeleteTree(*hive, path);
    }
    Check(hive->Flush());
    out << "The operation completed successfully.\n";
    return 0;
}

void CollectTree(RegistryHive& hive, RegistryKey& key, std::vector<regfile::Key>& keys) {
    std::vector<std::string> paths;
    Check(platform::ListKeyTree(hive, key.Path(), paths));
    for (const std::string& path : paths) {
        regfile::Key entry;
        entry.path = path;
        Check(OpenExisting(hive, path, platform::RegAccess::Read)->EnumValues(entry.values));
        keys.push_back(std::move(entry));
    }
}

void WriteFileAtomically(const std::string& file, const std::string& bytes) {
    platform::AtomicFileWriter writer(file);
    std::string error;
    if (!writer.Commit(bytes, error)) Fail(error);
}

int Export(const std::vector<std::string>& args, std::istream& in, std::ostream& out) {
    const Options o = ParseOptions(args, " y ");
    if (o.positional.size() != 2) Fail("export needs a KEY and a FILE");
    const std::string path = KeyPathOf(o.positional[0]);
    const std::string& file = o.positional[1];
    auto hive = OpenHive();
    auto key = OpenExisting(*hive, path, platform::RegAccess::Read);
    std::vector<regfile::Key> keys;
    CollectTree(*hive, *key, keys);
    std::error_code ec;
    if (!o.force && std::filesystem::exists(file, ec) &&
        !Confirm(in, out, "File " + file + " already exists. Overwrite")) {
        Fail("the operation was cancelled");
    }
    std::string why;
    if (!regfile::Exportable(keys, why)) Fail(why + "; nothing was written");
    WriteFileAtomically(file, regfile::Format(keys));
    out << "The operation completed successfully.\n";
    return 0;
}

std::string ReadWholeFile(const std::string& file) {
    std::string bytes, error;
    if (!platform::ReadWholeFile(file, kMaxImportBytes, bytes, error)) Fail(error);
    return bytes;
}

void DeleteTreeIfPresent(RegistryHive& hive, const std::string& path) {
    std::unique_ptr<RegistryKey> key;
    RegStatus s = hive.OpenKey(path, platform::RegAccess::ReadWrite, key);
    if (s.code == RegCode::NotFound) return;
    Check(s);
    key.reset();
    DeleteTree(hive, path);
}

int Import(const std::vector<std::string>& args) {
    const Options o = ParseOptions(args, " ");
    if (o.positional.size() != 1) Fail("import needs exactly one FILE");
    const std::string& file = o.positional[0];
    std::vector<regfile::Change> changes;
    regfile::ParseError error;
    if (!regfile::Parse(ReadWholeFile(file), changes, error)) {
        Fail(file + ":" + std::to_string(error.line) + ": " + error.message);
    }
    auto hive = OpenHive();
    // All or nothing: one flush at the end, a discard on any failure.
    std::unique_ptr<RegistryKey> key;
    for (const regfile::Change& c : changes) {
        auto where = [&](const RegStatus& s) {
            if (!s.ok()) {
                key.reset();
                hive->Discard();
                Fail(file + ":" + std::to_string(c.line) + ": " + s.message);
            }
        };
        switch (c.kind) {
            case regfile::Change::kCreateKey:
                key.reset();
                where(hive->CreateKey(c.keyPath, key));
                break;
            case regfile::Change::kDeleteKeyTree:
                key.reset();
                try {
                    DeleteTreeIfPresent(*hive, c.keyPath);
                } catch (const Failure& f) {
                    where(RegStatus::Error(RegCode::StoreError, f.message));
                }
                break;
            case regfile::Change::kSetValue:
                where(key->SetValue(c.valueName, c.value));
                break;
            case regfile::Change::kDeleteValue: {
                RegStatus s = key->DeleteValue(c.valueName);
                if (s.code != RegCode::NotFound) where(s);
                break;
            }
        }
    }
    key.reset();
    if (RegStatus s = hive->Flush(); !s.ok()) Fail("import of '" + file + "' failed: " + s.message);
    return 0;
}

}  // namespace

int RunRegTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
               std::ostream& err) {
    if (args.empty()) {
        err << kUsage;
        return 1;
    }
    const std::string command = Lower(args[0]);
    if (command == "/?" || command == "-h" || command == "--help" || command == "help") {
        out << kUsage;
        return 0;
    }
    try {
        if (command == "query") return Query(args, out);
        if (command == "add") return Add(args, in, out);
        if (command == "delete") return Delete(args, in, out);
        if (command == "export") return Export(args, in, out);
        if (command == "import") {
            const int rc = Import(args);
            out << "The operation completed successfully.\n";
            return rc;
        }
        err << "lgreg: unknown command '" << args[0] << "' (lgreg /? lists the commands)\n";
        return 1;
    } catch (const Failure& f) {
        err << "lgreg: " << f.message << '\n';
        return 1;
    }
}
