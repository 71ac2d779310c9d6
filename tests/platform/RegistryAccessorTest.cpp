#include "platform/RegistryAccessor.h"

#include <gtest/gtest.h>

#include "platform/SqliteRegistry.h"
#include "tests/support/TempStore.h"

namespace {

using namespace platform;
using testsupport::TempStore;

TEST(RegistryAccessor, OpenKeyCreatesOnlyWhenAskedAndFlushesAtClose) {
    TempStore store;
    RegistryAccessor reg;
    EXPECT_EQ(reg.OpenKey("Software\\Orvane", false).code, RegCode::NotFound);
    EXPECT_FALSE(reg.HasOpenKey());
    EXPECT_FALSE(store.KeyExists("Software"));

    ASSERT_TRUE(reg.OpenKey("Software\\Orvane\\Lmgrab", true).ok());
    EXPECT_EQ(reg.CurrentPath(), "Software\\Orvane\\Lmgrab");
    ASSERT_TRUE(reg.WriteValue("Count", RegValue::Dword(3)).ok());
    EXPECT_FALSE(store.KeyExists("Software\\Orvane\\Lmgrab"));  // not flushed yet
    ASSERT_TRUE(reg.CloseKey().ok());
    EXPECT_EQ(store.GetDword("Software\\Orvane\\Lmgrab", "Count"), 3u);
    EXPECT_TRUE(reg.CloseKey().ok());  // closing twice is harmless

    // Opening another key closes (and flushes) the one before.
    ASSERT_TRUE(reg.OpenKey("software\\orvane\\lmgrab", false).ok());
    ASSERT_TRUE(reg.WriteValue("Count", RegValue::Dword(4)).ok());
    ASSERT_TRUE(reg.OpenKey("Software", false).ok());
    EXPECT_EQ(store.GetDword("Software\\Orvane\\Lmgrab", "Count"), 4u);
}

TEST(RegistryAccessor, ValueOperationsNeedAnOpenKey) {
    TempStore store;
    RegistryAccessor reg;
    RegValue v;
    std::vector<std::string> names;
    EXPECT_EQ(reg.ReadValue("x", v).code, RegCode::NotFound);
    EXPECT_EQ(reg.WriteValue("x", v).code, RegCode::NotFound);
    EXPECT_EQ(reg.DeleteValue("x").code, RegCode::NotFound);
    EXPECT_EQ(reg.GetKeyNames(names).code, RegCode::NotFound);
    EXPECT_FALSE(reg.HasSubKeys());
    EXPECT_FALSE(reg.ValueExists("x"));
}

TEST(RegistryAccessor, KeysSubkeysAndDeletion) {
    TempStore store;
    store.CreateKey("Root\\Action1\\Deep");
    store.CreateKey("Root\\Action2");
    RegistryAccessor reg;
    EXPECT_TRUE(reg.KeyExists("ROOT\\action1"));
    EXPECT_FALSE(reg.KeyExists("Root\\Action3"));
    ASSERT_TRUE(reg.OpenKey("Root", false).ok());
    EXPECT_TRUE(reg.HasSubKeys());
    std::vector<std::string> names;
    ASSERT_TRUE(reg.GetKeyNames(names).ok());
    EXPECT_EQ(names, (std::vector<std::string>{"Action1", "Action2"}));
    reg.CloseKey();

    EXPECT_EQ(reg.DeleteKey("Root\\Action1").code, RegCode::HasSubkeys);
    ASSERT_TRUE(reg.DeleteKey("Root\\Action1\\Deep").ok());
    ASSERT_TRUE(reg.DeleteKey("Root\\Action1").ok());
    EXPECT_FALSE(store.KeyExists("Root\\Action1"));  // at once, without a close
    EXPECT_TRUE(store.KeyExists("Root\\Action2"));
}

TEST(RegistryAccessor, DiscardAndCloseKeyDropsUnflushedWrites) {
    TempStore store;
    store.SetString("K", "Lumagrabber", "old");
    RegistryAccessor reg;
    ASSERT_TRUE(reg.OpenKey("K", false).ok());
    ASSERT_TRUE(reg.DeleteValue("Lumagrabber").ok());
    reg.DiscardAndCloseKey();
    EXPECT_EQ(store.GetString("K", "Lumagrabber"), "old");
}

TEST(RegistryAccessor, FallsBackToReadingWhenTheStoreCannotBeWritten) {
    TempStore store;
    store.SetDword("Software\\Orvane\\Lmgrab", "Count", 2);
    testsupport::ReadOnlyStoreInPlace readOnly(store);
    RegistryAccessor reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Orvane\\Lmgrab", false).ok());
    RegValue v;
    ASSERT_TRUE(reg.ReadValue("Count", v).ok());
    EXPECT_EQ(v, RegValue::Dword(2));
    EXPECT_EQ(reg.WriteValue("Count", RegValue::Dword(5)).code, RegCode::AccessDenied);

    // An existing key opens even when creation was allowed; a missing one cannot be made.
    EXPECT_TRUE(reg.OpenKey("Software\\Orvane\\Lmgrab", true).ok());
    EXPECT_EQ(reg.OpenKey("Software\\Other", true).code, RegCode::AccessDenied);
    EXPECT_FALSE(reg.HasOpenKey());
    EXPECT_EQ(reg.DeleteKey("Software\\Orvane\\Lmgrab").code, RegCode::AccessDenied);
    EXPECT_EQ(store.GetDword("Software\\Orvane\\Lmgrab", "Count"), 2u);
}

TEST(RegistryAccessor, ABrokenStoreFailsEveryCallAndNamesTheFile) {
    TempStore store;
    testsupport::WriteFile(store.path(), std::string(4096, 'Z'));
    RegistryAccessor reg;
    RegStatus s = reg.OpenKey("Software", true);
    EXPECT_EQ(s.code, RegCode::StoreError);
    EXPECT_NE(s.message.find(store.path()), std::string::npos) << s.message;
    EXPECT_FALSE(reg.KeyExists(""));
    EXPECT_EQ(reg.DeleteKey("Software").code, RegCode::StoreError);
    EXPECT_EQ(testsupport::ReadFile(store.path()), std::string(4096, 'Z'));
}

}  // namespace
