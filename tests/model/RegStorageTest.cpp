#include <gtest/gtest.h>

#include "model/ActionKeys.h"
#include "model/RegActionStorage.h"
#include "platform/ForwardingRegistry.h"
#include "platform/SqliteRegistry.h"
#include "samples/SampleActions.h"
#include "tests/support/TempStore.h"

namespace {

using platform::RegValue;
using testsupport::TempStore;

const std::string kKey = "Software\\Orvane\\Lmgrab";
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string Action(int n) {
    return kKey + "\\Action" + std::to_string(n);
}

class RegStorage : public ::testing::Test {
protected:
    // A stored configuration as the capture tool would find it.
    void SeedGlobals(int count) {
        store.SetDword(kKey, "Count", static_cast<std::uint32_t>(count));
        store.SetString(kKey, "TargetDir", "C:\\Shots");
        store.SetString(kKey, "DefaultSound", "ding.wav");
    }
    void SeedAction(int n, int virtualKey) {
        store.SetString(Action(n), "Name", "stored " + std::to_string(n));
        store.SetDword(Action(n), "VirtualKey", static_cast<std::uint32_t>(virtualKey));
    }

    TempStore store;
    TActionKeys list{kKey};
};

TEST_F(RegStorage, SaveWritesTheLayoutTheCaptureToolReads) {
    samples::FillSample(list, 3);
    list.Get(2).GrabMethod = 3;
    list.Get(2).RecHeight = 200;
    list.Get(2).RecWidth = 250;
    ASSERT_TRUE(list.SaveToRegistry());

    EXPECT_EQ(store.GetDword(kKey, "Count"), 3u);
    EXPECT_EQ(store.GetString(kKey, "TargetDir"), "C:\\Captures");
    EXPECT_EQ(store.GetString(kKey, "DefaultSound"), "beep.wav");
    EXPECT_EQ(store.GetString(kKey, "Home"), "D:\\Capture");

    auto hive = store.Open(true);
    std::unique_ptr<platform::RegistryKey> key;
    ASSERT_TRUE(hive->OpenKey(Action(3), platform::RegAccess::Read, key).ok());
    std::vector<std::pair<std::string, RegValue>> values;
    ASSERT_TRUE(key->EnumValues(values).ok());
    std::vector<std::string> names;
    for (const auto& v : values) names.push_back(v.first);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "Name", "Modifiers", "VirtualKey", "SaveTo", "TargetDir", "QuerryFName",
                         "Quit", "GrabMethod", "RecHeight", "RecWidth", "Extension", "Quality",
                         "PixelFormat", "Prevent15bit", "Prevent16bit", "Prevent32bit", "Sound"}));
    EXPECT_EQ(values[0].second, RegValue::String("Action number 3"));
    EXPECT_EQ(values[5].second, RegValue::Dword(0));  // booleans are DWORD 0/1
    EXPECT_EQ(values[6].second, RegValue::Dword(1));
    EXPECT_EQ(values[8].second, RegValue::Dword(200));

    // RecHeight and RecWidth only for GrabMethod 3.
    EXPECT_FALSE(store.ValueExists(Action(1), "RecHeight"));
    EXPECT_FALSE(store.ValueExists(Action(2), "RecWidth"));
}

