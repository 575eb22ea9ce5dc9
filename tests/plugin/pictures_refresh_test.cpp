// The pictures refresh when the system knows of no pictures folder at all: no preference, no
// shell module, no classic folder. No Wine prefix lacks one, so the lookup's platform table is
// replaced by one where every call fails.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "plugin/exemptwatch.h"
#include "plugin/refresh.h"
#include "platform_override.h"
#include "shellfolders/widestring.h"
#include "testfiles.h"
#include "testregistry.h"

namespace {

const std::string kPicturesKey =
    "Software\\Norvane\\Tamblin\\1.0\\Preferences\\WatchFolders\\WatchFolderPicture";

LSTATUS NoPreference(HKEY, const wchar_t*, const wchar_t*, WideString&) {
  return ERROR_FILE_NOT_FOUND;
}
HMODULE WINAPI NoModule(const char*) {
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}
HRESULT WINAPI NoFolder(HWND, int, HANDLE, DWORD, char*) { return E_FAIL; }

class NoPicturesFolder : public NorvaneRegistryTest {
 protected:
  void SetUp() override {
    NorvaneRegistryTest::SetUp();
    platform_ = GetMediaFolderPlatform();
    platform_.readRegistryStringW = NoPreference;
    platform_.loadLibraryA = NoModule;
    platform_.shGetFolderPathA = NoFolder;
    UseMediaFolderPlatform(&platform_);
    temp_ = std::make_unique<TempFolder>("nopictures");
    logs_ = *temp_ / "logs\\";
    CreateDirectoryA(logs_.c_str(), nullptr);
  }
  void TearDown() override {
    UseMediaFolderPlatform(nullptr);
    temp_.reset();
    NorvaneRegistryTest::TearDown();
  }

  MediaFolderPlatform platform_{};
  std::unique_ptr<TempFolder> temp_;
  std::string logs_;
};

TEST_F(NoPicturesFolder, FlagKeepsItsValueAndNothingIsWritten) {
  for (bool init_mode : {false, true}) {
    SetRegDword(kPicturesKey, "Dirty", 1);
    ExemptWatchSetting exempt;
    RefreshPicturesFolder(logs_.c_str(), init_mode, &exempt);
    EXPECT_EQ(1, GetRegDword(kPicturesKey, "Dirty")) << init_mode;
    EXPECT_TRUE(ListFolder(logs_).empty()) << init_mode;
  }
}

}  // namespace
