// The exempt folder as a refresh event reads it: once, on the first walk's request, with the
// Preferences key created as every walk has always created it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "plugin/exemptwatch.h"
#include "testregistry.h"

namespace {

const std::string kPreferencesKey = "Software\\Norvane\\Tamblin\\1.0\\Preferences";

class ExemptWatchTest : public NorvaneRegistryTest {};

TEST_F(ExemptWatchTest, CreatesThePreferencesKeyOnlyWhenAskedFor) {
  {
    ExemptWatchSetting unused;
    static_cast<void>(unused);
  }
  EXPECT_FALSE(KeyExists(kPreferencesKey)) << "nothing is read before a walk asks";
  ExemptWatchSetting setting;
  EXPECT_STREQ(setting.ExemptFolder(), "");
  EXPECT_TRUE(KeyExists(kPreferencesKey));
}

TEST_F(ExemptWatchTest, IsReadOnceForTheEventAndAfreshForTheNext) {
  SetRegString(kPreferencesKey, "ExemptWatch", "C:\\Music\\Private");
  ExemptWatchSetting event;
  EXPECT_STREQ(event.ExemptFolder(), "C:\\Music\\Private");
  SetRegString(kPreferencesKey, "ExemptWatch", "C:\\Music\\Other");
  EXPECT_STREQ(event.ExemptFolder(), "C:\\Music\\Private") << "the same for every walk of one event";
  ExemptWatchSetting next;
  EXPECT_STREQ(next.ExemptFolder(), "C:\\Music\\Other");
}

TEST_F(ExemptWatchTest, ValueThatIsNoFittingStringExemptsNothing) {
  // 259 characters fit the 260-byte read; 260 do not, and a cut path would name another folder.
  const std::string fits = "C:\\" + std::string(256, 'f');
  SetRegString(kPreferencesKey, "ExemptWatch", fits);
  EXPECT_EQ(ExemptWatchSetting().ExemptFolder(), fits);
  SetRegString(kPreferencesKey, "ExemptWatch", fits + "g");
  EXPECT_STREQ(ExemptWatchSetting().ExemptFolder(), "");
  SetRegString(kPreferencesKey, "ExemptWatch", "C:\\Music", REG_EXPAND_SZ);
  EXPECT_STREQ(ExemptWatchSetting().ExemptFolder(), "");
  SetRegDword(kPreferencesKey, "ExemptWatch", 1);
  EXPECT_STREQ(ExemptWatchSetting().ExemptFolder(), "");
}

}  // namespace