TEST_F(RegStorage, AConfigurationTravelsToTheStoreAndBack) {
    samples::FillSample(list, 5);
    ASSERT_TRUE(list.SaveToRegistry());
    TActionKeys loaded(kKey);
    ASSERT_TRUE(loaded.LoadFromRegistry());
    ASSERT_EQ(loaded.Count(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(loaded.Get(i), list.Get(i)) << i;
    EXPECT_EQ(loaded.TargetDir, "C:\\Captures");
    EXPECT_EQ(loaded.DefaultSound, "beep.wav");
    EXPECT_EQ(loaded.Home, "D:\\Capture");
    EXPECT_TRUE(loaded.ShowIconOnStartup);
    EXPECT_FALSE(loaded.StartOnStartup);

    // A load replaces what the list held.
    loaded.Add(std::make_unique<TActionKey>());
    ASSERT_TRUE(loaded.LoadFromRegistry());
    EXPECT_EQ(loaded.Count(), 5);
}

TEST_F(RegStorage, AnEmptySettingsKeyReadsAsAnEmptyConfiguration) {
    store.CreateKey(kKey);
    list.TargetDir = "old";
    ASSERT_TRUE(list.LoadFromRegistry());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.TargetDir, ".\\");
    EXPECT_EQ(list.DefaultSound, "");
    EXPECT_EQ(list.Home, "");
}

TEST_F(RegStorage, AMissingSettingsKeyIsCreatedOnTheWayAndReadsEmpty) {
    list.Add(std::make_unique<TActionKey>());
    EXPECT_TRUE(list.LoadFromRegistry());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.TargetDir, ".\\");
    EXPECT_TRUE(store.KeyExists(kKey));
}

TEST_F(RegStorage, ASettingsKeyThatCannotBeOpenedFailsTheLoad) {
    store.CreateKey("Software");
    {
        testsupport::ReadOnlyStoreInPlace readOnly(store);
        EXPECT_FALSE(list.LoadFromRegistry());
    }
    EXPECT_FALSE(store.KeyExists(kKey));
}

TEST_F(RegStorage, TheCountDecidesHowManyActionsAreRead) {
    const struct {
        std::int64_t count;
        int keys;
        int actions;
        bool ok;
    } cases[] = {
        {0, 2, 0, true},
        {-1, 2, 0, true},
        {static_cast<std::int64_t>(0x80000000u), 2, 0, true},  // a negative DWORD
        {2, 2, 2, true},
        {4, 2, 4, false},  // two actions without keys, left all zero
    };
    for (const auto& c : cases) {
        SeedGlobals(static_cast<int>(c.count));
        for (int n = 1; n <= c.keys; ++n) SeedAction(n, 64 + n);
        EXPECT_EQ(list.LoadFromRegistry(), c.ok) << c.count;
        ASSERT_EQ(list.Count(), c.actions) << c.count;
        if (c.actions == 4) {
            EXPECT_EQ(list.Get(1).Name, "stored 2");
            EXPECT_EQ(list.Get(3), TActionKey());  // a missing key leaves the action untouched
        }
    }
}

TEST_F(RegStorage, ACountNoStoreCouldHoldIsCutShortAndFails) {
    SeedGlobals(0x7FFFFFFF);
    SeedAction(1, 65);
    EXPECT_FALSE(list.LoadFromRegistry());
    EXPECT_EQ(list.Count(), kMaxStoredActions);
    EXPECT_EQ(list.Get(0).Name, "stored 1");
}

TEST_F(RegStorage, AnActionWithoutAKeyIsReadWholeAndFailsTheLoad) {
    SeedGlobals(3);
    SeedAction(1, 65);
    SeedAction(2, 0);
    store.SetString(Action(3), "Name", "no key value at all");
    store.SetString(Action(3), "Sound", "s.wav");
    EXPECT_FALSE(list.LoadFromRegistry());
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Get(1).Name, "stored 2");
    EXPECT_EQ(list.Get(1).Extension, ".bmp");
    EXPECT_EQ(list.Get(1).Quality, 100);
    // The actions after a failed one are still read in full.
    EXPECT_EQ(list.Get(2).Name, "no key value at all");
    EXPECT_EQ(list.Get(2).Sound, "s.wav");
}

TEST_F(RegStorage, MissingActionValuesTakeTheirDefaults) {
    SeedGlobals(1);
    store.SetDword(Action(1), "VirtualKey", 0x74);
    store.SetDword(Action(1), "GrabMethod", 3);
    ASSERT_TRUE(list.LoadFromRegistry());
    const TActionKey& a = list.Get(0);
    EXPECT_EQ(a.Name, "");
    EXPECT_EQ(a.Extension, ".bmp");
    EXPECT_EQ(a.Quality, 100);
    EXPECT_EQ(a.RecHeight, 200);
    EXPECT_EQ(a.RecWidth, 250);
    EXPECT_EQ(a.SaveTo, 0);
    EXPECT_EQ(a.PixelFormat, 0);
}

