#include "platform/ProfileFile.h"
#include "platform/SafeFile.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/TempStore.h"

namespace {

using platform::ProfileFile;

TEST(ProfileFile, ReadsAsThePlatformsProfileFunctionsDo) {
    ProfileFile ini;
    ini.Parse(
        "stray=before any section\n"
        "[Software\\Orvane\\Lmgrab]\r\n"
        "Count=3\r\n"
        "  TargetDir  =   C:\\Captures  \r\n"
        "; Count=99\n"
        "no equals sign here\n"
        "Quoted=\"  kept inside  \"\n"
        "Single='x'\n"
        "Unpaired=\"x\n"
        "Empty=\n"
        "count=4\n"
        "[software\\ORVANE\\lmgrab]\n"
        "Sound=second section\n"
        "[Other]\n"
        "Count=7\n");
    const struct {
        const char* section;
        const char* key;
        bool present;
        const char* value;
    } cases[] = {
        {"Software\\Orvane\\Lmgrab", "Count", true, "3"},
        {"SOFTWARE\\orvane\\LMGRAB", "count", true, "3"},  // first duplicate counts
        {"Software\\Orvane\\Lmgrab", "TargetDir", true, "C:\\Captures"},
        {"Software\\Orvane\\Lmgrab", "Quoted", true, "  kept inside  "},
        {"Software\\Orvane\\Lmgrab", "Single", true, "x"},
        {"Software\\Orvane\\Lmgrab", "Unpaired", true, "\"x"},
        {"Software\\Orvane\\Lmgrab", "Empty", true, ""},
        {"Software\\Orvane\\Lmgrab", "Sound", false, ""},  // only in the duplicate section
        {"Software\\Orvane\\Lmgrab", "stray", false, ""},
        {"Software\\Orvane\\Lmgrab", "no equals sign here", false, ""},
        {"Other", "Count", true, "7"},
        {"Missing", "Count", false, ""},
    };
    for (const auto& c : cases) {
        std::string value;
        EXPECT_EQ(ini.Get(c.section, c.key, value), c.present) << c.section << " " << c.key;
        if (c.present) {
            EXPECT_EQ(value, c.value) << c.key;
        }
        EXPECT_EQ(ini.GetString(c.section, c.key, "dflt"), c.present ? c.value : "dflt");
    }
}

TEST(ProfileFile, GivesBackAtMost1023CharactersAndPassesBytesThrough) {
    ProfileFile ini;
    ini.Parse("[S]\nSound=" + std::string(2000, 'a') +
              "\nAnsi=Gr\xF6\xDF"
              "e\n");
    EXPECT_EQ(ini.GetString("S", "Sound", ""), std::string(1023, 'a'));
    EXPECT_EQ(ini.GetString("S", "Ansi", ""),
              "Gr\xF6\xDF"
              "e");
}

TEST(ProfileFile, WritesInPlaceAtTheSectionsEndOrInANewSection) {
    ProfileFile ini;
    ini.Parse("; my notes\n[A]\nx=1\n; about y\ny=2\n\n[B]\nz=3\n");
    ini.Set("a", "Y", "20");
    ini.Set("A", "new", "n");
    ini.Set("C", "c", "line\r\nbreak");
    ini.Set("B", "z", "");
    EXPECT_EQ(ini.Text(),
              "; my notes\r\n[A]\r\nx=1\r\n; about y\r\ny=20\r\nnew=n\r\n\r\n[B]\r\nz=\r\n"
              "[C]\r\nc=line  break\r\n");
    EXPECT_EQ(ini.GetString("A", "new", ""), "n");
    EXPECT_EQ(ini.GetString("C", "c", "d"), "line  break");
}

TEST(ProfileFile, LoadsFilesAndRefusesWhatIsNoFile) {
    testsupport::TempDir dir;
    ProfileFile ini;
    std::string error;
    EXPECT_FALSE(ini.Load(dir.file("missing.lgp"), error));
    EXPECT_TRUE(ini.Load(dir.file("missing.lgp"), error, true));
    EXPECT_FALSE(ini.Load(dir.path(), error));
    EXPECT_NE(error.find("not a file"), std::string::npos);
    testsupport::WriteFile(dir.file("p.lgp"), "[S]\r\nk=v\r\n");
    ASSERT_TRUE(ini.Load(dir.file("p.lgp"), error));
    EXPECT_EQ(ini.GetString("s", "K", ""), "v");
}

TEST(AtomicFileWriter, ReplacesAFileWholeOrNotAtAll) {
    testsupport::TempDir dir;
    const std::string path = dir.file("p.lgp");
    testsupport::WriteFile(path, "old");
    std::string error;
    {
        platform::AtomicFileWriter writer(path);
        ASSERT_TRUE(writer.Prepare(error));
    }  // never committed
    EXPECT_EQ(testsupport::ReadFile(path), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    platform::AtomicFileWriter writer(path);
    ASSERT_TRUE(writer.Commit("new", error));
    EXPECT_EQ(testsupport::ReadFile(path), "new");
    platform::AtomicFileWriter nowhere(dir.file("no/such/dir/p.lgp"));
    EXPECT_FALSE(nowhere.Prepare(error));
    EXPECT_NE(error.find("p.lgp"), std::string::npos);
}

std::string Utf16(std::string_view ascii, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) {
        out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    }
    return out;
}

TEST(ProfileFile, ReadsEveryEncodingAndLineEndThePlatformReads) {
    const std::string body = "[Software\\Orvane\\Lmgrab]\r\nCount=2\r\nTargetDir=C:\\x\r\n";
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + body},
        {"UTF-16 LE", Utf16(body, false)},
        {"UTF-16 BE", Utf16(body, true)},
        {"CR only", "[Software\\Orvane\\Lmgrab]\rCount=2\rTargetDir=C:\\x\r"},
        {"LF only", "[Software\\Orvane\\Lmgrab]\nCount=2\nTargetDir=C:\\x"},
        {"mixed", "[Software\\Orvane\\Lmgrab]\r\nCount=2\rTargetDir=C:\\x\n"},
    };
    for (const Case& c : cases) {
        ProfileFile ini;
        ini.Parse(c.bytes);
        EXPECT_EQ(ini.GetString("Software\\Orvane\\Lmgrab", "Count", "-"), "2") << c.what;
        EXPECT_EQ(ini.GetString("Software\\Orvane\\Lmgrab", "TargetDir", "-"), "C:\\x") << c.what;
        EXPECT_EQ(ini.Text().find('\xEF'), std::string::npos) << c.what << ": written as UTF-8";
    }
    ProfileFile ini;
    ini.Parse(Utf16("[S]\r\nName=", false) + std::string("\x3D\xD8\x00\xDE", 4) +
              std::string("\x00\xD8", 2));  // a surrogate pair, then a lone half
    EXPECT_EQ(ini.GetString("S", "Name", ""), "\xF0\x9F\x98\x80\xEF\xBF\xBD");

    // Text that starts like a mark of another encoding survives a round trip.
    ini.Parse("\xEF\xBB\xBF\xFF\xFE\n[S]\nk=v\n");
    ProfileFile again;
    again.Parse(ini.Text());
    EXPECT_EQ(again.GetString("S", "k", "-"), "v");
    EXPECT_EQ(again.Text(), ini.Text());
}

TEST(ProfileFile, SectionLinesBlanksAndNulsGoThePlatformsWay) {
    static constexpr char kText[] =
        "[A]\n"
        "k=1\n"
        "[no closing bracket\n"
        "after=still A\n"
        "[X]Y]\n"
        "k=in X]Y\n"
        "[C]\n"
        "tabbed=\t\v\f value \x1A\t\n"
        "nul=before\0after\n"
        "bell=\aring\a\n";
    ProfileFile ini;
    ini.Parse(std::string_view(kText, sizeof kText - 1));
    EXPECT_EQ(ini.GetString("A", "after", "-"), "still A");
    EXPECT_EQ(ini.GetString("no closing bracket", "after", "-"), "-");
    EXPECT_EQ(ini.GetString("X]Y", "k", "-"), "in X]Y");
    EXPECT_EQ(ini.GetString("C", "tabbed", "-"), "value");
    EXPECT_EQ(ini.GetString("C", "nul", "-"), "before");
    EXPECT_EQ(ini.GetString("C", "bell", "-"), "\aring\a");  // not blanks: kept
}

}  // namespace
