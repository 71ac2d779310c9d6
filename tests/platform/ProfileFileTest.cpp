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
    ini.Parse("[S]\nSound=" + std::string(2000, 'a') + "\nAnsi=Gr\xF6\xDF" "e\n");
    EXPECT_EQ(ini.GetString("S", "Sound", ""), std::string(1023, 'a'));
    EXPECT_EQ(ini.GetString("S", "Ansi", ""), "Gr\xF6\xDF" "e");
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

}  // namespace