TEST_F(RegStorage, StoredNumbersAreCorrectedAsTheyAreRead) {
    const struct {
        const char* name;
        std::uint32_t stored;
        int expected;
    } cases[] = {
        {"Quality", 0, 100},          {"Quality", 150, 100},          {"Quality", 1, 1},
        {"Quality", 0xFFFFFFFF, 100}, {"SaveTo", 0x102, 2},           {"PixelFormat", 0x1FF, 255},
        {"GrabMethod", 259, 3},       {"GrabMethod", 0x8000'0004, 4},
    };
    for (const auto& c : cases) {
        SeedGlobals(1);
        SeedAction(1, 65);
        store.SetDword(Action(1), c.name, c.stored);
        ASSERT_TRUE(list.LoadFromRegistry()) << c.name;
        const TActionKey& a = list.Get(0);
        const std::string field = c.name;
        const int got = field == "Quality"       ? a.Quality
                        : field == "SaveTo"      ? a.SaveTo
                        : field == "PixelFormat" ? a.PixelFormat
                                                 : a.GrabMethod;
        EXPECT_EQ(got, c.expected) << c.name << " " << c.stored;
        store.SetDword(Action(1), c.name, 0);
    }
}

TEST_F(RegStorage, TheRectangleIsReadAndWrittenOnlyForGrabMethodThree) {
    SeedGlobals(2);
    SeedAction(1, 65);
    SeedAction(2, 66);
    store.SetDword(Action(1), "GrabMethod", 259);
    store.SetDword(Action(1), "RecHeight", 11);
    store.SetDword(Action(2), "GrabMethod", 2);
    store.SetDword(Action(2), "RecHeight", 22);
    store.SetDword(Action(2), "RecWidth", 33);
    ASSERT_TRUE(list.LoadFromRegistry());
    EXPECT_EQ(list.Get(0).RecHeight, 11);
    EXPECT_EQ(list.Get(0).RecWidth, 250);
    EXPECT_EQ(list.Get(1).RecHeight, 0);
    EXPECT_EQ(list.Get(1).RecWidth, 0);

    // The stale rectangle of action 2 survives a save, which deletes nothing.
    list.Get(1).RecHeight = 99;
    ASSERT_TRUE(list.SaveToRegistry());
    EXPECT_EQ(store.GetDword(Action(2), "RecHeight"), 22u);
    EXPECT_EQ(store.GetDword(Action(1), "GrabMethod"), 3u);
}

TEST_F(RegStorage, AQualityOutsideTheRangeIsWrittenAsOneHundredAndCorrectedInMemory) {
    samples::FillSample(list, 3);
    list.Get(0).Quality = 0;
    list.Get(1).Quality = 101;
    list.Get(2).Quality = -5;
    ASSERT_TRUE(list.SaveToRegistry());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list.Get(i).Quality, 100);
        EXPECT_EQ(store.GetDword(Action(i + 1), "Quality"), 100u);
    }
}

TEST_F(RegStorage, NumbersKeepTheirSignAndEightBitFieldsTheirValue) {
    samples::FillSample(list, 1);
    TActionKey& a = list.Get(0);
    a.Modifiers = -1;
    a.GrabMethod = 3;
    a.RecHeight = INT32_MIN;
    a.RecWidth = -250;
    a.SaveTo = 255;
    ASSERT_TRUE(list.SaveToRegistry());
    EXPECT_EQ(store.GetDword(Action(1), "Modifiers"), 0xFFFFFFFFu);
    EXPECT_EQ(store.GetDword(Action(1), "SaveTo"), 255u);
    TActionKeys loaded(kKey);
    ASSERT_TRUE(loaded.LoadFromRegistry());
    EXPECT_EQ(loaded.Get(0), a);
}

