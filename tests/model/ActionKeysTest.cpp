#include "model/ActionKeys.h"

#include <set>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "platform/ThreadHotKeys.h"

namespace {

// Records every release and answers from a script.
class ScriptedHotKeys : public platform::ThreadHotKeys {
public:
    bool Register(int, unsigned, unsigned) override { return true; }
    bool Unregister(int id) override {
        released.push_back(id);
        return failing.count(id) == 0;
    }
    std::vector<int> released;
    std::set<int> failing;
};

class HotKeysInPlace {
public:
    explicit HotKeysInPlace(platform::ThreadHotKeys& k)
        : previous_(platform::SetThreadHotKeys(&k)) {}
    ~HotKeysInPlace() { platform::SetThreadHotKeys(previous_); }

private:
    platform::ThreadHotKeys* previous_;
};

std::unique_ptr<TActionKey> Named(const std::string& name) {
    auto a = std::make_unique<TActionKey>();
    a->Name = name;
    return a;
}

TEST(TActionKey, ANewActionIsAllZeroEmptyAndFalse) {
    const TActionKey a;
    EXPECT_EQ(a.Name, "");
    EXPECT_EQ(a.TargetDir, "");
    EXPECT_EQ(a.Extension, "");
    EXPECT_EQ(a.Sound, "");
    EXPECT_EQ(a.Modifiers | a.VirtualKey | a.SaveTo | a.GrabMethod | a.RecHeight | a.RecWidth |
                  a.PixelFormat | a.Quality,
              0);
    EXPECT_FALSE(a.QuerryFName || a.Quit || a.Prevent15bit || a.Prevent16bit || a.Prevent32bit);
}

TEST(TActionKeys, ANewListHasItsKeyPathAndNothingElse) {
    const TActionKeys list("Software\\Orvane\\Lmgrab");
    EXPECT_EQ(list.KeyPath, "Software\\Orvane\\Lmgrab");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.HasActions());
    EXPECT_EQ(list.TargetDir + list.Home + list.DefaultSound, "");
    EXPECT_FALSE(list.StartOnStartup || list.ShowIconOnStartup);
}

TEST(TActionKeys, AddAppendsAndGetEditsInPlace) {
    TActionKeys list("K");
    EXPECT_EQ(list.Add(Named("a")), 0);
    EXPECT_EQ(list.Add(Named("b")), 1);
    EXPECT_EQ(list.Add(Named("c")), 2);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_TRUE(list.HasActions());
    EXPECT_EQ(list.Get(2).Name, "c");
    list.Get(1).Name = "edited";
    EXPECT_EQ(list.Get(1).Name, "edited");
}

TEST(TActionKeys, DeleteMovesLaterActionsDown) {
    TActionKeys list("K");
    for (const char* n : {"a", "b", "c"}) list.Add(Named(n));
    TActionKey* second = &list.Get(1);
    list.Delete(0);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(&list.Get(0), second);
    EXPECT_EQ(list.Get(0).Name, "b");
    EXPECT_EQ(list.Get(1).Name, "c");
}

TEST(TActionKeys, IndexesOutsideTheListRaiseAndChangeNothing) {
    TActionKeys list("K");
    EXPECT_THROW(list.Get(0), EListError);
    for (const char* n : {"a", "b", "c"}) list.Add(Named(n));
    for (int bad : {-1, 3, 1000, INT32_MIN}) {
        try {
            list.Get(bad);
            ADD_FAILURE() << "Get(" << bad << ") did not raise";
        } catch (const EListError& e) {
            EXPECT_EQ(e.Index(), bad);
            EXPECT_NE(std::string(e.what()).find(std::to_string(bad)), std::string::npos);
        }
        EXPECT_THROW(list.Delete(bad), EListError);
        EXPECT_THROW(std::as_const(list).Get(bad), std::out_of_range);
    }
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Get(0).Name + list.Get(1).Name + list.Get(2).Name, "abc");
}

TEST(TActionKeys, ClearReleasesEveryHotKeyThenEmptiesTheListButKeepsGlobals) {
    ScriptedHotKeys hotKeys;
    HotKeysInPlace inPlace(hotKeys);
    TActionKeys list("K");
    list.TargetDir = "C:\\Captures";
    list.StartOnStartup = true;
    list.Clear();
    EXPECT_TRUE(hotKeys.released.empty());  // an empty list makes no calls

    for (const char* n : {"a", "b", "c", "d"}) list.Add(Named(n));
    hotKeys.failing = {1};  // none of them is registered: the first failure must not stop the rest
    list.Clear();
    EXPECT_EQ(hotKeys.released, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.TargetDir, "C:\\Captures");
    EXPECT_TRUE(list.StartOnStartup);
}

TEST(TActionKeys, ReleaseHotKeysIsTrueOnlyWhenEveryReleaseIs) {
    ScriptedHotKeys hotKeys;
    HotKeysInPlace inPlace(hotKeys);
    TActionKeys list("K");
    EXPECT_TRUE(list.ReleaseHotKeys());
    list.Add(Named("a"));
    list.Add(Named("b"));
    EXPECT_TRUE(list.ReleaseHotKeys());
    hotKeys.failing = {0};
    hotKeys.released.clear();
    EXPECT_FALSE(list.ReleaseHotKeys());
    EXPECT_EQ(hotKeys.released, (std::vector<int>{0, 1}));
    EXPECT_EQ(list.Count(), 2);  // releasing does not remove
}

TEST(TActionKeys, DestructionClearsFirst) {
    ScriptedHotKeys hotKeys;
    HotKeysInPlace inPlace(hotKeys);
    {
        TActionKeys list("K");
        list.Add(Named("a"));
        list.Add(Named("b"));
    }
    EXPECT_EQ(hotKeys.released, (std::vector<int>{0, 1}));
}

TEST(ThreadHotKeys, TheDesktopReleasesOnlyWhatThisThreadRegistered) {
    TActionKeys list("K");
    list.Add(Named("a"));
    EXPECT_FALSE(list.ReleaseHotKey(0));  // the editor registers none
    EXPECT_FALSE(list.ReleaseHotKeys());

    auto& desktop = platform::CurrentThreadHotKeys();
    ASSERT_TRUE(desktop.Register(7, 2, 'A'));
    EXPECT_FALSE(desktop.Register(7, 2, 'B'));
    bool otherThread = true;
    std::thread([&] { otherThread = desktop.Unregister(7); }).join();
    EXPECT_FALSE(otherThread);
    EXPECT_TRUE(list.ReleaseHotKey(7));
    EXPECT_FALSE(list.ReleaseHotKey(7));
}

}  // namespace
