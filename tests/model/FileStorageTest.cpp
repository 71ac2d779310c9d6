#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "model/ActionKeys.h"
#include "model/FileActionStorage.h"
#include "tests/support/TempStore.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempStore;
using testsupport::WriteFile;

const std::string kKey = "Software\\Orvane\\Lmgrab";
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class FileStorage : public ::testing::Test {
protected:
    std::string Profile(const std::string& body) {
        const std::string path = store.dir().file("p.lgp");
        WriteFile(path, body);
        return path;
    }
    TempStore store;
    TActionKeys list{kKey};
};

TEST_F(FileStorage, ASavedProfileHasTheLayoutOfTheExample) {
    list.TargetDir = "C:\\Captures";
    auto a = std::make_unique<TActionKey>();
    a->Name = "Window to file";
    a->Modifiers = 3;
    a->VirtualKey = 65;
    a->SaveTo = 1;
    a->GrabMethod = 3;
    a->RecHeight = 200;
    a->RecWidth = 250;
    a->Extension = ".jpg";
    a->Quality = 75;
    a->PixelFormat = 6;
    list.Add(std::move(a));
    const std::string path = store.dir().file("saved.lgp");
    ASSERT_TRUE(list.SaveToFile(path));
    EXPECT_EQ(ReadFile(path),
              "[Software\\Orvane\\Lmgrab]\r\nCount=1\r\nTargetDir=C:\\Captures\r\nDefaultSound=\r\n"
              "[Software\\Orvane\\Lmgrab\\Action1]\r\nName=Window to file\r\nModifiers=3\r\n"
              "VirtualKey=65\r\nSaveTo=1\r\nTargetDir=\r\nQuerryFName=0\r\nQuit=0\r\n"
              "GrabMethod=3\r\nRecHeight=200\r\nRecWidth=250\r\nExtension=.jpg\r\nQuality=75\r\n"
              "PixelFormat=6\r\nPrevent15bit=0\r\nPrevent16bit=0\r\nPrevent32bit=0\r\nSound=\r\n");
    // "Home" and the logon entry went to the registry, not into the file.
    EXPECT_TRUE(store.ValueExists(kKey, "Home"));
    TActionKeys back(kKey);
    ASSERT_TRUE(back.LoadFromFile(path));
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.Get(0), list.Get(0));
}

TEST_F(FileStorage, ValuesReadAsTheProfileRulesSay) {
    const struct {
        const char* line;
        int quality;
        bool quit;
    } cases[] = {
        {"Quality=0x1F\nQuit=2", 31, true},   {"Quality=abc\nQuit=yes", 100, false},
        {"Quality=0\nQuit=true", 100, false}, {"Quality=$20\nQuit=-1", 32, true},
        {"Quality=0x\nQuit=0", 100, false},   {"Quality= 42 \nQuit= 1", 42, true},
    };
    for (const auto& c : cases) {
        const std::string path = Profile(
            "[Software\\Orvane\\Lmgrab]\nCount=1\n"
            "[Software\\Orvane\\Lmgrab\\Action1]\nVirtualKey=65\n" +
            std::string(c.line) + "\n");
        ASSERT_TRUE(list.LoadFromFile(path)) << c.line;
        EXPECT_EQ(list.Get(0).Quality, c.quality) << c.line;
        EXPECT_EQ(list.Get(0).Quit, c.quit) << c.line;
    }
}

TEST_F(FileStorage, MissingSectionsAndEmptyFilesGiveDefaults) {
    ASSERT_TRUE(list.LoadFromFile(Profile("")));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.TargetDir, ".\\");

    EXPECT_FALSE(
        list.LoadFromFile(Profile("[Software\\Orvane\\Lmgrab]\nCount=3\nTargetDir=\n"
                                  "[Software\\Orvane\\Lmgrab\\Action1]\nVirtualKey=65\n"
                                  "GrabMethod=259\n"
                                  "[Software\\Orvane\\Lmgrab\\Action2]\nVirtualKey=66\n")));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.TargetDir, "");
    EXPECT_EQ(list.Get(0).GrabMethod, 3);
    EXPECT_EQ(list.Get(0).RecHeight, 200);
    EXPECT_EQ(list.Get(2).Extension, ".bmp");
    EXPECT_EQ(list.Get(2).Quality, 100);
    EXPECT_EQ(list.LastLoad().withoutKey, std::vector<int>{3});
}

