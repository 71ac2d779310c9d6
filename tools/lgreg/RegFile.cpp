#include "tools/lgreg/RegFile.h"

#include <cctype>
#include <cstdint>

#include "platform/Numbers.h"
#include "platform/Unicode.h"

namespace regfile {
namespace {

using platform::RegValue;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

// The file's text as UTF-8.
bool Decode(std::string_view bytes, std::string& text, ParseError& error) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text = platform::Utf16LeToUtf8(bytes.substr(2));
        return true;
    }
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
        static_cast<unsigned char>(bytes[1]) == 0xFF) {
        error = {1, "UTF-16 big-endian files are not supported"};
        return false;
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    text = platform::ToValidUtf8(bytes);
    return true;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || text[i] == '\r') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// Reads a quoted string at s[0] == '"'; leaves in rest what follows it.
bool ReadQuoted(std::string_view s, std::string& out, std::string_view& rest) {
    out.clear();
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            out += s[++i];
        } else if (s[i] == '"') {
            rest = s.substr(i + 1);
            return true;
        } else {
            out += s[i];
        }
    }
    return false;
}

bool OnlyCommentLeft(std::string_view rest) {
    rest = TrimLeft(rest);
    return rest.empty() || rest.front() == ';';
}

bool ParseHexBytes(std::string_view s, std::string& bytes) {
    bytes.clear();
    s = TrimRight(TrimLeft(s));
    if (s.empty()) return true;
    std::size_t i = 0;
    while (true) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        std::size_t digits = 0;
        int value = 0;
        while (i < s.size() && platform::HexDigit(s[i]) >= 0 && digits < 2) {
            value = value * 16 + platform::HexDigit(s[i++]);
            ++digits;
        }
        if (digits == 0) return false;
        bytes += static_cast<char>(value);
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i == s.size()) return true;
        if (s[i] != ',') return false;
        ++i;
        if (i == s.size()) return true;  // a trailing comma before the line end
    }
}

bool ParseData(std::string_view data, bool v5, RegValue& value, bool& deletes, std::string& why) {
    deletes = false;
    if (data.empty()) {
        why = "missing value data";
        return false;
    }
    if (data.front() == '"') {
        std::string text;
        std::string_view rest;
        if (!ReadQuoted(data, text, rest)) {
            why = "unterminated string";
            return false;
        }
        if (!OnlyCommentLeft(rest)) {
            why = "unexpected text after the string";
            return false;
        }
        value = RegValue::String(text);
        return true;
    }
    if (data.front() == '-' && OnlyCommentLeft(data.substr(1))) {
        deletes = true;
        return true;
    }
    const std::size_t colon = data.find(':');
    if (colon == std::string_view::npos) {
        why = "value data must be a string, dword:, hex: or -";
        return false;
    }
    const std::string_view kind = data.substr(0, colon);
    std::string_view body = data.substr(colon + 1);
    if (const std::size_t semi = body.find(';'); semi != std::string_view::npos) {
        body = body.substr(0, semi);
    }
    if (EqualsNoCase(kind, "dword")) {
        std::uint64_t n = 0;
        if (!platform::ParseHexDigits(TrimRight(TrimLeft(body)), 8, n)) {
            why = "dword data must be 1 to 8 hexadecimal digits";
            return false;
        }
        value = RegValue::Dword(static_cast<std::uint32_t>(n));
        return true;
    }
    std::uint32_t type = platform::REG_BINARY;
    if (EqualsNoCase(kind.substr(0, 4), "hex(") && kind.size() > 5 && kind.back() == ')') {
        std::uint64_t n = 0;
        if (!platform::ParseHexDigits(kind.substr(4, kind.size() - 5), 8, n)) {
            why = "bad type number in '" + std::string(kind) + "'";
            return false;
        }
        type = static_cast<std::uint32_t>(n);
    } else if (!EqualsNoCase(kind, "hex")) {
        why = "unknown value kind '" + std::string(kind) + "'";
        return false;
    }
    std::string bytes;
    if (!ParseHexBytes(body, bytes)) {
        why = "bad hexadecimal byte list";
        return false;
    }
    value.type = type;
    const bool text = type == platform::REG_SZ || type == platform::REG_EXPAND_SZ ||
                      type == platform::REG_MULTI_SZ;
    // Version 5 files carry text types as UTF-16LE, version 4 in the ANSI code page.
    if (text) {
        value.data = v5 ? platform::Utf16LeToUtf8(bytes) : platform::Windows1252ToUtf8(bytes);
    } else {
        value.data = std::move(bytes);
    }
    return true;
}

