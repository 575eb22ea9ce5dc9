// The plug-in driven the way a host drives it: load the DLL, write the registry, send events,
// read the registry, the scan logs and the change lists back.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "plugindll.h"
#include "testfiles.h"
#include "testregistry.h"

namespace {

std::string Subkey(int i) { return kWatchFolders + "\\WatchFolder" + std::to_string(i); }

class PluginTest : public PluginHostTest {
 protected:
  void SetUp() override {
    PluginHostTest::SetUp();
    logs_ = *temp_ / "logs\\";
  }

  // music: a.mp3, notes.txt, README, cover.jpg, Live\c.wav; its scan log lists a.mp3 and c.wav.
  std::string MakeMusic(const char* name = "music") {
    const std::string folder = Temp(name);
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\Live").c_str(), nullptr);
    for (const char* file : {"a.mp3", "notes.txt", "README", "cover.jpg", "Live\\c.wav"}) {
      WriteBytes(folder + "\\" + file, "data");
    }
    return folder;
  }
  static std::string MusicLog(const std::string& folder) {
    return folder + "\\a.mp3\r\n" + folder + "\\Live\\c.wav\r\n";
  }

  void Configure(const std::string& log_path, DWORD count) {
    SetRegString(kWatchFolders, "LogPath", log_path);
    SetRegDword(kWatchFolders, "NumFolders", count);
  }
  void AddFolder(int i, const std::string& folder, DWORD dirty) {
    SetRegString(Subkey(i), "Folder", folder);
    SetRegDword(Subkey(i), "Dirty", dirty);
  }
  // The log folder's files that belong to the numbered folders.
  // The files the host reads; the plug-in's private directory index beside each scan log is left
  // out.
  std::vector<std::string> NumberedFolderLogs() const {
    std::vector<std::string> names;
    for (const std::string& name : ListFolder(logs_)) {
      const bool index = name.size() > 4 && name.compare(name.size() - 4, 4, ".idx") == 0;
      if (name.rfind(ScanLogStem(pictures_), 0) != 0 && name != "fldrscan2.out" && !index) names.push_back(name);
    }
    return names;
  }
  std::string ScanLog(const std::string& folder) const { return logs_ + ScanLogStem(folder) + "scan.log"; }
  std::string PreviousLog(const std::string& folder) const {
    return logs_ + ScanLogStem(folder) + "scan2.log";
  }

  std::string logs_;
};

// ---- change notices --------------------------------------------------------------------------

struct NoticeCase {
  const char* event;
  DWORD skip_folder_scan;  // written when not ~0
  const char* flagged;     // subkey expected with "Dirty" 1, or null: WatchFolders stays absent
};

class Notices : public PluginTest, public ::testing::WithParamInterface<NoticeCase> {};

// The WatchFolders subkeys whose "Dirty" is 1.
std::vector<std::string> FlaggedSubkeys() {
  std::vector<std::string> flagged;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kWatchFolders.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return flagged;
  }
  char name[256];
  for (DWORD i = 0, length = sizeof(name);
       RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++i, length = sizeof(name)) {
    if (GetRegDword(kWatchFolders + "\\" + name, "Dirty") == 1) flagged.push_back(name);
  }
  RegCloseKey(key);
  return flagged;
}

