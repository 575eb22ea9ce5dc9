// watch writes every setting it owns at each start, so nothing of an earlier run or another host
// stays in force, says which pictures folder the plug-in uses, counts the folders it really
// watches, and prints names as UTF-8 when its output is a pipe.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "testregistry.h"
#include "watchhostrun.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class WatchHostSettings : public NorvaneRegistryTest {};

bool ValueExists(const std::string& subkey, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  const bool found = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

HostResult WatchOneTick(const WatchHost& host, std::vector<std::wstring> extra) {
  std::vector<std::wstring> args = {L"watch", L"--plugin", Widen(WatchHost::PluginPath()), L"--logs",
                                    Widen(host.Folder() / "logs"), L"--ticks", L"1", L"--interval", L"1"};
  args.insert(args.end(), extra.begin(), extra.end());
  return host.Run(args);
}

TEST_F(WatchHostSettings, EveryOwnedSettingIsWrittenAtEachStart) {
  WatchHost host;
  MakeFolder(host.Folder() / "music");
  MakeFolder(host.Folder() / "old pictures");
  // What an earlier run, or a player, left behind.
  SetRegString(kPictures, "", host.Folder() / "old pictures");
  SetRegString(kPreferences, "ExemptWatch", "C:\\Private");
  SetRegDword(kPreferences, "SkipFolderScan", 1);
  SetRegDword(kWatchFolders, "NumFolders", 12);
  SetRegString(kWatchFolders + "\\WatchFolder3", "Folder", "C:\\Old");
  SetRegString(kWatchFolders + "\\WatchFolder11", "Folder", "C:\\Older");

  const HostResult result = WatchOneTick(host, {L"--folder", Widen(host.Folder() / "music")});
  ASSERT_EQ(0, result.exit_code) << result.err;
  EXPECT_FALSE(ValueExists(kPictures, "")) << "no --pictures clears the player's preference";
  EXPECT_FALSE(ValueExists(kPreferences, "ExemptWatch"));
  EXPECT_EQ(0, GetRegDword(kPreferences, "SkipFolderScan"));
  EXPECT_EQ(1, GetRegDword(kWatchFolders, "NumFolders"));
  EXPECT_FALSE(KeyExists(kWatchFolders + "\\WatchFolder3"));
  EXPECT_FALSE(KeyExists(kWatchFolders + "\\WatchFolder11"));
  EXPECT_THAT(result.out, HasSubstr("note      removed WatchFolder3 of an earlier run"));
  EXPECT_THAT(result.out, HasSubstr("note      SkipFolderScan was 1, which stops every change notice: set to 0"));
  EXPECT_THAT(result.out, HasSubstr("settings  LogPath " + host.Folder() / "logs\\" +
                                    ", NumFolders 1, ExemptWatch (none), SkipFolderScan 0"));
  EXPECT_THAT(result.out, HasSubstr(" (no --pictures: the player's preference PicturesPath is cleared, so the plug-in "
                                    "takes the shell's pictures folder)"));
  EXPECT_THAT(result.out, Not(HasSubstr("old pictures")));
  EXPECT_THAT(result.out, HasSubstr("watching 1 folder(s) and the pictures folder; a tick every 1 s"));
  EXPECT_THAT(result.out, HasSubstr("rescan    every folder every 300 tick(s) (300 s), the default"));
  EXPECT_THAT(result.out, HasSubstr("tick 1: "));
  EXPECT_THAT(result.err, Not(HasSubstr("may use another pictures folder")));

  // Given again, each setting is written as given.
  const HostResult again = WatchOneTick(host, {L"--folder", Widen(host.Folder() / "music"), L"--pictures",
                                               Widen(host.Folder() / "old pictures"), L"--exempt",
                                               Widen(host.Folder() / "music\\private"), L"--rescan-every", L"7"});
  ASSERT_EQ(0, again.exit_code) << again.err;
  EXPECT_THAT(again.out, HasSubstr("pictures  " + host.Folder() / "old pictures" +
                                   " (the player's preference PicturesPath, from --pictures)"));
  EXPECT_THAT(again.out, HasSubstr("ExemptWatch " + host.Folder() / "music\\private"));
  EXPECT_THAT(again.out, HasSubstr("rescan    every folder every 7 tick(s) (7 s)\n"));
  EXPECT_THAT(again.out, HasSubstr("start-up rescan: 1 folder(s) rescanned"));
}

TEST_F(WatchHostSettings, CountsTheFoldersReallyWatched) {
  WatchHost host;
  MakeFolder(host.Folder() / "music");
  const HostResult result = WatchOneTick(host, {L"--folder", Widen(host.Folder() / "music"), L"--folder",
                                                Widen(host.Folder() / "not there"), L"--pictures",
                                                Widen(host.Folder() / "music")});
  ASSERT_EQ(0, result.exit_code) << result.err;
  EXPECT_THAT(result.out, HasSubstr("watching 1 of 2 folder(s) and the pictures folder;"));
  EXPECT_THAT(result.out, HasSubstr("WatchFolder1  " + host.Folder() / "not there" + "  (not reachable now)"));
  EXPECT_THAT(result.err, HasSubstr("warning: cannot watch " + host.Folder() / "not there" + " now"));
}

TEST_F(WatchHostSettings, NamesReachAPipeAsUtf8) {
  WatchHost host;
  const std::string cafe = host.Folder() / "Caf\xe9";  // the code page's own spelling, 1252 and the like
  if (Widen(cafe).back() != L'\u00e9') GTEST_SKIP() << "the code page has no e acute";
  MakeFolder(cafe);
  WriteBytes(cafe + "\\cr\xe8me.mp3", "x");
  const HostResult result = WatchOneTick(host, {L"--folder", Widen(cafe), L"--pictures", Widen(cafe)});
  ASSERT_EQ(0, result.exit_code) << result.err;
  EXPECT_THAT(result.out, HasSubstr("WatchFolder0  " + Utf8(Widen(cafe)) + "\n"));
  // The plug-in's own change list, ANSI on disk, comes out as UTF-8 too.
  const HostResult purge = host.Run({L"purge", L"--plugin", Widen(WatchHost::PluginPath()), Widen(cafe)});
  EXPECT_THAT(purge.out, HasSubstr("- " + Utf8(Widen(cafe + "\\cr\xe8me.mp3"))));
  EXPECT_THAT(result.out + purge.out, Not(HasSubstr("\xe9")) ) << "no byte of the ANSI spelling";
}

}  // namespace