TEST_F(RegStorage, StringsAreReadFromEitherStringTypeWithoutExpansion) {
    SeedGlobals(1);
    SeedAction(1, 65);
    store.SetRaw(Action(1), "Sound", RegValue::String("%HOME%/a.wav", platform::REG_EXPAND_SZ));
    store.SetRaw(Action(1), "TargetDir", RegValue{platform::REG_SZ, std::string("C:\\a\0junk", 9)});
    store.SetRaw(Action(1), "Name", RegValue{platform::REG_SZ, ""});
    store.SetRaw(Action(1), "Extension", RegValue{platform::REG_SZ, ""});
    ASSERT_TRUE(list.LoadFromRegistry());
    EXPECT_EQ(list.Get(0).Sound, "%HOME%/a.wav");
    EXPECT_EQ(list.Get(0).TargetDir, "C:\\a");
    EXPECT_EQ(list.Get(0).Name, "");
    EXPECT_EQ(list.Get(0).Extension, "");  // present but empty: not the default
}

TEST_F(RegStorage, AValueOfTheWrongTypeFailsOnlyItsActionAndStopsItsRead) {
    SeedGlobals(2);
    SeedAction(1, 65);
    SeedAction(2, 66);
    store.SetString(Action(1), "TargetDir", "kept");
    store.SetRaw(Action(1), "QuerryFName", RegValue{platform::REG_BINARY, "\x01"});
    store.SetDword(Action(1), "Quit", 1);
    EXPECT_FALSE(list.LoadFromRegistry());
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get(0).Name, "stored 1");
    EXPECT_EQ(list.Get(0).TargetDir, "kept");
    EXPECT_FALSE(list.Get(0).Quit);  // after the error nothing more was read
    EXPECT_EQ(list.Get(0).Extension, "");
    EXPECT_EQ(list.Get(1).Name, "stored 2");
}

TEST_F(RegStorage, WrongTypesInTheGlobalsFailTheWholeLoad) {
    const struct {
        const char* name;
        RegValue value;
    } cases[] = {
        {"Count", RegValue::String("3")},
        {"Count", RegValue{platform::REG_QWORD, std::string(8, '\0')}},
        {"TargetDir", RegValue::Dword(1)},
        {"DefaultSound", RegValue{platform::REG_MULTI_SZ, std::string("a\0\0", 3)}},
    };
    for (const auto& c : cases) {
        SeedGlobals(1);
        SeedAction(1, 65);
        store.SetRaw(kKey, c.name, c.value);
        EXPECT_FALSE(list.LoadFromRegistry()) << c.name;
        EXPECT_EQ(list.Count(), 0) << c.name;
    }
}

TEST_F(RegStorage, HomeAndTheLogonEntryAreReadAsTheCaptureToolLeftThem) {
    const struct {
        const char* what;
        bool haveHome;
        RegValue home;
        bool haveRun;
        bool haveEntry;
        RegValue entry;
        bool ok;
        std::string expectHome;
        bool show, start;
    } cases[] = {
        {"nothing", false, {}, false, false, {}, true, "", false, false},
        {"home as text",
         true,
         RegValue::String("D:\\Capture"),
         false,
         false,
         {},
         true,
         "D:\\Capture",
         false,
         false},
        {"home as number", true, RegValue::Dword(7), false, false, {}, true, ".\\", false, false},
        {"run key, no entry", false, {}, true, false, {}, true, "", false, false},
        {"entry", false, {}, true, true, RegValue::String("D:\\Lmgrab.exe"), true, "", true, false},
        {"entry with switch",
         false,
         {},
         true,
         true,
         RegValue::String("x /start"),
         true,
         "",
         true,
         true},
        {"switch in capitals",
         false,
         {},
         true,
         true,
         RegValue::String("x /START"),
         true,
         "",
         true,
         false},
        {"expandable entry",
         false,
         {},
         true,
         true,
         RegValue::String("%X%/start", platform::REG_EXPAND_SZ),
         true,
         "",
         true,
         true},
        {"entry as number", false, {}, true, true, RegValue::Dword(1), false, "", false, false},
    };
    for (const auto& c : cases) {
        TempStore fresh;
        fresh.CreateKey(kKey);
        if (c.haveHome) fresh.SetRaw(kKey, "Home", c.home);
        if (c.haveRun) fresh.CreateKey(kRun);
        if (c.haveEntry) fresh.SetRaw(kRun, "Lumagrabber", c.entry);
        fresh.SetRaw(kRun + "\\..x", "other", RegValue::Dword(0));
        TActionKeys l(kKey);
        l.ShowIconOnStartup = l.StartOnStartup = true;
        EXPECT_EQ(l.LoadFromRegistry(), c.ok) << c.what;
        if (!c.ok) continue;
        EXPECT_EQ(l.Home, c.expectHome) << c.what;
        EXPECT_EQ(l.ShowIconOnStartup, c.show) << c.what;
        EXPECT_EQ(l.StartOnStartup, c.start) << c.what;
    }
}