TEST_P(Notices, SetTheFlagUnlessSkipped) {
  const NoticeCase& c = GetParam();
  // A log folder of its own: the refresh events write the pictures folder's logs there.
  Configure(logs_, 0);
  if (c.skip_folder_scan != ~0u) SetRegDword(kPreferences, "SkipFolderScan", c.skip_folder_scan);
  Send(c.event);
  EXPECT_EQ(c.flagged ? std::vector<std::string>{c.flagged} : std::vector<std::string>{},
            FlaggedSubkeys());
  EXPECT_TRUE(ListFolder(cwd_).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, Notices,
    ::testing::Values(NoticeCase{"WatchFolder7", ~0u, "WatchFolder7"},
                      NoticeCase{"WatchFolder7", 0, "WatchFolder7"},
                      NoticeCase{"WatchFolder7", 1, nullptr},
                      NoticeCase{"WatchFolder7", 2, nullptr},
                      NoticeCase{"watchfolder7", ~0u, "watchfolder7"},
                      NoticeCase{"WATCHFOLDER", ~0u, "WATCHFOLDER"},
                      NoticeCase{"WatchFolderPicture", ~0u, "WatchFolderPicture"},
                      // One trailing blank: not the timer, a notice for a subkey of that name.
                      NoticeCase{"WatchFolders_Timer ", ~0u, "WatchFolders_Timer "},
                      NoticeCase{"WatchFolders_Timer", ~0u, nullptr},
                      NoticeCase{"watchfolders_initlogs", ~0u, nullptr},
                      NoticeCase{"Hello", ~0u, nullptr}, NoticeCase{"", ~0u, nullptr},
                      NoticeCase{"Watch", ~0u, nullptr}, NoticeCase{"Purge", ~0u, nullptr},
                      NoticeCase{"Purge:", ~0u, nullptr}));

TEST_F(PluginTest, NullEventIsRefusedAndTouchesNothing) {
  EXPECT_EQ(E_POINTER, dll_->Send(nullptr));
  EXPECT_FALSE(KeyExists(kWatchFolders));
}

TEST_F(PluginTest, OverlongNoticeNameWritesNothing) {
  Send("WatchFolder" + std::string(5000, 'x'));
  EXPECT_FALSE(KeyExists(kWatchFolders));
}

// ---- routing of the refresh events -----------------------------------------------------------

struct RouteCase {
  const char* event;
  long long dirty0;  // WatchFolder0 starts at 1
  long long dirty1;  // WatchFolder1 starts at 2
};

class RefreshRoutes : public PluginTest, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(RefreshRoutes, TimerHonoursOnlyDirtyOneInitClearsAll) {
  Configure(logs_, 2);
  AddFolder(0, MakeMusic("music"), 1);
  AddFolder(1, MakeMusic("video"), 2);
  Send(GetParam().event);
  EXPECT_EQ(GetParam().dirty0, GetRegDword(Subkey(0), "Dirty"));
  EXPECT_EQ(GetParam().dirty1, GetRegDword(Subkey(1), "Dirty"));
}

INSTANTIATE_TEST_SUITE_P(Table, RefreshRoutes,
                         ::testing::Values(RouteCase{"WatchFolders_Timer", 0, 2},
                                           RouteCase{"watchfolders_timer", 0, 2},
                                           RouteCase{"WATCHFOLDERS_TIMER", 0, 2},
                                           RouteCase{"WatchFolders_InitLogs", 0, 0},
                                           RouteCase{"watchfolders_initlogs", 0, 0},
                                           RouteCase{"WATCHFOLDERS_INITLOGS", 0, 0},
                                           RouteCase{"WatchFolders_Timer ", 1, 2},
                                           RouteCase{"Hello", 1, 2}));

// ---- the refresh roads -----------------------------------------------------------------------

TEST_F(PluginTest, InitBuildsMissingLogsInANewLogDirectoryAndKeepsExistingOnes) {
  logs_ = Temp("new\\deeper\\logs\\");  // none of it exists yet
  Configure(logs_, 2);
  const std::string music = MakeMusic("music");
  const std::string video = MakeMusic("video");
  AddFolder(0, music, 0);
  AddFolder(1, video, 1);

  Send("WatchFolders_InitLogs");
  EXPECT_EQ(MusicLog(music), ReadBytes(ScanLog(music)));
  EXPECT_EQ(MusicLog(video), ReadBytes(ScanLog(video)));
  EXPECT_EQ(0, GetRegDword(Subkey(0), "Dirty"));
  EXPECT_EQ(0, GetRegDword(Subkey(1), "Dirty"));
  EXPECT_FALSE(PathExists(logs_ + "fldrscan.out"));

  // A second init keeps the existing log byte for byte and rotates nothing. The flag 1 stays:
  // the folder was not looked at, and the timer still owes it a rescan (new.mp3 is reported).
  WriteBytes(music + "\\new.mp3", "data");
  SetRegDword(Subkey(0), "Dirty", 1);
  Send("WatchFolders_InitLogs");
  EXPECT_EQ(MusicLog(music), ReadBytes(ScanLog(music)));
  EXPECT_FALSE(PathExists(PreviousLog(music)));
  EXPECT_EQ(1, GetRegDword(Subkey(0), "Dirty"));
  EXPECT_EQ((std::vector<std::string>{ScanLogStem(music) + "scan.log", ScanLogStem(video) + "scan.log"}),
            NumberedFolderLogs());
}

TEST_F(PluginTest, TimerRescansDirtyFoldersAndAppendsTheirAdditions) {
  Configure(logs_, 2);
  const std::string music = MakeMusic("music");
  const std::string video = MakeMusic("video");
  AddFolder(0, music, 0);
  AddFolder(1, video, 0);
  Send("WatchFolders_InitLogs");
  WriteBytes(logs_ + "fldrscan.out", "left by the host\r\n");

  WriteBytes(music + "\\e.mp3", "data");
  DeleteFileA((music + "\\a.mp3").c_str());
  WriteBytes(video + "\\v.mp3", "data");
  Send("WatchFolder0");
  EXPECT_EQ(1, GetRegDword(Subkey(0), "Dirty"));
  Send("WatchFolders_Timer");

  // Additions only; the deleted a.mp3 leaves no trace, and video (not dirty) is not rescanned.
  EXPECT_EQ("left by the host\r\n" + music + "\\e.mp3\r\n", ReadBytes(logs_ + "fldrscan.out"));
  EXPECT_EQ(0, GetRegDword(Subkey(0), "Dirty"));
  EXPECT_EQ(MusicLog(music), ReadBytes(PreviousLog(music)));
  EXPECT_EQ(music + "\\e.mp3\r\n" + music + "\\Live\\c.wav\r\n", ReadBytes(ScanLog(music)));
  EXPECT_EQ(MusicLog(video), ReadBytes(ScanLog(video)));
  EXPECT_FALSE(PathExists(PreviousLog(video)));

  // Not flagged again: the next timer leaves everything as it is.
  Send("WatchFolders_Timer");
  EXPECT_EQ("left by the host\r\n" + music + "\\e.mp3\r\n", ReadBytes(logs_ + "fldrscan.out"));
}

TEST_F(PluginTest, FirstScanInTimerModeAppendsNothing) {
  Configure(logs_, 1);
  const std::string music = MakeMusic();
  AddFolder(0, music, 1);
  Send("WatchFolders_Timer");
  EXPECT_EQ(MusicLog(music), ReadBytes(ScanLog(music)));
  EXPECT_FALSE(PathExists(logs_ + "fldrscan.out"));
}

TEST_F(PluginTest, PurgeReportsEveryFileOnceAndLeavesAnEmptyLog) {
  Configure(logs_, 1);
  const std::string music = MakeMusic();
  AddFolder(0, music, 0);
  Send("WatchFolders_InitLogs");

  Send("Purge:" + music);
  const std::string removed = "-" + music + "\\a.mp3\r\n-" + music + "\\Live\\c.wav\r\n";
  EXPECT_EQ(removed, ReadBytes(logs_ + "fldrscan2.out"));
  EXPECT_EQ("", ReadBytes(ScanLog(music)));
  EXPECT_EQ(0, GetRegDword(Subkey(0), "Dirty")) << "a purge touches no flag";

  Send("purge " + music + "\\");  // same folder, other separator, trailing backslash
  EXPECT_EQ(removed, ReadBytes(logs_ + "fldrscan2.out"));
  EXPECT_EQ("", ReadBytes(ScanLog(music)));
}

TEST_F(PluginTest, PurgeWithoutScanLogReportsTheOldPreviousLog) {
  Configure(logs_, 0);
  const std::string music = Temp("gone");
  CreateDirectoryA(logs_.c_str(), nullptr);
  WriteBytes(PreviousLog(music), music + "\\old.mp3\r\n");
  Send("Purge:" + music);
  EXPECT_EQ("-" + music + "\\old.mp3\r\n", ReadBytes(logs_ + "fldrscan2.out"));
}

TEST_F(PluginTest, SkipFolderScanKeepsFlagsSoDirtyFoldersAreRescannedEveryTime) {
  Configure(logs_, 1);
  const std::string music = MakeMusic();
  AddFolder(0, music, 1);
  SetRegDword(kPreferences, "SkipFolderScan", 1);

  Send("WatchFolders_Timer");
  EXPECT_EQ(MusicLog(music), ReadBytes(ScanLog(music)));
  EXPECT_EQ(1, GetRegDword(Subkey(0), "Dirty"));

  WriteBytes(music + "\\z.wma", "data");
  Send("WatchFolders_Timer");
  EXPECT_EQ(music + "\\z.wma\r\n", ReadBytes(logs_ + "fldrscan.out"));
  EXPECT_EQ(1, GetRegDword(Subkey(0), "Dirty"));

  Send("WatchFolders_InitLogs");
  EXPECT_EQ(1, GetRegDword(Subkey(0), "Dirty"));
}

TEST_F(PluginTest, DirtyTwoIsNotHonouredByTheTimer) {
  Configure(logs_, 1);
  AddFolder(0, MakeMusic(), 2);
  Send("WatchFolders_Timer");
  EXPECT_EQ(2, GetRegDword(Subkey(0), "Dirty"));
  EXPECT_FALSE(PathExists(logs_));
}

TEST_F(PluginTest, NumFoldersBeyondTheKeysCreatesNothingForTheMissingOnes) {
  Configure(logs_, 3);
  const std::string music = MakeMusic("music");
  const std::string video = MakeMusic("video");
  AddFolder(0, music, 1);
  AddFolder(1, video, 1);

  Send("WatchFolders_Timer");
  EXPECT_FALSE(KeyExists(Subkey(2)));
  Send("WatchFolders_InitLogs");
  EXPECT_FALSE(KeyExists(Subkey(2)));
  EXPECT_EQ((std::vector<std::string>{ScanLogStem(music) + "scan.log", ScanLogStem(video) + "scan.log"}),
            NumberedFolderLogs());
  EXPECT_TRUE(ListFolder(cwd_).empty());
}

TEST_F(PluginTest, HugeNumFoldersStillReachesEveryExistingEntryAndEnds) {
  // One registry read per number up to 4,294,967,295 would freeze the host for hours.
  Configure(logs_, 0xFFFFFFFF);
  const std::string music = MakeMusic("music");
  const std::string video = MakeMusic("video");
  AddFolder(0, music, 0);
  AddFolder(2, video, 0);  // a hole at 1
  SetRegDword(kWatchFolders + "\\WatchFolder02", "Dirty", 1);  // not a number the host writes
  Send("WatchFolders_InitLogs");
  EXPECT_EQ(MusicLog(music), ReadBytes(ScanLog(music)));
  EXPECT_EQ(MusicLog(video), ReadBytes(ScanLog(video)));
  EXPECT_FALSE(KeyExists(Subkey(1)));
  EXPECT_FALSE(KeyExists(Subkey(3)));

  WriteBytes(video + "\\new.mp3", "data");
  Send("WatchFolder2");
  Send("WatchFolders_Timer");
  EXPECT_EQ(video + "\\new.mp3\r\n", ReadBytes(logs_ + "fldrscan.out"));
}

// A host thread of its own: adds a file, sends the notice and the timer, kRounds times.
struct HostThread {
  static constexpr int kRounds = 15;
  EventCallbackFunction send;
  std::string music;
  char tag;

  static DWORD WINAPI Run(void* argument) {
    auto* self = static_cast<HostThread*>(argument);
    for (int round = 0; round < kRounds; ++round) {
      WriteBytes(self->music + "\\" + self->tag + std::to_string(round) + ".mp3", "data");
      self->send("WatchFolder0");
      self->send("WatchFolders_Timer");
    }
    return 0;
  }
};

TEST_F(PluginTest, TwoHostThreadsAtOnceLoseAndRepeatNothing) {
  Configure(logs_, 1);
  const std::string music = MakeMusic("music");
  AddFolder(0, music, 0);
  Send("WatchFolders_InitLogs");

  // Each thread adds its own files and has them picked up; the events interleave freely.
  HostThread first{dll_->Callback(), music, 'x'}, second{dll_->Callback(), music, 'y'};
  HANDLE threads[] = {CreateThread(nullptr, 0, HostThread::Run, &first, 0, nullptr),
                      CreateThread(nullptr, 0, HostThread::Run, &second, 0, nullptr)};
  ASSERT_TRUE(threads[0] && threads[1]);
  WaitForMultipleObjects(2, threads, TRUE, INFINITE);
  CloseHandle(threads[0]);
  CloseHandle(threads[1]);
  Send("WatchFolder0");
  Send("WatchFolders_Timer");

  // Every new file exactly once, and the scan log is whole.
  constexpr int kRounds = HostThread::kRounds;
  const std::string changes = ReadBytes(logs_ + "fldrscan.out");
  std::vector<std::string> expected;
  for (char tag : {'x', 'y'}) {
    for (int round = 0; round < kRounds; ++round) {
      const std::string line = music + "\\" + tag + std::to_string(round) + ".mp3\r\n";
      size_t count = 0;
      for (size_t at = changes.find(line); at != std::string::npos; at = changes.find(line, at + 1)) {
        ++count;
      }
      EXPECT_EQ(1u, count) << line;
    }
  }
  const std::string log = ReadBytes(ScanLog(music));
  EXPECT_EQ(2u * kRounds + 2u, static_cast<size_t>(std::count(log.begin(), log.end(), '\n')));
}

TEST_F(PluginTest, EmptyFolderIsSkippedAndNothingIsScannedInItsPlace) {
  Configure(logs_, 2);
  const std::string music = MakeMusic();
  SetRegString(Subkey(0), "Folder", "");
  SetRegDword(Subkey(0), "Dirty", 1);
  AddFolder(1, music, 1);

  for (const char* event : {"WatchFolders_Timer", "WatchFolders_InitLogs"}) {
    Send(event);
    EXPECT_EQ(std::vector<std::string>{ScanLogStem(music) + "scan.log"}, NumberedFolderLogs()) << event;
    EXPECT_EQ(1, GetRegDword(Subkey(0), "Dirty")) << event;
    EXPECT_TRUE(ListFolder(cwd_).empty()) << event;
  }
}

TEST_F(PluginTest, FolderTooLongForTheLogNamesIsSkipped) {
  Configure(logs_, 2);
  const std::string music = MakeMusic();
  // 300 characters: within the 512-byte registry buffer, beyond the 259 of a scan-log stem.
  const std::string long_folder = "C:\\" + std::string(297, 'x');
  AddFolder(0, long_folder, 1);
  AddFolder(1, music, 1);
  Send("WatchFolders_Timer");
  EXPECT_EQ(1, GetRegDword(Subkey(0), "Dirty"));
  EXPECT_EQ(0, GetRegDword(Subkey(1), "Dirty"));
  EXPECT_EQ(std::vector<std::string>{ScanLogStem(music) + "scan.log"}, NumberedFolderLogs());

  Send("Purge:" + long_folder);
  EXPECT_FALSE(PathExists(logs_ + "fldrscan2.out"));
}

TEST_F(PluginTest, LogPathThatDoesNotFitIsNeverReplacedByTheCurrentDirectory) {
  const std::string music = MakeMusic();
  AddFolder(0, music, 1);
  SetRegDword(kWatchFolders, "NumFolders", 1);

  // Too long for the refresh's 512 bytes: no folder can be logged, none is touched.
  SetRegString(kWatchFolders, "LogPath", Temp(std::string(600, 'p')) + "\\");
  Send("WatchFolders_InitLogs");
  Send("WatchFolders_Timer");
  Send("Purge:" + music);
  EXPECT_TRUE(ListFolder(cwd_).empty());
  EXPECT_EQ(1, GetRegDword(Subkey(0), "Dirty"));

  // 300 characters: too long for the purge's 260 bytes.
  SetRegString(kWatchFolders, "LogPath", Temp(std::string(300, 'p')) + "\\");
  Send("Purge:" + music);
  EXPECT_TRUE(ListFolder(cwd_).empty());
}

TEST_F(PluginTest, WithoutLogPathTheFilesGoToTheCurrentDirectory) {
  SetRegDword(kWatchFolders, "NumFolders", 1);
  const std::string music = MakeMusic();
  AddFolder(0, music, 1);
  Send("WatchFolders_Timer");
  EXPECT_EQ(MusicLog(music), ReadBytes(cwd_ + "\\" + ScanLogStem(music) + "scan.log"));
}

// ---- the exempt folder ----------------------------------------------------------------------

TEST_F(PluginTest, ExemptFolderIsSkippedInEveryFolderTheEventWalks) {
  Configure(logs_, 2);
  const std::string first = MakeMusic("first");
  const std::string second = MakeMusic("second");
  AddFolder(0, first, 1);
  AddFolder(1, second, 1);
  SetRegString(kPreferences, "ExemptWatch", second + "\\LIVE");
  Send("WatchFolders_InitLogs");
  EXPECT_EQ(MusicLog(first), ReadBytes(ScanLog(first)));
  EXPECT_EQ(second + "\\a.mp3\r\n", ReadBytes(ScanLog(second)));
  SetRegString(kPreferences, "ExemptWatch", first);
  SetRegDword(Subkey(0), "Dirty", 1);
  SetRegDword(Subkey(1), "Dirty", 1);
  Send("WatchFolders_Timer");
  EXPECT_EQ("", ReadBytes(ScanLog(first))) << "the next event reads the setting again";
  EXPECT_EQ(MusicLog(second), ReadBytes(ScanLog(second)));
}

TEST_F(PluginTest, PreferencesKeyIsMadeByAWalkAndByNothingElse) {
  // Nothing dirty, no folder: a timer walks nothing and leaves the registry as it was.
  Send("WatchFolders_Timer");
  EXPECT_FALSE(KeyExists(kPreferences));
  Send("Purge:" + MakeMusic());
  EXPECT_FALSE(KeyExists(kPreferences)) << "a purge walks nothing";
  // The init walks the pictures folder (its logs go to the current directory without a
  // "LogPath"), and the exempt folder is read for it with the key created as it always was.
  Send("WatchFolders_InitLogs");
  EXPECT_TRUE(KeyExists(kPreferences));
}

// ---- the pictures folder ---------------------------------------------------------------------


class PicturesTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    CreateDirectoryA((pictures_ + "\\2026").c_str(), nullptr);
    for (const char* file : {"beach.jpg", "notes.txt", "2026\\harbour.png", "song.mp3"}) {
      WriteBytes(pictures_ + "\\" + file, "data");
    }
    Configure(logs_, 0);
  }
  std::string Changes() const { return ReadBytes(logs_ + "fldrscan2.out"); }
  std::string Picture(const char* name) const { return pictures_ + "\\" + name + "\r\n"; }
};