void AppendEscaped(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

// A string that a quoted form carries unchanged: text, one closing NUL, and
// no line breaks.
bool QuotableString(const RegValue& v) {
    if (v.type != platform::REG_SZ || v.data.empty() || v.data.back() != '\0') return false;
    const std::string_view text(v.data.data(), v.data.size() - 1);
    return text.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos &&
           platform::IsValidUtf8(text);
}

void AppendHex(std::string& out, std::size_t lineStart, const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += platform::HexDigitChar(b >> 4, true);
        out += platform::HexDigitChar(b, true);
        if (i + 1 == bytes.size()) break;
        out += ',';
        if (out.size() - lineStart > 76) {
            out += "\\\r\n  ";
            lineStart = out.size() - 2;
        }
    }
}

}  // namespace

std::string FullKeyName(std::string_view path) {
    std::string name = "HKEY_CURRENT_USER";
    if (!path.empty()) {
        name += '\\';
        name += path;
    }
    return name;
}

bool SplitRoot(std::string_view name, std::string& path) {
    for (std::string_view root :
         {std::string_view("HKEY_CURRENT_USER"), std::string_view("HKCU")}) {
        if (name.size() < root.size() || !EqualsNoCase(name.substr(0, root.size()), root)) continue;
        std::string_view rest = name.substr(root.size());
        if (rest.empty()) {
            path.clear();
            return true;
        }
        if (rest.front() != '\\') continue;
        rest.remove_prefix(1);
        if (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
        path.assign(rest);
        return true;
    }
    return false;
}

namespace {

// Skips leading blank lines to the header; leaves i on it.
bool ReadHeader(const std::vector<std::string_view>& lines, std::size_t& i, bool& v5,
                ParseError& error) {
    while (i < lines.size() && TrimRight(TrimLeft(lines[i])).empty()) ++i;
    if (i == lines.size()) {
        error = {1, "the file is empty"};
        return false;
    }
    const std::string_view header = TrimRight(lines[i]);
    v5 = header == kHeaderV5;
    if (!v5 && header != kHeaderV4) {
        error = {static_cast<int>(i + 1), "not a registry file: the first line must be \"" +
                                              std::string(kHeaderV5) + "\" or \"REGEDIT4\""};
        return false;
    }
    return true;
}

// "[path]" creates a key, "[-path]" deletes a tree.
bool ParseKeyLine(std::string_view line, Change& c, std::string& why) {
    if (line.back() != ']') {
        why = "key line without a closing ']'";
        return false;
    }
    std::string_view name = line.substr(1, line.size() - 2);
    const bool remove = !name.empty() && name.front() == '-';
    if (remove) name.remove_prefix(1);
    if (!SplitRoot(name, c.keyPath)) {
        why = "key '" + std::string(name) + "' is not below HKEY_CURRENT_USER, the only hive here";
        return false;
    }
    std::vector<std::string_view> parts;
    if (platform::RegStatus s = platform::SplitKeyPath(c.keyPath, parts); !s.ok()) {
        why = s.message;
        return false;
    }
    if (remove && c.keyPath.empty()) {
        why = "the whole of HKEY_CURRENT_USER cannot be deleted";
        return false;
    }
    c.kind = remove ? Change::kDeleteKeyTree : Change::kCreateKey;
    return true;
}

// "name"=data or @=data under key; hexadecimal data may go on over lines
// that end with a backslash, which moves i past them.
bool ParseValueLine(const std::vector<std::string_view>& lines, std::size_t& i, const Change* key,
                    bool v5, Change& c, std::string& why) {
    if (!key) {
        why = "a value stands before any key";
        return false;
    }
    if (key->kind == Change::kDeleteKeyTree) {
        why = "a value stands under a key that is being deleted";
        return false;
    }
    const std::string_view line = TrimRight(TrimLeft(lines[i]));
    std::string_view rest;
    if (line.front() == '@') {
        rest = line.substr(1);
    } else if (line.front() != '"') {
        why = "expected a key in [brackets] or a value \"name\"=data";
        return false;
    } else if (!ReadQuoted(line, c.valueName, rest)) {
        why = "unterminated value name";
        return false;
    }
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=') {
        why = "expected '=' after the value name";
        return false;
    }
    if (platform::RegStatus s = platform::CheckValueName(c.valueName); !s.ok()) {
        why = s.message;
        return false;
    }
    std::string data(TrimLeft(rest.substr(1)));
    if (EqualsNoCase(std::string_view(data).substr(0, 3), "hex")) {
        while (!data.empty() && data.back() == '\\' && i + 1 < lines.size()) {
            data.pop_back();
            data += TrimRight(TrimLeft(lines[++i]));
        }
    }
    c.keyPath = key->keyPath;
    bool deletes = false;
    if (!ParseData(data, v5, c.value, deletes, why)) return false;
    c.kind = deletes ? Change::kDeleteValue : Change::kSetValue;
    return true;
}

}  // namespace