TEST_F(RegStorage, TheLogonEntryIsRebuiltFromTheFlags) {
    const struct {
        std::string home;
        bool show, start;
        const char* command;  // nullptr: no entry
    } cases[] = {
        {"D:\\Capture", false, true, "D:\\Capture\\Lmgrab.exe /start"},
        {"D:\\Capture\\", true, false, "D:\\Capture\\Lmgrab.exe"},
        {"D:\\Capture", true, true, "D:\\Capture\\Lmgrab.exe /start"},
        {"D:\\Capture", false, false, nullptr},
        {"", true, true, "Lmgrab.exe /start"},
        {"/opt/lumagrabber", true, false, "/opt/lumagrabber\\Lmgrab.exe"},
    };
    for (const auto& c : cases) {
        store.SetString(kRun, "Lumagrabber", "stale entry");
        store.SetString(kRun, "Other program", "keep me");
        TActionKeys l(kKey);
        l.Home = c.home;
        l.ShowIconOnStartup = c.show;
        l.StartOnStartup = c.start;
        ASSERT_TRUE(l.SaveToRegistry());
        EXPECT_EQ(store.GetString(kKey, "Home"), c.home);
        if (c.command) {
            EXPECT_EQ(store.GetString(kRun, "Lumagrabber"), c.command);
        } else {
            EXPECT_FALSE(store.ValueExists(kRun, "Lumagrabber"));
        }
        EXPECT_EQ(store.GetString(kRun, "Other program"), "keep me");

        // Read back, any entry shows the icon; one with the switch also starts.
        TActionKeys back(kKey);
        ASSERT_TRUE(back.LoadFromRegistry());
        EXPECT_EQ(back.ShowIconOnStartup, c.show || c.start);
        EXPECT_EQ(back.StartOnStartup, c.start);
    }
}

TEST_F(RegStorage, ASaveOfFewerActionsLeavesTheHigherKeysInPlace) {
    samples::FillSample(list, 5);
    ASSERT_TRUE(list.SaveToRegistry());
    list.Delete(4);
    list.Delete(3);
    list.Get(0).Name = "renamed";
    ASSERT_TRUE(list.SaveToRegistry());
    EXPECT_EQ(store.GetDword(kKey, "Count"), 3u);
    EXPECT_EQ(store.GetString(Action(1), "Name"), "renamed");
    EXPECT_EQ(store.GetString(Action(4), "Name"), "Action number 4");
    EXPECT_EQ(store.GetString(Action(5), "Name"), "Action number 5");
    EXPECT_EQ(list.Count(), 3);  // saving never changes the list's membership
}

// A store that refuses chosen operations, in front of the real one.
class RefusingHive : public platform::ForwardingHive {
public:
    struct Rules {
        std::string refuseValue;  // SetValue of this name fails
        std::string refuseKey;    // CreateKey/OpenKey for writing of this path fails
        bool refuseFlush = false;

        static Rules Value(std::string name) { return {std::move(name), "", false}; }
        static Rules Key(std::string path) { return {"", std::move(path), false}; }
        static Rules Flushes() { return {"", "", true}; }
    };

    RefusingHive(std::unique_ptr<platform::RegistryHive> inner, const Rules& rules)
        : ForwardingHive(*inner), owned_(std::move(inner)), rules_(rules) {}

