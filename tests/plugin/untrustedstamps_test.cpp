// Directory stamps that can lie, through the DLL: a quick rescan must never trust one.
//
// Where a stamp may not move although the directory's entries did (links, junctions and mount
// points, whose own times are not their target's; shares, whose times any tool may set back and
// whose clock is the server's), every refresh must still report what a full walk reports. The
// stamps are real Wine stamps, or as Windows and Samba give them through StampModel.
// - LinkBackUpTest: a link to a folder outside the library whose target is later replaced by a
//   link back into the library, with quick rescans and without: the link is left out, and what
//   was found through it is gone from the scan log (and reported removed for the pictures folder).
// - UntrustedStampsTest: a watched folder that is itself a link; an empty folder that becomes a
//   mount point, or a junction back up, where it stands.
// - ShareTest: shares of every kind, with folder times set back by a tool and
//   with a server clock that is behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <ostream>
#include <string>

#include "directorylink.h"
#include "plugindll.h"
#include "stampmodel.h"
#include "testfiles.h"
#include "testregistry.h"
#include "uncshare.h"

namespace {

constexpr LONGLONG kHour = 36000000000LL;

class StampsTestBase : public PluginHostTest {
 protected:
  void SetUp() override {
    PluginHostTest::SetUp();
    if (HasFatalFailure()) return;
    ResetStampRules();
    model_ = std::make_unique<StampModel>(dll_->Module());
    ASSERT_TRUE(model_->Applied()) << "the plug-in imports neither GetProcAddress nor GetDriveTypeA";
    logs_ = Temp("logs") + "\\";
    SetRegString(kWatchFolders, "LogPath", logs_);
    SetRegDword(kWatchFolders, "NumFolders", 1);
    Watch(Temp("Music"));
  }
  void TearDown() override {
    model_.reset();
    ResetStampRules();
    PluginHostTest::TearDown();
  }

  void Watch(const std::string& folder) {
    music_ = folder;
    SetRegString(kFolder0, "Folder", music_);
  }
  // A timer event with the watched folder and the pictures folder dirty.
  void Timer() {
    SetRegDword(kFolder0, "Dirty", 1);
    SetRegDword(kPicturesSubkey, "Dirty", 1);
    Send("WatchFolders_Timer");
  }
  // Stamps younger than two seconds are never trusted: a tree just made ages first, so that the
  // first walk's records serve the quick rescans after it.
  static void Age() { Sleep(2500); }

  std::string ScanLog(const std::string& folder) const { return ReadBytes(logs_ + ScanLogStem(folder) + "scan.log"); }
  std::string Changes(const char* list = "fldrscan.out") const {
    const std::string bytes = ReadBytes(logs_ + list);
    return bytes == "<missing>" ? "" : bytes;
  }
  bool Reported(const std::string& path) const { return Changes().find(path + "\r\n") != std::string::npos; }

  std::unique_ptr<StampModel> model_;
  std::string logs_;
  std::string music_;
};

// ---- a link that comes to lead back up --------------------------------------------------------

class LinkBackUpTest : public StampsTestBase, public ::testing::WithParamInterface<bool> {};

TEST_P(LinkBackUpTest, IsLeftOutAndWhatWasFoundThroughItIsGone) {
  const bool quick = GetParam();
  if (!quick) SetRegDword(kWatchFolders, "QuickRescan", 0);
  WriteBytes(music_ + "\\A\\a.mp3", "x");
  WriteBytes(Temp("OutM\\m.mp3"), "x");
  WriteBytes(pictures_ + "\\Q\\q.jpg", "x");
  WriteBytes(Temp("OutP\\p.jpg"), "x");
  const DirectoryLink music_link(music_ + "\\A\\L", "../../OutM");
  const DirectoryLink pictures_link(pictures_ + "\\Q\\L", "../../OutP");
  if (!music_link.Made() || !pictures_link.Made()) GTEST_SKIP() << "no Linux symbolic links from this test";
  Age();
  Timer();
  ASSERT_EQ(music_ + "\\A\\a.mp3\r\n" + music_ + "\\A\\L\\m.mp3\r\n", ScanLog(music_));
  ASSERT_EQ(pictures_ + "\\Q\\q.jpg\r\n" + pictures_ + "\\Q\\L\\p.jpg\r\n", ScanLog(pictures_));

  // Each outside folder is replaced by a link back to the folder it was linked from. Nothing in
  // the library changed, so no stamp there moved.
  ASSERT_TRUE(MoveFileA(Temp("OutM").c_str(), Temp("OutM.old").c_str()));
  ASSERT_TRUE(MoveFileA(Temp("OutP").c_str(), Temp("OutP.old").c_str()));
  const DirectoryLink music_back(Temp("OutM"), "Music");
  const DirectoryLink pictures_back(Temp("OutP"), "Pictures");
  ASSERT_TRUE(music_back.Made() && pictures_back.Made());
  const std::string pictures_before = Changes("fldrscan2.out");
  Timer();
  EXPECT_EQ("", Changes()) << "a link that leads back up lists nothing";
  EXPECT_EQ(music_ + "\\A\\a.mp3\r\n", ScanLog(music_));
  EXPECT_EQ(pictures_ + "\\Q\\q.jpg\r\n", ScanLog(pictures_));
  EXPECT_EQ(pictures_before + "-" + pictures_ + "\\Q\\L\\p.jpg\r\n", Changes("fldrscan2.out"));
}

INSTANTIATE_TEST_SUITE_P(Walks, LinkBackUpTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "QuickRescans" : "FullWalks";
                         });