TEST_F(PicturesTest, InitReportsEveryPictureAsAddedAndClearsTheFlag) {
  SetRegDword(kPicturesSubkey, "Dirty", 1);
  CreateDirectoryA(logs_.c_str(), nullptr);
  Send("WatchFolders_InitLogs");
  // Only the image list counts here: the song and the text file are not pictures.
  EXPECT_EQ(Picture("beach.jpg") + Picture("2026\\harbour.png"), Changes());
  EXPECT_EQ(Picture("beach.jpg") + Picture("2026\\harbour.png"), ReadBytes(ScanLog(pictures_)));
  EXPECT_EQ("", ReadBytes(PreviousLog(pictures_)));
  EXPECT_EQ(0, GetRegDword(kPicturesSubkey, "Dirty"));
}

TEST_F(PicturesTest, InitWithoutTheLogFolderCreatesItAndReportsNothing) {
  Send("WatchFolders_InitLogs");
  EXPECT_EQ(Picture("beach.jpg") + Picture("2026\\harbour.png"), ReadBytes(ScanLog(pictures_)));
  EXPECT_FALSE(PathExists(logs_ + "fldrscan2.out"));
}

TEST_F(PicturesTest, TimerReportsAdditionsThenRemovalsOnlyWhenDirty) {
  CreateDirectoryA(logs_.c_str(), nullptr);
  Send("WatchFolders_InitLogs");
  const std::string after_init = Changes();
  WriteBytes(pictures_ + "\\new.png", "data");
  DeleteFileA((pictures_ + "\\beach.jpg").c_str());

  Send("WatchFolders_Timer");  // not dirty: nothing happens
  EXPECT_EQ(after_init, Changes());

  Send("WatchFolderPicture");
  EXPECT_EQ(1, GetRegDword(kPicturesSubkey, "Dirty"));
  Send("WatchFolders_Timer");
  EXPECT_EQ(after_init + Picture("new.png") + "-" + Picture("beach.jpg"), Changes());
  EXPECT_EQ(0, GetRegDword(kPicturesSubkey, "Dirty"));
}

