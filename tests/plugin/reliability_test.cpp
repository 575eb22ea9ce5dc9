// The refresh through the DLL when the world is not as it should be: a watched folder that cannot
// be reached, a directory inside one that cannot be listed or whose listing stops half-way, an
// empty drive, a device that refuses to flush, a change list held by someone else or torn by a
// killed host. None of them may cost a change or report a present file as gone.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "importpatch.h"
#include "listingfault.h"
#include "plugindll.h"
#include "testfiles.h"
#include "testregistry.h"

namespace {

// FlushFileBuffers fails with this error when it is not 0.
DWORD g_flush_error = 0;

BOOL WINAPI FailingFlushFileBuffers(HANDLE file) {
  if (g_flush_error == 0) return FlushFileBuffers(file);
  SetLastError(g_flush_error);
  return FALSE;
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
    g_flush_error = 0;
    PluginHostTest::TearDown();
  }
  std::string FormatsContents() const override {
    return "[searchpatterns]\r\next1=*.mp3\r\n[image]\r\nimageext=*.jpg;*.png\r\n";
  }

  // From now on the directory cannot be listed inside the plug-in: access denied, unless the
  // test names another error.
  void MakeUnlistable(const std::string& directory, DWORD error = ERROR_ACCESS_DENIED) {
    Listings().FailListing(directory, error);
  }
  // From now on the listing of the directory inside the plug-in stops after its first entry.
  void MakeListingDrop(const std::string& directory) { Listings().StopListingAfterFirstEntry(directory); }
  void MakeListable() {
    listing_fault_.reset();
    flush_patch_.reset();
  }
  // From now on the plug-in's FlushFileBuffers fails with the error.
  void MakeFlushFail(DWORD error) {
    g_flush_error = error;
    flush_patch_ = std::make_unique<ImportPatch>(dll_->Module(), "kernel32.dll", "FlushFileBuffers",
                                                 reinterpret_cast<void*>(&FailingFlushFileBuffers));
    ASSERT_TRUE(flush_patch_->Applied());
  }

  std::string Log(const std::string& folder) const { return logs_ + ScanLogStem(folder) + "scan.log"; }
  std::string PreviousLog(const std::string& folder) const { return logs_ + ScanLogStem(folder) + "scan2.log"; }
  std::string Picture(const char* name) const { return pictures_ + "\\" + name + "\r\n"; }
  std::string PictureChanges() const { return ReadBytes(logs_ + "fldrscan2.out"); }
  std::string MusicChanges() const { return ReadBytes(logs_ + "fldrscan.out"); }
  long long Dirty(const std::string& subkey) const { return GetRegDword(subkey, "Dirty"); }

  ListingFault& Listings() {
    if (!listing_fault_) listing_fault_ = std::make_unique<ListingFault>(dll_->Module());
    return *listing_fault_;
  }

  std::unique_ptr<ListingFault> listing_fault_;
  std::unique_ptr<ImportPatch> flush_patch_;
  std::string logs_;
  std::string music_;
};

TEST_F(ReliabilityTest, UnreachableWatchFolderKeepsItsLogsAndIsRescannedWhenMarkedAgain) {
  struct Case {
    const char* why;
    bool vanished;  // else a drive that is not there
  };
  const std::string drive = UnmappedDrive();
  ASSERT_FALSE(drive.empty());
  for (const Case& c : {Case{"vanished folder", true}, Case{"missing drive", false}}) {
    SCOPED_TRACE(c.why);
    const std::string folder = c.vanished ? music_ : drive + "\\Music";
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
    // An offline share is not retried at every tick, where each try could cost a network time-out.
    EXPECT_EQ(0, Dirty(kFolder0));
  }

  // Back, with one file more, and marked again by the host: reported at the next timer.
  SetRegString(kFolder0, "Folder", music_);
  CreateDirectoryA(music_.c_str(), nullptr);
  WriteBytes(music_ + "\\a.mp3", "data");
  WriteBytes(music_ + "\\b.mp3", "data");
  Send("WatchFolder0");
  Send("WatchFolders_Timer");
  EXPECT_EQ(music_ + "\\b.mp3\r\n", MusicChanges());
  EXPECT_EQ(0, Dirty(kFolder0));
}

