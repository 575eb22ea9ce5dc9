// The refresh through the DLL when the world is not as it should be: a watched folder that cannot
// be reached, a directory inside one that cannot be listed, a change list held by someone else.
// None of them may cost a change or report a present file as gone.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "importpatch.h"
#include "plugindll.h"
#include "testfiles.h"
#include "testregistry.h"

namespace {

// Listings of the directory named here (its search text, "...\dir\*") fail as access denied,
// whichever of the two listing calls the plug-in makes.
std::string g_unlistable;

bool IsUnlistable(const std::string& search) {
  return !g_unlistable.empty() && _stricmp(search.c_str(), (g_unlistable + "\\*").c_str()) == 0;
}

HANDLE WINAPI FailingFindFirstFileA(LPCSTR search, LPWIN32_FIND_DATAA data) {
  if (IsUnlistable(search)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return FindFirstFileA(search, data);
}

HANDLE WINAPI FailingFindFirstFileW(LPCWSTR search, LPWIN32_FIND_DATAW data) {
  char narrow[MAX_PATH * 2] = {};
  WideCharToMultiByte(CP_ACP, 0, search, -1, narrow, sizeof(narrow), nullptr, nullptr);
  if (IsUnlistable(narrow)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return FindFirstFileW(search, data);
}

class ReliabilityTest : public PluginHostTest {
 protected:
  void SetUp() override {
    PluginHostTest::SetUp();
    logs_ = *temp_ / "logs\\";
    CreateDirectoryA(logs_.c_str(), nullptr);
    music_ = *temp_ / "music";
    CreateDirectoryA(music_.c_str(), nullptr);
    WriteBytes(music_ + "\\a.mp3", "data");
    CreateDirectoryA((pictures_ + "\\2026").c_str(), nullptr);
    WriteBytes(pictures_ + "\\beach.jpg", "data");
    WriteBytes(pictures_ + "\\2026\\harbour.png", "data");
    SetRegString(kWatchFolders, "LogPath", logs_);
    SetRegDword(kWatchFolders, "NumFolders", 1);
    SetRegString(kFolder0, "Folder", music_);
    SetRegDword(kFolder0, "Dirty", 0);
    Send("WatchFolders_InitLogs");
    ASSERT_EQ(Picture("beach.jpg") + Picture("2026\\harbour.png"), PictureChanges());
  }
  void TearDown() override {
    MakeListable();
    g_unlistable.clear();
    PluginHostTest::TearDown();
  }
  std::string FormatsContents() const override {
    return "[searchpatterns]\r\next1=*.mp3\r\n[image]\r\nimageext=*.jpg;*.png\r\n";
  }

  // From now on the directory cannot be listed inside the plug-in.
  void MakeUnlistable(const std::string& directory) {
    g_unlistable = directory;
    patch_ = std::make_unique<ImportPatch>(dll_->Module(), "kernel32.dll", "FindFirstFileA",
                                           reinterpret_cast<void*>(&FailingFindFirstFileA));
    wide_patch_ = std::make_unique<ImportPatch>(dll_->Module(), "kernel32.dll", "FindFirstFileW",
                                                reinterpret_cast<void*>(&FailingFindFirstFileW));
    ASSERT_TRUE(patch_->Applied() || wide_patch_->Applied());
  }
  void MakeListable() {
    patch_.reset();
    wide_patch_.reset();
  }

  std::string Log(const std::string& folder) const { return logs_ + ScanLogStem(folder) + "scan.log"; }
  std::string PreviousLog(const std::string& folder) const { return logs_ + ScanLogStem(folder) + "scan2.log"; }
  std::string Picture(const char* name) const { return pictures_ + "\\" + name + "\r\n"; }
  std::string PictureChanges() const { return ReadBytes(logs_ + "fldrscan2.out"); }
  std::string MusicChanges() const { return ReadBytes(logs_ + "fldrscan.out"); }
  long long Dirty(const std::string& subkey) const { return GetRegDword(subkey, "Dirty"); }

  std::unique_ptr<ImportPatch> patch_;
  std::unique_ptr<ImportPatch> wide_patch_;
  std::string logs_;
  std::string music_;
};

TEST_F(ReliabilityTest, UnreachableWatchFolderKeepsItsLogsAndStaysDirtyUntilItIsBack) {
  struct Case {
    const char* why;
    bool vanished;  // else a drive that is not there
  };
  for (const Case& c : {Case{"vanished folder", true}, Case{"missing drive", false}}) {
    SCOPED_TRACE(c.why);
    const std::string folder = c.vanished ? music_ : "Q:\\Music";
    if (c.vanished) {
      ASSERT_TRUE(DeleteTree(music_));
    } else {
      SetRegString(kFolder0, "Folder", folder);
      WriteBytes(Log(folder), folder + "\\a.mp3\r\n");
    }
    const std::string log = ReadBytes(Log(folder));
    ASSERT_NE("<missing>", log);
    Send("WatchFolder0");
    Send("WatchFolders_Timer");
    Send("WatchFolders_InitLogs");
    EXPECT_EQ(log, ReadBytes(Log(folder)));
    EXPECT_FALSE(PathExists(PreviousLog(folder)));
    EXPECT_FALSE(PathExists(logs_ + "fldrscan.out"));
    EXPECT_EQ(1, Dirty(kFolder0)) << "tried again at the next timer";
  }

  // Back, with one file more: reported at the next timer, and the flag is cleared.
  SetRegString(kFolder0, "Folder", music_);
  CreateDirectoryA(music_.c_str(), nullptr);
  WriteBytes(music_ + "\\a.mp3", "data");
  WriteBytes(music_ + "\\b.mp3", "data");
  Send("WatchFolders_Timer");
  EXPECT_EQ(music_ + "\\b.mp3\r\n", MusicChanges());
  EXPECT_EQ(0, Dirty(kFolder0));
}

TEST_F(ReliabilityTest, UnlistablePicturesFolderReportsNothingAndStaysDirty) {
  const std::string log = ReadBytes(Log(pictures_));
  const std::string previous = ReadBytes(PreviousLog(pictures_));
  MakeUnlistable(pictures_);
  Send("WatchFolderPicture");
  Send("WatchFolders_Timer");
  Send("WatchFolders_InitLogs");
  EXPECT_EQ(Picture("beach.jpg") + Picture("2026\\harbour.png"), PictureChanges()) << "no removal, no addition";
  EXPECT_EQ(log, ReadBytes(Log(pictures_)));
  EXPECT_EQ(previous, ReadBytes(PreviousLog(pictures_)));
  EXPECT_EQ(1, Dirty(kPicturesSubkey));

  MakeListable();
  Send("WatchFolders_Timer");
  EXPECT_EQ(Picture("beach.jpg") + Picture("2026\\harbour.png"), PictureChanges());
  EXPECT_EQ(0, Dirty(kPicturesSubkey));
}

TEST_F(ReliabilityTest, PicturesBelowAnUnlistableDirectoryAreNeverReportedRemoved) {
  MakeUnlistable(pictures_ + "\\2026");
  DeleteFileA((pictures_ + "\\beach.jpg").c_str());
  WriteBytes(pictures_ + "\\new.png", "data");
  const std::string after_init = PictureChanges();
  for (int round = 0; round < 2; ++round) {
    Send("WatchFolderPicture");
    Send("WatchFolders_Timer");
    EXPECT_EQ(after_init + Picture("new.png") + "-" + Picture("beach.jpg"), PictureChanges()) << round;
    EXPECT_NE(std::string::npos, ReadBytes(Log(pictures_)).find(Picture("2026\\harbour.png"))) << round;
  }

  // Listable again and the picture really gone: reported then.
  MakeListable();
  DeleteFileA((pictures_ + "\\2026\\harbour.png").c_str());
  Send("WatchFolderPicture");
  Send("WatchFolders_Timer");
  EXPECT_EQ(after_init + Picture("new.png") + "-" + Picture("beach.jpg") + "-" + Picture("2026\\harbour.png"),
            PictureChanges());
}

TEST_F(ReliabilityTest, ChangeListHeldElsewhereDelaysTheAdditionsInsteadOfLosingThem) {
  WriteBytes(logs_ + "fldrscan.out", "");
  WriteBytes(music_ + "\\b.mp3", "data");
  HANDLE lock = CreateFileA((logs_ + "fldrscan.out").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  Send("WatchFolder0");
  Send("WatchFolders_Timer");
  CloseHandle(lock);
  EXPECT_EQ("", MusicChanges());
  EXPECT_EQ(1, Dirty(kFolder0));

  Send("WatchFolders_Timer");
  EXPECT_EQ(music_ + "\\b.mp3\r\n", MusicChanges());
  EXPECT_EQ(0, Dirty(kFolder0));
}

}  // namespace