TEST_F(PicturesTest, SkipFolderScanKeepsThePicturesFlagSoEveryTimerRescans) {
  CreateDirectoryA(logs_.c_str(), nullptr);
  Send("WatchFolders_InitLogs");
  const std::string after_init = Changes();
  SetRegDword(kPicturesSubkey, "Dirty", 1);
  SetRegDword(kPreferences, "SkipFolderScan", 1);
  WriteBytes(pictures_ + "\\one.jpg", "data");
  Send("WatchFolders_Timer");
  WriteBytes(pictures_ + "\\two.jpg", "data");
  Send("WatchFolders_Timer");
  EXPECT_EQ(after_init + Picture("one.jpg") + Picture("two.jpg"), Changes());
  EXPECT_EQ(1, GetRegDword(kPicturesSubkey, "Dirty"));
}

TEST_F(PicturesTest, WithoutAnImageListEveryPictureOfTheLastScanIsReportedRemoved) {
  CreateDirectoryA(logs_.c_str(), nullptr);
  WriteBytes(ScanLog(pictures_), Picture("beach.jpg"));
  formats_.reset();
  formats_ = std::make_unique<FormatsIni>("[searchpatterns]\r\next1=*.mp3\r\n");
  SetRegDword(kPicturesSubkey, "Dirty", 1);
  Send("WatchFolders_Timer");
  EXPECT_EQ("", ReadBytes(ScanLog(pictures_)));
  EXPECT_EQ("-" + Picture("beach.jpg"), Changes());
}