    platform::RegStatus OpenKey(std::string_view path, platform::RegAccess access,
                                std::unique_ptr<platform::RegistryKey>& key) override {
        if (path == rules_.refuseKey && access == platform::RegAccess::ReadWrite) return Refused();
        platform::RegStatus s = ForwardingHive::OpenKey(path, access, key);
        if (s.ok()) key = std::make_unique<Key>(std::move(key), rules_);
        return s;
    }
    platform::RegStatus CreateKey(std::string_view path,
                                  std::unique_ptr<platform::RegistryKey>& key) override {
        if (path == rules_.refuseKey) return Refused();
        platform::RegStatus s = ForwardingHive::CreateKey(path, key);
        if (s.ok()) key = std::make_unique<Key>(std::move(key), rules_);
        return s;
    }
    platform::RegStatus Flush() override {
        if (rules_.refuseFlush) {
            Discard();
            return Refused();
        }
        return ForwardingHive::Flush();
    }

    static platform::RegStatus Refused() {
        return platform::RegStatus::Error(platform::RegCode::StoreError, "refused by the test");
    }

private:
    class Key : public platform::ForwardingKey {
    public:
        Key(std::unique_ptr<platform::RegistryKey> inner, const Rules& rules)
            : ForwardingKey(std::move(inner)), rules_(rules) {}
        platform::RegStatus SetValue(std::string_view n, const RegValue& v) override {
            if (n == rules_.refuseValue) return Refused();
            return ForwardingKey::SetValue(n, v);
        }

    private:
        const Rules& rules_;
    };

    std::unique_ptr<platform::RegistryHive> owned_;
    const Rules& rules_;
};

class RefusingStore {
public:
    RefusingStore(const TempStore& store, RefusingHive::Rules rules) : rules_(std::move(rules)) {
        const std::string path = store.path();
        previous_ = platform::SetCurrentUserHiveOpener([this, path](auto& hive) {
            platform::SqliteHiveOptions o;
            o.path = path;
            std::unique_ptr<platform::RegistryHive> inner;
            platform::RegStatus s = platform::OpenSqliteHive(o, inner);
            if (s.ok()) hive = std::make_unique<RefusingHive>(std::move(inner), rules_);
            return s;
        });
    }
    ~RefusingStore() { platform::SetCurrentUserHiveOpener(previous_); }

private:
    RefusingHive::Rules rules_;
    platform::HiveOpener previous_;
};

TEST_F(RegStorage, ARefusedWriteFailsTheSaveAndTheOtherActionsAreStillWritten) {
    samples::FillSample(list, 3);
    {
        RefusingStore refusing(store, RefusingHive::Rules::Key(Action(2)));
        EXPECT_FALSE(list.SaveToRegistry());
    }
    EXPECT_EQ(store.GetDword(kKey, "Count"), 3u);
    EXPECT_EQ(store.GetString(Action(1), "Name"), "Action number 1");
    EXPECT_FALSE(store.KeyExists(Action(2)));
    EXPECT_EQ(store.GetString(Action(3), "Name"), "Action number 3");

    // Values written before a refused one stay.
    store.SetString(Action(1), "Sound", "old.wav");
    {
        RefusingStore refusing(store, RefusingHive::Rules::Value("Quality"));
        EXPECT_FALSE(list.SaveToRegistry());
    }
    EXPECT_EQ(store.GetString(Action(1), "Extension"), ".jpg");
    EXPECT_EQ(store.GetString(Action(1), "Sound"), "old.wav");
}

TEST_F(RegStorage, ARefusedGlobalValueWritesNoAction) {
    samples::FillSample(list, 2);
    RefusingStore refusing(store, RefusingHive::Rules::Value("DefaultSound"));
    EXPECT_FALSE(list.SaveToRegistry());
    EXPECT_FALSE(store.KeyExists(Action(1)));
    EXPECT_EQ(store.GetString(kKey, "Home"), "D:\\Capture");  // the startup step went first
}

TEST_F(RegStorage, AFailedFlushIsAFailedSave) {
    samples::FillSample(list, 2);
    RefusingStore refusing(store, RefusingHive::Rules::Flushes());
    EXPECT_FALSE(list.SaveToRegistry());
    EXPECT_FALSE(store.KeyExists(kKey));
}