// ---- links and mount points as Windows answers for them ----------------------------------------

using UntrustedStampsTest = StampsTestBase;

TEST_F(UntrustedStampsTest, WatchedFolderThatIsALinkIsListedEveryTime) {
  g_stamp_rules.links_keep_own_times = true;
  WriteBytes(Temp("Real\\Al\\a.mp3"), "x");
  const DirectoryLink root(music_, "Real");
  if (!root.Made()) GTEST_SKIP() << "no Linux symbolic links from this test";
  Age();
  Timer();
  ASSERT_EQ(music_ + "\\Al\\a.mp3\r\n", ScanLog(music_));
  WriteBytes(Temp("Real\\top.mp3"), "x");
  WriteBytes(Temp("Real\\Bo\\b.mp3"), "x");
  WriteBytes(Temp("Real\\Al\\a2.mp3"), "x");
  Timer();
  EXPECT_TRUE(Reported(music_ + "\\top.mp3"));
  EXPECT_TRUE(Reported(music_ + "\\Bo\\b.mp3"));
  EXPECT_TRUE(Reported(music_ + "\\Al\\a2.mp3"));
  EXPECT_GT(g_stamp_reads, 0) << "the plug-in read no directory stamp through the model";
}

TEST_F(UntrustedStampsTest, EmptyFolderMadeAMountPointWhereItStandsIsNeverTrusted) {
  g_stamp_rules.links_keep_own_times = true;
  WriteBytes(music_ + "\\Al\\a.mp3", "x");
  MakeFolder(music_ + "\\Empty");
  WriteBytes(Temp("Drive\\d.mp3"), "x");
  WriteBytes(Temp("Drive\\Sub\\s.mp3"), "x");
  Age();
  Timer();
  // A drive is mounted in the empty folder: the folder turns into a mount point where it stands,
  // and no entry of Music is added or removed, so Music's stamp stays as it was. The drive is
  // FAT, whose directories' stamps do not follow their entries.
  PinStamp(music_);
  PinStamp(music_ + "\\Empty\\Sub");
  ASSERT_TRUE(RemoveDirectoryA((music_ + "\\Empty").c_str()));
  const DirectoryLink mount(music_ + "\\Empty", "../Drive");
  if (!mount.Made()) GTEST_SKIP() << "no Linux symbolic links from this test";
  Timer();
  EXPECT_TRUE(Reported(music_ + "\\Empty\\d.mp3"));
  EXPECT_TRUE(Reported(music_ + "\\Empty\\Sub\\s.mp3"));
  Age();
  WriteBytes(Temp("Drive\\later.mp3"), "x");
  WriteBytes(Temp("Drive\\Sub\\later.mp3"), "x");
  Timer();
  EXPECT_TRUE(Reported(music_ + "\\Empty\\later.mp3")) << "the mount point was trusted as the folder it was";
  EXPECT_TRUE(Reported(music_ + "\\Empty\\Sub\\later.mp3")) << "a folder below a mount point was trusted";
}

// The same made over an empty folder, but leading back to the library: left out as a listing
// would leave it out, though the record of its parent knows it as a plain folder.
TEST_F(UntrustedStampsTest, EmptyFolderMadeAJunctionBackUpWhereItStandsIsLeftOut) {
  g_stamp_rules.links_keep_own_times = true;
  WriteBytes(music_ + "\\Al\\a.mp3", "x");
  MakeFolder(music_ + "\\Al\\Empty");
  Age();
  Timer();
  PinStamp(music_ + "\\Al");
  ASSERT_TRUE(RemoveDirectoryA((music_ + "\\Al\\Empty").c_str()));
  const DirectoryLink junction(music_ + "\\Al\\Empty", "..");
  if (!junction.Made()) GTEST_SKIP() << "no Linux symbolic links from this test";
  Timer();
  EXPECT_EQ("", Changes());
  EXPECT_EQ(music_ + "\\Al\\a.mp3\r\n", ScanLog(music_));
}