TEST_F(ReliabilityTest, UnlistablePicturesFolderReportsNothingAndKeepsItsLogs) {
  const std::string log = ReadBytes(Log(pictures_));
  const std::string previous = ReadBytes(PreviousLog(pictures_));
  MakeUnlistable(pictures_);
  WriteBytes(pictures_ + "\\new.png", "data");
  Send("WatchFolderPicture");
  Send("WatchFolders_Timer");
  Send("WatchFolders_InitLogs");
  EXPECT_EQ(Picture("beach.jpg") + Picture("2026\\harbour.png"), PictureChanges()) << "no removal, no addition";
  EXPECT_EQ(log, ReadBytes(Log(pictures_)));
  EXPECT_EQ(previous, ReadBytes(PreviousLog(pictures_)));
  EXPECT_EQ(0, Dirty(kPicturesSubkey));

  MakeListable();
  Send("WatchFolderPicture");
  Send("WatchFolders_Timer");
  EXPECT_EQ(Picture("beach.jpg") + Picture("2026\\harbour.png") + Picture("new.png"), PictureChanges());
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

TEST_F(ReliabilityTest, ListingThatStopsHalfWayKeepsWhatItDidNotReach) {
  // Wine lists ".", ".." and then the names in order: the listing stops before any picture.
  WriteBytes(pictures_ + "\\new.png", "data");
  WriteBytes(pictures_ + "\\2026\\later.jpg", "data");
  const std::string after_init = PictureChanges();
  struct Case {
    const char* why;
    std::string dropping;
    std::string reported;  // beyond what init reported
  };
  const Case cases[] = {
      {"the pictures folder itself: nothing is known, nothing changes", pictures_, ""},
      {"a subfolder: its pictures are kept, the rest is compared", pictures_ + "\\2026", Picture("new.png")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string log = ReadBytes(Log(pictures_));
    MakeListingDrop(c.dropping);
    Send("WatchFolderPicture");
    Send("WatchFolders_Timer");
    MakeListable();
    EXPECT_EQ(after_init + c.reported, PictureChanges()) << "no picture on disk is reported removed";
    EXPECT_NE(std::string::npos, ReadBytes(Log(pictures_)).find(Picture("2026\\harbour.png")));
  }
  // Whole again: what the dropped listing hid is reported.
  Send("WatchFolderPicture");
  Send("WatchFolders_Timer");
  EXPECT_EQ(after_init + Picture("new.png") + Picture("2026\\later.jpg"), PictureChanges());
}

TEST_F(ReliabilityTest, EmptyDriveRootIsAnEmptyFolder) {
  // The top of a drive has no "." or "..", so an empty one lists nothing and says "file not found".
  DeleteFileA((music_ + "\\a.mp3").c_str());
  MakeUnlistable(music_, ERROR_FILE_NOT_FOUND);
  Send("WatchFolder0");
  Send("WatchFolders_Timer");
  EXPECT_EQ("", ReadBytes(Log(music_)));
  EXPECT_EQ(0, Dirty(kFolder0));

  // A file put back is new.
  MakeListable();
  WriteBytes(music_ + "\\a.mp3", "data");
  Send("WatchFolder0");
  Send("WatchFolders_Timer");
  EXPECT_EQ(music_ + "\\a.mp3\r\n", MusicChanges());
}

TEST_F(ReliabilityTest, RefusedFlushIsNoFailedWrite) {
  struct Case {
    DWORD error;
    bool refused;  // the device does not offer the flush; else the flush failed
  };
  for (const Case& c : {Case{ERROR_INVALID_FUNCTION, true}, Case{ERROR_NOT_SUPPORTED, true},
                        Case{ERROR_IO_DEVICE, false}}) {
    SCOPED_TRACE(c.error);
    DeleteFileA((logs_ + "fldrscan.out").c_str());
    const std::string name = "added" + std::to_string(c.error) + ".mp3";
    WriteBytes(music_ + "\\" + name, "data");
    const std::string log = ReadBytes(Log(music_));
    MakeFlushFail(c.error);
    Send("WatchFolder0");
    Send("WatchFolders_Timer");
    MakeListable();
    if (c.refused) {
      EXPECT_EQ(music_ + "\\" + name + "\r\n", MusicChanges());
      EXPECT_NE(std::string::npos, ReadBytes(Log(music_)).find(name));
      EXPECT_EQ(0, Dirty(kFolder0));
    } else {
      // The new scan may not be on the disk: the old one stays and the folder stays dirty.
      EXPECT_EQ(log, ReadBytes(Log(music_)));
      EXPECT_EQ(1, Dirty(kFolder0));
      Send("WatchFolders_Timer");
      EXPECT_EQ(music_ + "\\" + name + "\r\n", MusicChanges());
      EXPECT_EQ(0, Dirty(kFolder0));
    }
  }
}

TEST_F(ReliabilityTest, FolderUnreachableAtInitIsReportedWholeOnceItIsBack) {
  // A second watched folder and a new pictures folder, neither scanned yet, unlistable at init.
  const std::string music2 = *temp_ / "music2";
  const std::string pictures2 = *temp_ / "pictures2";
  WriteBytes(music2 + "\\song.mp3", "data");
  WriteBytes(pictures2 + "\\sea.jpg", "data");
  SetRegDword(kWatchFolders, "NumFolders", 2);
  SetRegString(kWatchFolders + "\\WatchFolder1", "Folder", music2);
  MakeUnlistable(music2);
  Send("WatchFolders_InitLogs");
  MakeListable();
  EXPECT_EQ("", ReadBytes(Log(music2))) << "an empty scan to start from";

  SetRegString(kPicturesPreference, "", pictures2);
  const std::string before = PictureChanges();
  MakeUnlistable(pictures2);
  Send("WatchFolders_InitLogs");
  MakeListable();
  EXPECT_EQ("", ReadBytes(Log(pictures2))) << "an empty scan to start from";
  EXPECT_EQ(before, PictureChanges());
  EXPECT_EQ("<missing>", MusicChanges());

  Send("WatchFolder1");
  Send("WatchFolderPicture");
  Send("WatchFolders_Timer");
  EXPECT_EQ(music2 + "\\song.mp3\r\n", MusicChanges());
  EXPECT_EQ(before + pictures2 + "\\sea.jpg\r\n", PictureChanges());

  // A scan log that exists is still kept at init, reachable or not.
  const std::string log = ReadBytes(Log(music2));
  MakeUnlistable(music2);
  Send("WatchFolders_InitLogs");
  EXPECT_EQ(log, ReadBytes(Log(music2)));
}

TEST_F(ReliabilityTest, ChangeListIsOnlyEverAppendedTo) {
  // A host killed while writing left a last line without its end.
  const std::string torn = "C:\\partial";
  WriteBytes(logs_ + "fldrscan.out", torn);
  Send("WatchFolder0");
  Send("WatchFolders_Timer");
  EXPECT_EQ(torn, MusicChanges()) << "nothing to report, nothing written";

  WriteBytes(music_ + "\\b.mp3", "data");
  Send("WatchFolder0");
  Send("WatchFolders_Timer");
  EXPECT_EQ(torn + "\r\n" + music_ + "\\b.mp3\r\n", MusicChanges());
}

}  // namespace
