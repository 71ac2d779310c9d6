#include "tools/lgreg/RegFile.h"

#include <gtest/gtest.h>

#include "platform/Unicode.h"

namespace {

using platform::RegValue;
using regfile::Change;

std::string V5(const std::string& body) {
    return "Windows Registry Editor Version 5.00\r\n\r\n" + body;
}

std::vector<Change> ParseOk(const std::string& text) {
    std::vector<Change> changes;
    regfile::ParseError error;
    EXPECT_TRUE(regfile::Parse(text, changes, error)) << error.line << ": " << error.message;
    return changes;
}

TEST(RegFileParse, ReadsEveryKindOfLine) {
    const auto changes =
        ParseOk(V5("; a comment\r\n"
                   "[HKEY_CURRENT_USER\\Software\\Orvane\\Lmgrab]\r\n"
                   "\"Count\"=dword:0000000a\r\n"
                   "\"TargetDir\"=\"C:\\\\Captures \\\"x\\\"\"\r\n"
                   "@=\"default\"\r\n"
                   "\"Bin\"=hex:01,02,\\\r\n"
                   "  ff\r\n"
                   "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                   "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                   "\"Gone\"=-\r\n"
                   "\"Empty\"=hex:\r\n"
                   "[-HKCU\\Software\\Old]\r\n"
                   "[hkey_current_user]\r\n"));
    ASSERT_EQ(changes.size(), 11u);
    EXPECT_EQ(changes[0].kind, Change::kCreateKey);
    EXPECT_EQ(changes[0].keyPath, "Software\\Orvane\\Lmgrab");
    EXPECT_EQ(changes[0].line, 4);
    EXPECT_EQ(changes[1].value, RegValue::Dword(10));
    EXPECT_EQ(changes[2].value, RegValue::String("C:\\Captures \"x\""));
    EXPECT_EQ(changes[3].valueName, "");
    EXPECT_EQ(changes[4].value, (RegValue{platform::REG_BINARY, "\x01\x02\xFF"}));
    EXPECT_EQ(changes[5].value, RegValue::String("%A%", platform::REG_EXPAND_SZ));
    EXPECT_EQ(changes[6].value.type, platform::REG_QWORD);
    EXPECT_EQ(changes[7].kind, Change::kDeleteValue);
    EXPECT_EQ(changes[8].value, (RegValue{platform::REG_BINARY, ""}));
    EXPECT_EQ(changes[9].kind, Change::kDeleteKeyTree);
    EXPECT_EQ(changes[9].keyPath, "Software\\Old");
    EXPECT_EQ(changes[10].keyPath, "");
    EXPECT_EQ(changes[6].line, 11);  // after the continued line
}

TEST(RegFileParse, AcceptsTheEncodingsOfOtherDesktops) {
    const std::string body = "[HKEY_CURRENT_USER\\K]\r\n\"Name\"=\"Größe\"\r\n";
    const std::string utf8 = V5(body);
    const std::string bom = "\xEF\xBB\xBF" + utf8;
    const std::string utf16 = "\xFF\xFE" + platform::Utf8ToUtf16Le(utf8);
    const std::string lf =
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\K]\n\"Name\"=\"Größe\"\n";
    const std::string ansi =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"Name\"=\"Gr\xF6\xDF"
        "e\"\r\n";
    for (const std::string& text : {utf8, bom, utf16, lf, ansi}) {
        const auto changes = ParseOk(text);
        ASSERT_EQ(changes.size(), 2u);
        EXPECT_EQ(changes[1].value, RegValue::String("Größe"));
    }
    // Version 4 files carry hex(2) text in the ANSI code page.
    const auto v4 = ParseOk("REGEDIT4\r\n[HKEY_CURRENT_USER\\K]\r\n\"E\"=hex(2):e9,00\r\n");
    EXPECT_EQ(v4[1].value, RegValue::String("é", platform::REG_EXPAND_SZ));
}