// ---- shares -------------------------------------------------------------------------------------

enum class ShareKind { kMappedDrive, kLinkIntoShare, kUnc };
enum class ShareLie { kToolRestoresFolderTime, kServerClockBehind };

struct ShareCase {
  const char* name;
  ShareKind kind;
  ShareLie lie;
};

// The write time of a directory, and setting it back.
bool GetDirectoryTime(const std::string& path, FILETIME* time) {
  const HANDLE directory = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (directory == INVALID_HANDLE_VALUE) return false;
  const bool read = GetFileTime(directory, nullptr, nullptr, time);
  CloseHandle(directory);
  return read;
}
bool SetDirectoryTime(const std::string& path, const FILETIME& time) {
  const HANDLE directory = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (directory == INVALID_HANDLE_VALUE) return false;
  const bool set = SetFileTime(directory, nullptr, nullptr, &time);
  CloseHandle(directory);
  return set;
}

void PrintTo(const ShareCase& c, std::ostream* out) { *out << c.name; }

class ShareTest : public StampsTestBase, public ::testing::WithParamInterface<ShareCase> {};

// Samba's defaults: the share calls itself NTFS and a directory's change time is its write time.
TEST_P(ShareTest, EveryRefreshIsAFullWalk) {
  const ShareCase& c = GetParam();
  g_stamp_rules.change_follows_write = true;
  std::unique_ptr<UncShare> share;
  std::string local = music_;  // the folder's files, as this test writes them
  switch (c.kind) {
    case ShareKind::kMappedDrive:
      g_stamp_rules.remote_drive = true;
      break;
    case ShareKind::kLinkIntoShare:
      // A fixed drive, but the folder's device is a network file system.
      g_stamp_rules.remote_device = true;
      break;
    case ShareKind::kUnc:
      share = std::make_unique<UncShare>();
      if (!share->Available()) GTEST_SKIP() << "no UNC share here";
      Watch(share->Unc() + "\\Music");
      local = share->Local() + "\\Music";
      break;
  }
  if (c.lie == ShareLie::kServerClockBehind) g_stamp_rules.clock_offset = -kHour;
  WriteBytes(local + "\\Al\\a.mp3", "x");
  WriteBytes(local + "\\Bo\\b.mp3", "x");
  Age();
  Timer();
  ASSERT_EQ(music_ + "\\Al\\a.mp3\r\n" + music_ + "\\Bo\\b.mp3\r\n", ScanLog(music_));

  if (c.lie == ShareLie::kToolRestoresFolderTime) {
    // A copy tool adds a file and sets the folder's time back to what it was (robocopy /DCOPY:T,
    // rsync -a, an archive extractor).
    FILETIME before;
    ASSERT_TRUE(GetDirectoryTime(local + "\\Al", &before));
    WriteBytes(local + "\\Al\\added.mp3", "x");
    ASSERT_TRUE(SetDirectoryTime(local + "\\Al", before));
  } else {
    // A file added just now: by the server's clock, an hour ago. Listed, then a second file in
    // the same tick of the server's clock, which leaves the stamp as it was.
    WriteBytes(local + "\\Al\\first.mp3", "x");
    Timer();
    ASSERT_TRUE(Reported(music_ + "\\Al\\first.mp3"));
    PinStamp(music_ + "\\Al");
    WriteBytes(local + "\\Al\\added.mp3", "x");
  }
  Timer();
  EXPECT_TRUE(Reported(music_ + "\\Al\\added.mp3"));
  EXPECT_NE(std::string::npos, ScanLog(music_).find(music_ + "\\Al\\added.mp3\r\n"));
}

const ShareCase kShareCases[] = {
    {"MappedDriveToolRestoresFolderTime", ShareKind::kMappedDrive, ShareLie::kToolRestoresFolderTime},
    {"LinkIntoShareToolRestoresFolderTime", ShareKind::kLinkIntoShare, ShareLie::kToolRestoresFolderTime},
    {"UncPathToolRestoresFolderTime", ShareKind::kUnc, ShareLie::kToolRestoresFolderTime},
    {"MappedDriveServerClockBehind", ShareKind::kMappedDrive, ShareLie::kServerClockBehind},
};

INSTANTIATE_TEST_SUITE_P(Shares, ShareTest, ::testing::ValuesIn(kShareCases),
                         [](const ::testing::TestParamInfo<ShareCase>& param) { return param.param.name; });

}  // namespace
