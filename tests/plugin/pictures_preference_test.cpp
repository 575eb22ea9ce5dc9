// A pictures preference that names no usable folder, through the loaded plug-in: the refresh
// must watch the default pictures folder instead, not the unusable path (which lists nothing).
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "plugindll.h"
#include "testfiles.h"
#include "testregistry.h"

namespace {

class PicturesPreferenceTest : public PluginHostTest {
 protected:
  void SetUp() override {
    PluginHostTest::SetUp();
    if (HasFatalFailure()) return;
    char folder[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) {
      GTEST_SKIP() << "this prefix has no default pictures folder";
    }
    default_ = folder;
    // A name of this process's own, so pictures other tests left there do not matter.
    picture_ = default_ + "\\preference-" + std::to_string(GetCurrentProcessId()) + ".jpg";
    ASSERT_TRUE(WriteBytes(picture_, "data"));
    logs_ = Temp("logs\\");
    CreateDirectoryA(logs_.c_str(), nullptr);
    SetRegString(kWatchFolders, "LogPath", logs_);
    SetRegDword(kWatchFolders, "NumFolders", 0);
    SetRegDword(kPicturesSubkey, "Dirty", 1);
  }
  void TearDown() override {
    if (!picture_.empty()) DeleteFileA(picture_.c_str());
    PluginHostTest::TearDown();
  }

  std::string default_;
  std::string picture_;
  std::string logs_;
};

TEST_F(PicturesPreferenceTest, PreferenceNamingNoUsableFolderGivesTheDefaultFolder) {
  const std::string drive = UnmappedDrive();
  ASSERT_FALSE(drive.empty());
  for (const std::string& preference : {drive + "\\", std::string("\\\\nosuchsrv\\")}) {
    DeleteFileA((logs_ + "fldrscan2.out").c_str());
    DeleteFileA((logs_ + ScanLogStem(default_) + "scan.log").c_str());
    SetRegString(kPicturesPreference, "", preference);
    SetRegDword(kPicturesSubkey, "Dirty", 1);
    Send("WatchFolders_InitLogs");
    const std::string changes = ReadBytes(logs_ + "fldrscan2.out");
    EXPECT_NE(changes.find(picture_ + "\r\n"), std::string::npos)
        << preference << " gave the change list:\n" << changes;
    EXPECT_EQ(0, GetRegDword(kPicturesSubkey, "Dirty")) << preference;
  }
}

}  // namespace