TEST_F(FileStorage, LoadingLeavesHomeAndTheStartupFlagsToTheRegistry) {
    store.SetString(kKey, "Home", "D:\\Capture");
    store.SetString(kRun, "Lumagrabber", "D:\\Capture\\Lmgrab.exe");
    ASSERT_TRUE(list.LoadFromFile(Profile("[Software\\Orvane\\Lmgrab]\nHome=X\nCount=0\n")));
    EXPECT_EQ(list.Home, "D:\\Capture");
    EXPECT_TRUE(list.ShowIconOnStartup);
    EXPECT_FALSE(list.StartOnStartup);
}

TEST_F(FileStorage, AProfileThatDoesNotExistChangesNothing) {
    list.TargetDir = "kept";
    list.Add(std::make_unique<TActionKey>());
    EXPECT_FALSE(list.LoadFromFile(store.dir().file("nope.lgp")));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.TargetDir, "kept");
    EXPECT_FALSE(list.LoadFromFile(store.dir().path()));  // a directory is refused at once
    EXPECT_EQ(list.Count(), 1);
}

TEST_F(FileStorage, ASaveReplacesTheOldProfileWholeOrLeavesIt) {
    const std::string path = Profile("[Software\\Orvane\\Lmgrab\\Action9]\nName=stale\n");
    list.Add(std::make_unique<TActionKey>());
    ASSERT_TRUE(list.SaveToFile(path));
    EXPECT_EQ(ReadFile(path).find("Action9"), std::string::npos);

    list.Get(0).Name = "changed";
    EXPECT_FALSE(list.SaveToFile(store.dir().file("missing/dir/p.lgp")));
}

// A folder that refuses new files: the profile is rewritten where it is;
// keys the save writes take their new values and every other key and
// section stays, as the platform's profile functions leave them.
TEST_F(FileStorage, AProfileRewrittenInPlaceKeepsWhatTheSaveDoesNotWrite) {
    ::chmod(store.dir().path().c_str(), 0755);
    const std::string folder = store.dir().file("shared");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string path = folder + "/p.lgp";
    testsupport::WriteFile(
        path,
        "; kept\r\n[Software\\Orvane\\Lmgrab\\Action1]\r\nName=old\r\n"
        "Extra=kept too\r\n[Software\\Orvane\\Lmgrab\\Action9]\r\nName=stale\r\n");
    if (testsupport::RunningAsRoot()) {
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    ::chmod(folder.c_str(), 0555);
    list.Add(std::make_unique<TActionKey>());
    list.Get(0).Name = "new";
    const int rc = testsupport::RunUnprivileged([&] { return list.SaveToFile(path) ? 0 : 1; });
    ::chmod(folder.c_str(), 0755);
    ASSERT_EQ(rc, 0);
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("Name=new"), std::string::npos) << text;
    EXPECT_EQ(text.find("Name=old"), std::string::npos) << text;
    EXPECT_NE(text.find("Extra=kept too"), std::string::npos) << text;
    EXPECT_NE(text.find("[Software\\Orvane\\Lmgrab\\Action9]\r\nName=stale"), std::string::npos)
        << text;
    EXPECT_NE(text.find("; kept"), std::string::npos) << text;
}

TEST(ProfileIntegers, ParseAsTheProfileRulesSay) {
    const struct {
        const char* text;
        bool ok;
        std::int32_t value;
    } cases[] = {{"0", true, 0},
                 {"-12", true, -12},
                 {"0x1F", true, 31},
                 {"0XfF", true, 255},
                 {"$10", true, 16},
                 {"0x", false, 0},
                 {"", false, 0},
                 {"12a", false, 0},
                 {"2147483647", true, INT32_MAX},
                 {"2147483648", false, 0},
                 {"-2147483648", true, INT32_MIN},
                 {"0xFFFFFFFF", true, -1},
                 {"0x100000000", false, 0},
                 {"+5", false, 0}};
    for (const auto& c : cases) {
        std::int32_t v = 0;
        EXPECT_EQ(ParseProfileInteger(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

}  // namespace