TEST_F(RegStorage, ARefusedLogonEntryKeepsTheOldOneAndTheSaveGoesOn) {
    store.SetString(kRun, "Lumagrabber", "C:\\old\\Lmgrab.exe");
    samples::FillSample(list, 1);
    RefusingStore refusing(store, RefusingHive::Rules::Value("Lumagrabber"));
    EXPECT_TRUE(list.SaveToRegistry());  // the startup step's result is not part of the save's
    EXPECT_EQ(store.GetString(kRun, "Lumagrabber"), "C:\\old\\Lmgrab.exe");
    EXPECT_EQ(store.GetDword(kKey, "Count"), 1u);
}

TEST_F(RegStorage, AStoreThatIsNotAStoreFailsEveryOperationAndIsNotTouched) {
    const std::string junk(10000, '\x5A');
    testsupport::WriteFile(store.path(), junk);
    samples::FillSample(list, 2);
    EXPECT_FALSE(list.SaveToRegistry());
    EXPECT_FALSE(list.LoadFromRegistry());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(testsupport::ReadFile(store.path()), junk);
}

TEST_F(RegStorage, AReadOnlyStoreStillLoads) {
    samples::FillSample(list, 2);
    ASSERT_TRUE(list.SaveToRegistry());
    {
        testsupport::ReadOnlyStoreInPlace readOnly(store);
        TActionKeys loaded(kKey);
        EXPECT_TRUE(loaded.LoadFromRegistry());
        EXPECT_EQ(loaded.Count(), 2);
        loaded.Get(0).Name = "changed";
        EXPECT_FALSE(loaded.SaveToRegistry());
    }
    EXPECT_EQ(store.GetString(Action(1), "Name"), "Action number 1");
}

TEST(ActionStorage, ActionPathsAndLogonCommands) {
    EXPECT_EQ(ActionPath("Software\\Orvane\\Lmgrab", 1), "Software\\Orvane\\Lmgrab\\Action1");
    EXPECT_EQ(ActionPath("K", 10), "K\\Action10");
    EXPECT_EQ(LogonCommand("D:\\Capture", true), "D:\\Capture\\Lmgrab.exe /start");
    EXPECT_EQ(LogonCommand("D:\\Capture\\", false), "D:\\Capture\\Lmgrab.exe");
    EXPECT_EQ(LogonCommand("", false), "Lmgrab.exe");
}

}  // namespace

namespace {

TEST(LoadReport, TellsKeylessActionsFromUnreadableOnes) {
    TempStore store;
    store.SetDword(kKey, "Count", 4);
    for (int n = 1; n <= 3; ++n) store.SetDword(Action(n), "VirtualKey", n == 2 ? 0 : 65);
    store.SetRaw(Action(3), "Quit", RegValue::String("yes"));
    TActionKeys list(kKey);
    EXPECT_FALSE(list.LoadFromRegistry());
    EXPECT_FALSE(list.LastLoad().settingsUnreadable);
    EXPECT_EQ(list.LastLoad().withoutKey, std::vector<int>{2});
    EXPECT_EQ(list.LastLoad().unreadable, (std::vector<int>{3, 4}));  // 4 has no key at all
    EXPECT_FALSE(list.LastLoad().OnlyKeysMissing());

    store.SetDword(Action(3), "Quit", 1);
    store.SetDword(kKey, "Count", 3);
    EXPECT_FALSE(list.LoadFromRegistry());
    EXPECT_TRUE(list.LastLoad().OnlyKeysMissing());

    store.SetString(kKey, "Count", "3");
    EXPECT_FALSE(list.LoadFromRegistry());
    EXPECT_TRUE(list.LastLoad().settingsUnreadable);

    store.SetDword(kKey, "Count", 1);
    EXPECT_TRUE(list.LoadFromRegistry());
    EXPECT_TRUE(list.LastLoad().withoutKey.empty() && list.LastLoad().OnlyKeysMissing());
}

}  // namespace