// The pictures folder watched as a numbered folder too, written as the host may write it: its two
// refreshes keep logs of their own, so neither reads the other's lines as files that came or went.
class PicturesAlsoNumbered : public PicturesTest, public ::testing::WithParamInterface<bool> {
 protected:
  // WatchFolder0's text: the pictures path itself, or in upper case with a trailing backslash.
  std::string NumberedText() const {
    if (!GetParam()) return pictures_;
    std::string text = pictures_ + "\\";
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return text;
  }
  std::string Song(const char* name) const {
    const std::string folder = NumberedText();
    return folder + (folder.back() == '\\' ? "" : "\\") + name + "\r\n";
  }
  void RefreshBoth() {
    Send("WatchFolder0");
    Send("WatchFolderPicture");
    Send("WatchFolders_Timer");
  }
  std::string Songs() const { return ReadBytes(logs_ + "fldrscan.out"); }
};

TEST_P(PicturesAlsoNumbered, EachRefreshReportsOnlyItsOwnChangesOnce) {
  Configure(logs_, 1);
  AddFolder(0, NumberedText(), 0);
  CreateDirectoryA(logs_.c_str(), nullptr);
  Send("WatchFolders_InitLogs");
  const std::string pictures_at_init = Picture("beach.jpg") + Picture("2026\\harbour.png");
  ASSERT_EQ(pictures_at_init, Changes());
  EXPECT_FALSE(PathExists(logs_ + "fldrscan.out"));

  WriteBytes(pictures_ + "\\new.jpg", "data");
  WriteBytes(pictures_ + "\\new.mp3", "data");
  RefreshBoth();
  EXPECT_EQ(Song("new.mp3"), Songs());
  EXPECT_EQ(pictures_at_init + Picture("new.jpg"), Changes());

  // Nothing changed on disk: nothing more is reported by either refresh, however often they run.
  RefreshBoth();
  RefreshBoth();
  EXPECT_EQ(Song("new.mp3"), Songs());
  EXPECT_EQ(pictures_at_init + Picture("new.jpg"), Changes());

  // What really went is reported once, as a removal of a picture; songs report additions only.
  DeleteFileA((pictures_ + "\\beach.jpg").c_str());
  DeleteFileA((pictures_ + "\\song.mp3").c_str());
  RefreshBoth();
  RefreshBoth();
  EXPECT_EQ(Song("new.mp3"), Songs());
  EXPECT_EQ(pictures_at_init + Picture("new.jpg") + "-" + Picture("beach.jpg"), Changes());
  EXPECT_EQ(0, GetRegDword(kFolder0, "Dirty"));
  EXPECT_EQ(0, GetRegDword(kPicturesSubkey, "Dirty"));
}

INSTANTIATE_TEST_SUITE_P(SameFolder, PicturesAlsoNumbered, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "OtherCaseWithBackslash" : "SameText";
                         });

}  // namespace