TEST(RegFileParse, RejectsMalformedInputWithItsLineNumber) {
    const struct {
        std::string text;
        int line;
        const char* words;
    } cases[] = {
        {"", 1, "empty"},
        {"\r\n\r\nREGEDIT5\r\n", 3, "not a registry file"},
        {V5("\"v\"=dword:1\r\n"), 3, "before any key"},
        {V5("[HKEY_LOCAL_MACHINE\\Software]\r\n"), 3, "HKEY_CURRENT_USER"},
        {V5("[HKEY_CURRENT_USERS\\Software]\r\n"), 3, "HKEY_CURRENT_USER"},
        {V5("[HKCU\\Software\r\n"), 3, "closing"},
        {V5("[HKCU\\a\\\\b]\r\n"), 3, "empty key name"},
        {V5("[HKCU\\" + std::string(256, 'k') + "]\r\n"), 3, "255"},
        {V5("[-HKEY_CURRENT_USER]\r\n"), 3, "cannot be deleted"},
        {V5("[HKCU\\K]\r\n\r\n\"v\"=dword:123456789\r\n"), 5, "1 to 8"},
        {V5("[HKCU\\K]\r\n\"v\"=dword:xyz\r\n"), 4, "1 to 8"},
        {V5("[HKCU\\K]\r\n\"v\"=\"open\r\n"), 4, "unterminated string"},
        {V5("[HKCU\\K]\r\n\"v\"=\"a\"b\r\n"), 4, "after the string"},
        {V5("[HKCU\\K]\r\n\"v\"=hex:0g\r\n"), 4, "hexadecimal"},
        {V5("[HKCU\\K]\r\n\"v\"=hex:123\r\n"), 4, "hexadecimal"},
        {V5("[HKCU\\K]\r\n\"v\"=hex(zz):00\r\n"), 4, "type number"},
        {V5("[HKCU\\K]\r\n\"v\"=word:1\r\n"), 4, "unknown value kind"},
        {V5("[HKCU\\K]\r\n\"v\"\r\n"), 4, "'='"},
        {V5("[HKCU\\K]\r\n\"v\"=\r\n"), 4, "missing value data"},
        {V5("[HKCU\\K]\r\n\"unterminated=1\r\n"), 4, "unterminated value name"},
        {V5("[HKCU\\K]\r\nplain text\r\n"), 4, "expected a key"},
        {V5("[-HKCU\\K]\r\n\"v\"=dword:1\r\n"), 4, "being deleted"},
        {V5("[HKCU\\K]\r\n\"" + std::string(16384, 'n') + "\"=dword:1\r\n"), 4, "16383"},
        {"\xFE\xFF\0W", 1, "big-endian"},
    };
    for (const auto& c : cases) {
        std::vector<Change> changes;
        regfile::ParseError error;
        EXPECT_FALSE(regfile::Parse(c.text, changes, error)) << c.words;
        EXPECT_EQ(error.line, c.line) << c.words << ": " << error.message;
        EXPECT_NE(error.message.find(c.words), std::string::npos) << error.message;
    }
}

TEST(RegFileFormat, WritesAVersionFiveFileThatReadsBackTheSame) {
    std::vector<regfile::Key> keys(2);
    keys[0].path = "Software\\Orvane\\Lmgrab";
    keys[0].values = {
        {"Count", RegValue::Dword(0xABCDEF)},
        {"TargetDir", RegValue::String(".\\ \"quoted\"")},
        {"", RegValue::String("default")},
        {"Multi", RegValue{platform::REG_MULTI_SZ, std::string("a\0bc\0\0", 6)}},
        {"Expand", RegValue::String("%HOME%/ü", platform::REG_EXPAND_SZ)},
        {"Lines", RegValue::String("two\r\nlines")},
        {"NoNul", RegValue{platform::REG_SZ, "bare"}},
        {"Short", RegValue{platform::REG_DWORD, "\x01\x02"}},
        {"Big", RegValue{platform::REG_BINARY, std::string(100, '\x7F')}},
        {"Odd", RegValue{0x1234, "\x01"}},
    };
    keys[1].path = "Software\\Orvane\\Lmgrab\\Action1";
    const std::string text = regfile::Format(keys);
    EXPECT_EQ(
        text.rfind("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software", 0),
        0u);
    EXPECT_NE(text.find("\"Count\"=dword:00abcdef\r\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"default\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Odd\"=hex(1234):01\r\n"), std::string::npos);
    // Long data wraps below 80 columns, and no line ends without CR.
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        EXPECT_LE(end - start, 81u);
        EXPECT_EQ(text[end - 1], '\r');
    }

    const auto changes = ParseOk(text);
    ASSERT_EQ(changes.size(), 12u);
    for (std::size_t i = 0; i < keys[0].values.size(); ++i) {
        EXPECT_EQ(changes[i + 1].valueName, keys[0].values[i].first);
        EXPECT_EQ(changes[i + 1].value, keys[0].values[i].second) << keys[0].values[i].first;
    }
}

TEST(RegFileRoot, NamesOfTheHive) {
    std::string path;
    EXPECT_TRUE(regfile::SplitRoot("HKCU\\Software\\", path));
    EXPECT_EQ(path, "Software");
    EXPECT_TRUE(regfile::SplitRoot("hkey_current_user", path));
    EXPECT_EQ(path, "");
    EXPECT_FALSE(regfile::SplitRoot("HKCUX\\Software", path));
    EXPECT_FALSE(regfile::SplitRoot("HKLM\\Software", path));
    EXPECT_EQ(regfile::FullKeyName(""), "HKEY_CURRENT_USER");
    EXPECT_EQ(regfile::FullKeyName("A\\B"), "HKEY_CURRENT_USER\\A\\B");
}

}  // namespace
