#include "tools/lgreg/RegTool.h"

#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/TempStore.h"

namespace {

using platform::RegValue;
using testsupport::ReadFile;
using testsupport::TempStore;
using testsupport::WriteFile;

struct Result {
    int code;
    std::string out, err;
};

Result Lgreg(std::vector<std::string> args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    const int code = RunRegTool(args, in, out, err);
    return {code, out.str(), err.str()};
}

// A failure is exit code 1 and exactly one line on stderr saying what.
void ExpectFailure(const Result& r, const std::string& words) {
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

class RegTool : public ::testing::Test {
protected:
    TempStore store;
};

TEST_F(RegTool, QueryPrintsAKeyAsTheRegCommandDoes) {
    store.SetDword("Software\\Orvane\\Lmgrab", "Count", 26);
    store.SetString("Software\\Orvane\\Lmgrab", "TargetDir", "C:\\Captures");
    store.SetString("Software\\Orvane\\Lmgrab", "", "unnamed");
    store.CreateKey("Software\\Orvane\\Lmgrab\\Action1");
    store.CreateKey("Software\\Orvane\\Lmgrab\\Action2");
    const Result r = Lgreg({"query", "HKCU\\software\\orvane\\lmgrab"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "\nHKEY_CURRENT_USER\\Software\\Orvane\\Lmgrab\n"
              "    Count    REG_DWORD    0x1a\n"
              "    TargetDir    REG_SZ    C:\\Captures\n"
              "    (Default)    REG_SZ    unnamed\n"
              "\n"
              "HKEY_CURRENT_USER\\Software\\Orvane\\Lmgrab\\Action1\n"
              "HKEY_CURRENT_USER\\Software\\Orvane\\Lmgrab\\Action2\n");

    const Result one =
        Lgreg({"query", "HKEY_CURRENT_USER\\Software\\Orvane\\Lmgrab", "/V", "targetdir"});
    EXPECT_EQ(one.out,
              "\nHKEY_CURRENT_USER\\Software\\Orvane\\Lmgrab\n"
              "    TargetDir    REG_SZ    C:\\Captures\n\n");
    const Result unnamed = Lgreg({"query", "HKCU\\Software\\Orvane\\Lmgrab", "/ve"});
    EXPECT_NE(unnamed.out.find("(Default)    REG_SZ    unnamed"), std::string::npos);

    const Result deep = Lgreg({"query", "HKCU\\Software", "/s"});
    EXPECT_NE(deep.out.find("\nHKEY_CURRENT_USER\\Software\\Orvane\\Lmgrab\\Action2\n"),
              std::string::npos);
}

TEST_F(RegTool, AddSetsEveryTypeFromItsText) {
    const struct {
        const char* type;
        const char* data;
        RegValue expected;
        const char* shown;
    } cases[] = {
        {"REG_SZ", "C:\\a b", RegValue::String("C:\\a b"), "REG_SZ    C:\\a b"},
        {"reg_expand_sz", "%HOME%", RegValue::String("%HOME%", platform::REG_EXPAND_SZ),
         "REG_EXPAND_SZ    %HOME%"},
        {"REG_DWORD", "4294967295", RegValue::Dword(0xFFFFFFFF), "REG_DWORD    0xffffffff"},
        {"REG_DWORD", "0x7B", RegValue::Dword(123), "REG_DWORD    0x7b"},
        {"REG_QWORD", "0x100000000",
         RegValue{platform::REG_QWORD, std::string("\0\0\0\0\1\0\0\0", 8)},
         "REG_QWORD    0x100000000"},
        {"REG_BINARY", "00fF10", RegValue{platform::REG_BINARY, std::string("\0\xFF\x10", 3)},
         "REG_BINARY    00FF10"},
        {"REG_MULTI_SZ", "a\\0b", RegValue{platform::REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
         "REG_MULTI_SZ    a\\0b"},
    };
    for (const auto& c : cases) {
        const Result r =
            Lgreg({"add", "HKCU\\Software\\T", "/v", "v", "/t", c.type, "/d", c.data, "/f"});
        ASSERT_EQ(r.code, 0) << c.type << ": " << r.err;
        RegValue got;
        ASSERT_TRUE(store.Get("Software\\T", "v", got));
        EXPECT_EQ(got, c.expected) << c.type;
        EXPECT_NE(Lgreg({"query", "HKCU\\Software\\T", "/v", "v"}).out.find(c.shown),
                  std::string::npos)
            << c.type;
    }
    // Without /t and /d the value is an empty string; a bare key is made with its parents.
    ASSERT_EQ(Lgreg({"add", "HKCU\\Software\\T", "/v", "plain"}).code, 0);
    EXPECT_EQ(store.GetString("Software\\T", "plain"), "");
    ASSERT_EQ(Lgreg({"add", "HKCU\\A\\B\\C"}).code, 0);
    EXPECT_TRUE(store.KeyExists("A\\B"));
}

TEST_F(RegTool, AddAsksBeforeOverwritingAValue) {
    store.SetDword("Software\\T", "v", 1);
    const Result no =
        Lgreg({"add", "HKCU\\Software\\T", "/v", "v", "/t", "REG_DWORD", "/d", "2"}, "n\n");
    ExpectFailure(no, "cancelled");
    EXPECT_NE(no.out.find("Value v exists, overwrite (Yes/No)?"), std::string::npos);
    const Result eof = Lgreg({"add", "HKCU\\Software\\T", "/v", "v", "/t", "REG_DWORD", "/d", "2"});
    ExpectFailure(eof, "cancelled");
    EXPECT_EQ(store.GetDword("Software\\T", "v"), 1u);
    EXPECT_EQ(
        Lgreg({"add", "HKCU\\Software\\T", "/v", "v", "/t", "REG_DWORD", "/d", "2"}, "yes\n").code,
        0);
    EXPECT_EQ(store.GetDword("Software\\T", "v"), 2u);
}

TEST_F(RegTool, BadCommandLinesFailWithAOneLineReason) {
    store.CreateKey("Software\\T");
    const struct {
        std::vector<std::string> args;
        const char* words;
    } cases[] = {
        {{"frobnicate"}, "unknown command"},
        {{"query"}, "exactly one KEY"},
        {{"query", "HKLM\\Software"}, "must begin with HKCU"},
        {{"query", "Software"}, "must begin with HKCU"},
        {{"query", "HKCU\\Nope"}, "does not exist"},
        {{"query", "HKCU\\Software\\T", "/v", "missing"}, "does not exist"},
        {{"query", "HKCU\\Software\\T", "/v"}, "needs an argument"},
        {{"query", "HKCU\\Software\\T", "/f"}, "does not go with"},
        {{"query", "HKCU\\a\\\\b"}, "empty key name"},
        {{"add", "HKCU\\Software\\T", "/v", "v", "/t", "REG_WORD", "/f"}, "bad type"},
        {{"add", "HKCU\\Software\\T", "/v", "v", "/t", "REG_DWORD", "/d", "4294967296", "/f"},
         "bad data"},
        {{"add", "HKCU\\Software\\T", "/v", "v", "/t", "REG_DWORD", "/d", "-1", "/f"}, "bad data"},
        {{"add", "HKCU\\Software\\T", "/v", "v", "/t", "REG_DWORD", "/d", "12ab", "/f"},
         "bad data"},
        {{"add", "HKCU\\Software\\T", "/v", "v", "/t", "REG_DWORD", "/f"}, "bad data"},
        {{"add", "HKCU\\Software\\T", "/v", "v", "/t", "REG_BINARY", "/d", "abc", "/f"},
         "even number"},
        {{"add", "HKCU\\Software\\T", "/v", "v", "/t", "REG_LINK", "/f"}, "cannot be added"},
        {{"add", "HKCU\\Software\\T", "/d", "x"}, "need /v"},
        {{"add", "HKCU\\Software\\T", "/v", std::string(16384, 'n'), "/f"}, "16383"},
        {{"add", "HKCU\\" + std::string(256, 'k')}, "255"},
        {{"delete", "HKCU\\Software\\T", "/v", "missing", "/f"}, "does not exist"},
        {{"delete", "HKCU", "/f"}, "cannot be deleted"},
        {{"export", "HKCU\\Software\\T"}, "a KEY and a FILE"},
        {{"import"}, "exactly one FILE"},
        {{"import", "/nonexistent/file.reg"}, "cannot read"},
    };
    for (const auto& c : cases) {
        ExpectFailure(Lgreg(c.args), c.words);
    }
    EXPECT_EQ(Lgreg({}).code, 1);
    EXPECT_EQ(Lgreg({"/?"}).code, 0);
}

TEST_F(RegTool, DeleteRemovesValuesOrAWholeTree) {
    store.SetDword("Software\\T\\A\\Deep", "v", 1);
    store.SetDword("Software\\T", "keep", 1);
    store.SetDword("Software\\T", "drop", 1);
    store.SetDword("Software\\T", "", 1);
    store.CreateKey("Software\\Other");
    EXPECT_EQ(Lgreg({"delete", "HKCU\\Software\\T", "/v", "DROP", "/f"}).code, 0);
    EXPECT_FALSE(store.ValueExists("Software\\T", "drop"));
    EXPECT_EQ(Lgreg({"delete", "HKCU\\Software\\T", "/ve", "/f"}).code, 0);
    EXPECT_FALSE(store.ValueExists("Software\\T", ""));
    ExpectFailure(Lgreg({"delete", "HKCU\\Software\\T"}), "cancelled");
    EXPECT_TRUE(store.KeyExists("Software\\T\\A\\Deep"));
    EXPECT_EQ(Lgreg({"delete", "HKCU\\Software\\T"}, "y\n").code, 0);
    EXPECT_FALSE(store.KeyExists("Software\\T"));
    EXPECT_TRUE(store.KeyExists("Software\\Other"));

    store.SetDword("Software\\V", "a", 1);
    store.SetDword("Software\\V", "b", 1);
    store.CreateKey("Software\\V\\Sub");
    EXPECT_EQ(Lgreg({"delete", "HKCU\\Software\\V", "/va", "/f"}).code, 0);
    EXPECT_FALSE(store.ValueExists("Software\\V", "a"));
    EXPECT_TRUE(store.KeyExists("Software\\V\\Sub"));
}

TEST_F(RegTool, ExportAndImportCarryATreeFaithfully) {
    store.SetDword("Software\\Orvane\\Lmgrab", "Count", 1);
    store.SetString("Software\\Orvane\\Lmgrab", "TargetDir", "C:\\Bilder\\Größe");
    store.SetRaw("Software\\Orvane\\Lmgrab\\Action1", "Bin",
                 RegValue{platform::REG_BINARY, std::string(60, '\x01')});
    store.SetRaw("Software\\Orvane\\Lmgrab\\Action1", "Odd", RegValue{99, "?"});
    store.SetString("Software\\Orvane\\Lmgrab\\Action1", "", "default");
    store.CreateKey("Software\\Orvane\\Empty");
    const std::string file = store.dir().file("export.reg");
    ASSERT_EQ(Lgreg({"export", "HKCU\\Software\\Orvane", file}).code, 0);
    const std::string exported = ReadFile(file);
    EXPECT_EQ(exported.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);

    // Into a fresh store, and out again: the same bytes.
    TempStore other;
    ASSERT_EQ(Lgreg({"import", file}).code, 0);
    EXPECT_EQ(other.GetString("Software\\Orvane\\Lmgrab", "TargetDir"), "C:\\Bilder\\Größe");
    RegValue odd;
    ASSERT_TRUE(other.Get("Software\\Orvane\\Lmgrab\\Action1", "Odd", odd));
    EXPECT_EQ(odd, (RegValue{99, "?"}));
    EXPECT_TRUE(other.KeyExists("Software\\Orvane\\Empty"));
    const std::string again = other.dir().file("again.reg");
    ASSERT_EQ(Lgreg({"export", "HKCU\\Software\\Orvane", again}).code, 0);
    EXPECT_EQ(ReadFile(again), exported);

    // An existing file is replaced only when the user agrees.
    WriteFile(again, "mine");
    ExpectFailure(Lgreg({"export", "HKCU\\Software\\Orvane", again}, "no\n"), "cancelled");
    EXPECT_EQ(ReadFile(again), "mine");
    EXPECT_EQ(Lgreg({"export", "HKCU\\Software\\Orvane", again, "/y"}).code, 0);
    EXPECT_EQ(ReadFile(again), exported);
}

TEST_F(RegTool, AnImportThatFailsPartWayChangesNothing) {
    store.SetDword("Software\\Orvane\\Lmgrab", "Count", 5);
    store.SetDword("Software\\Old", "v", 1);
    const std::string file = store.dir().file("bad.reg");
    // Malformed on line 9: nothing before it may land.
    WriteFile(file,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Orvane\\Lmgrab]\r\n"
              "\"Count\"=dword:00000001\r\n"
              "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
              "[HKEY_CURRENT_USER\\Software\\New]\r\n"
              "\"x\"=\"y\"\r\n"
              "\r\n"
              "\"broken\"=dword:zz\r\n");
    const Result r = Lgreg({"import", file});
    ExpectFailure(r, file + ":9:");
    EXPECT_EQ(store.GetDword("Software\\Orvane\\Lmgrab", "Count"), 5u);
    EXPECT_TRUE(store.KeyExists("Software\\Old"));
    EXPECT_FALSE(store.KeyExists("Software\\New"));

    // Well-formed, but the store refuses a change (a key name too long for it).
    WriteFile(file,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Orvane\\Lmgrab]\r\n"
              "\"Count\"=dword:00000001\r\n"
              "[-HKEY_CURRENT_USER\\Software\\Old]\r\n");
    ASSERT_EQ(Lgreg({"import", file}).code, 0);
    EXPECT_EQ(store.GetDword("Software\\Orvane\\Lmgrab", "Count"), 1u);
    EXPECT_FALSE(store.KeyExists("Software\\Old"));
}

TEST_F(RegTool, ImportRefusesFilesThatAreNoRegistryFiles) {
    const std::string file = store.dir().file("x.reg");
    WriteFile(file, std::string("\x7F"
                                "ELF\x02\x01\x01\0\0\0",
                                10));
    ExpectFailure(Lgreg({"import", file}), ":1: not a registry file");
    ExpectFailure(Lgreg({"import", store.dir().path()}), "a directory");
    std::string huge = "Windows Registry Editor Version 5.00\r\n";
    huge.resize((64u << 20) + 10, ';');
    WriteFile(file, huge);
    ExpectFailure(Lgreg({"import", file}), "larger than 64 MiB");
}

TEST_F(RegTool, ACorruptStoreIsReportedAndLeftAlone) {
    WriteFile(store.path(), std::string(5000, '#'));
    for (auto args : std::vector<std::vector<std::string>>{
             {"query", "HKCU\\Software"}, {"add", "HKCU\\Software", "/v", "v", "/f"}}) {
        ExpectFailure(Lgreg(args), store.path());
    }
    EXPECT_EQ(ReadFile(store.path()), std::string(5000, '#'));
}

TEST_F(RegTool, TheProgramExitsWithTheToolsCode) {
    const char* bin = std::getenv("LG_TEST_BIN_DIR");
    ASSERT_NE(bin, nullptr);
    const std::string lgreg = std::string(bin) + "/lgreg";
    auto run = [&](const std::string& args) {
        const int status =
            std::system((lgreg + " " + args + " </dev/null >/dev/null 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("add 'HKCU\\Software\\P' /v n /t REG_DWORD /d 7"), 0);
    EXPECT_EQ(store.GetDword("Software\\P", "n"), 7u);
    EXPECT_EQ(run("query 'HKCU\\Software\\Missing'"), 1);
    EXPECT_EQ(run("add 'HKCU\\Software\\P' /v n /t REG_DWORD /d 8"), 1);  // no one to say yes
}

// Every name the store takes goes out through export and comes back
// through import into a fresh store byte for byte; names a .reg line or a
// listing could not carry are refused, each with a message that names it.
TEST(RegToolNames, EveryNameTheStoreTakesSurvivesExportAndImport) {
    const std::vector<std::string> taken = {
        "plain",       "with space", "quote\"d", "brackets]x[",   "[lead",
        "equals=sign", "@",          ";semi",    "\xC3\xBCmlaut", "\xE6\x97\xA5\xE6\x9C\xAC",
        "trailing ",   "dot.",       "#hash"};
    const std::vector<std::string> refused = {"line\nbreak", "carriage\rreturn", "tab\tbed",
                                              "bell\x07",    "del\x7F",          "not utf-8 \xFF"};
    std::string exported;
    std::string before;
    {
        TempStore store;
        for (const std::string& name : taken) {
            const Result value = Lgreg({"add", "HKCU\\Software\\T", "/v", name, "/d", "x", "/f"});
            EXPECT_EQ(value.code, 0) << name << ": " << value.err;
            const Result key = Lgreg({"add", "HKCU\\Software\\T\\" + name, "/ve", "/d", "k", "/f"});
            EXPECT_EQ(key.code, 0) << name << ": " << key.err;
        }
        EXPECT_EQ(Lgreg({"add", "HKCU\\Software\\T", "/v", "back\\slash", "/d", "x", "/f"}).code,
                  0);
        for (const std::string& name : refused) {
            ExpectFailure(Lgreg({"add", "HKCU\\Software\\T", "/v", name, "/d", "x", "/f"}),
                          "value name '");
            ExpectFailure(Lgreg({"add", "HKCU\\Software\\T\\" + name, "/f"}), "key name '");
        }
        const std::string file = store.dir().file("t.reg");
        const Result out = Lgreg({"export", "HKCU\\Software\\T", file, "/y"});
        ASSERT_EQ(out.code, 0) << out.err;
        exported = ReadFile(file);
        before = store.Dump("Software\\T");
    }
    TempStore fresh;
    WriteFile(fresh.dir().file("t.reg"), exported);
    const Result in = Lgreg({"import", fresh.dir().file("t.reg")});
    ASSERT_EQ(in.code, 0) << in.err;
    EXPECT_EQ(fresh.Dump("Software\\T"), before);
}

// A store made by another program may hold a name with a line break: export
// refuses it by name, and a listing shows it escaped, never as two lines.
TEST_F(RegTool, ANameWithALineBreakIsEscapedInListingsAndNeverExported) {
    store.SetString("Software\\T", "name", "x");
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(store.path().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(db,
                         "UPDATE vals SET name = 'Lumagrabber\"=\"evil /start' || char(13) || "
                         "char(10) || 'x', fold = 'CRAFTED' WHERE name = 'name'",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(db);
    }
    const Result listed = Lgreg({"query", "HKCU\\Software\\T"});
    EXPECT_EQ(listed.code, 0) << listed.err;
    EXPECT_NE(listed.out.find("Lumagrabber\"=\"evil /start\\r\\nx    REG_SZ    x\n"),
              std::string::npos)
        << listed.out;
    ExpectFailure(Lgreg({"export", "HKCU\\Software\\T", store.dir().file("t.reg"), "/y"}),
                  "key 'HKEY_CURRENT_USER\\Software\\T' cannot be written to a .reg file");
    EXPECT_FALSE(std::filesystem::exists(store.dir().file("t.reg")));
}

// A tree another program nested beyond the depth limit is deleted whole.
TEST_F(RegTool, DeleteRemovesATreeNestedBeyondTheLimit) {
    store.SetString("Software\\Deep", "v", "x");
    const std::size_t before = store.KeyCount();
    store.NestBeyondTheLimit("Software\\Deep", 700);
    const Result r = Lgreg({"delete", "HKCU\\Software\\Deep", "/f"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(store.KeyExists("Software\\Deep"));
    EXPECT_EQ(store.KeyCount(), before - 1);
}

}  // namespace