bool Parse(std::string_view bytes, std::vector<Change>& changes, ParseError& error) {
    changes.clear();
    std::string text;
    if (!Decode(bytes, text, error)) return false;
    const std::vector<std::string_view> lines = SplitLines(text);

    std::size_t i = 0;
    bool v5 = false;
    if (!ReadHeader(lines, i, v5, error)) return false;
    std::size_t key = 0;  // 1 + the index of the key the values below belong to
    for (++i; i < lines.size(); ++i) {
        const int lineNo = static_cast<int>(i + 1);
        const std::string_view line = TrimRight(TrimLeft(lines[i]));
        if (line.empty() || line.front() == ';') continue;
        Change c;
        c.line = lineNo;
        std::string why;
        const bool ok =
            line.front() == '['
                ? ParseKeyLine(line, c, why)
                : ParseValueLine(lines, i, key ? &changes[key - 1] : nullptr, v5, c, why);
        if (!ok) {
            error = {lineNo, why};
            return false;
        }
        changes.push_back(std::move(c));
        if (line.front() == '[') key = changes.size();
    }
    return true;
}

bool Exportable(const std::vector<Key>& keys, std::string& error) {
    for (const Key& key : keys) {
        std::vector<std::string_view> names;
        platform::RegStatus s = platform::SplitKeyPath(key.path, names);
        for (std::size_t i = 0; s.ok() && i < key.values.size(); ++i)
            s = platform::CheckValueName(key.values[i].first);
        if (!s.ok()) {
            error = "key '" + platform::Printable(FullKeyName(key.path)) +
                    "' cannot be written to a .reg file: " + s.message;
            return false;
        }
    }
    return true;
}

std::string Format(const std::vector<Key>& keys) {
    std::string out(kHeaderV5);
    out += "\r\n\r\n";
    for (const Key& key : keys) {
        out += '[';
        out += platform::ToValidUtf8(FullKeyName(key.path));
        out += "]\r\n";
        for (const auto& [name, value] : key.values) {
            const std::size_t lineStart = out.size();
            if (name.empty()) {
                out += '@';
            } else {
                AppendEscaped(out, platform::ToValidUtf8(name));
            }
            out += '=';
            std::uint32_t dword;
            if (QuotableString(value)) {
                AppendEscaped(out, std::string_view(value.data.data(), value.data.size() - 1));
            } else if (platform::DecodeDword(value, dword)) {
                out += "dword:";
                for (int shift = 28; shift >= 0; shift -= 4)
                    out += platform::HexDigitChar(dword >> shift, true);
            } else {
                const bool text = value.type == platform::REG_SZ ||
                                  value.type == platform::REG_EXPAND_SZ ||
                                  value.type == platform::REG_MULTI_SZ;
                if (value.type == platform::REG_BINARY) {
                    out += "hex:";
                } else {
                    std::string number;
                    for (std::uint32_t t = value.type; number.empty() || t; t >>= 4) {
                        number.insert(number.begin(), platform::HexDigitChar(t, true));
                    }
                    out += "hex(" + number + "):";
                }
                AppendHex(out, lineStart, text ? platform::Utf8ToUtf16Le(value.data) : value.data);
            }
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace regfile
