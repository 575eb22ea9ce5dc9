// The pictures-folder lookup against Wine's own registry and shell. Wine has no shell libraries,
// so its default location is the classic pictures folder (in the prefix's scratch home).
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shellfolders/comowners.h"
#include "shellfolders/picturesfolder.h"
#include "shellfolders/shell32dll.h"
#include "shellfolders/shellconstants.h"
#include "shellfolders/shellpaths.h"
#include "shellfolders/stringheapmanager.h"
#include "shellfolders_test_support.h"

namespace {

// FOLDERID_Pictures: the plain pictures folder, which Wine does know.
constexpr GUID kFolderIdPictures = {
    0x33E28130, 0x4E1E, 0x4676, {0x83, 0x5A, 0x98, 0x39, 0x5C, 0x3B, 0xC3, 0xBB}};

// The file-system path the shell reports for a path, asked without the code under test.
std::string ShellReportedPath(const std::string& path) {
  CoInitialize(nullptr);
  std::string reported;
  IShellItem* item = nullptr;
  if (SUCCEEDED(SHCreateItemFromParsingName(Widen(path).c_str(), nullptr, IID_IShellItem,
                                            reinterpret_cast<void**>(&item)))) {
    wchar_t* text = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &text)) && text) {
      reported = Narrow(text);
      CoTaskMemFree(text);
    }
    item->Release();
  }
  CoUninitialize();
  return reported;
}

// The classic pictures folder as the shell reports it.
std::string ClassicPicturesFolder() {
  char path[MAX_PATH] = {};
  if (SHGetFolderPathA(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) {
    return std::string();
  }
  return ShellReportedPath(path);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string PicturesFolder(HRESULT* result = nullptr) {
  WideString folder;
  const HRESULT answer = GetPicturesFolder(folder);
  if (result) *result = answer;
  return Narrow(folder.CStr());
}

class PicturesFolderOnWine : public NorvaneRegistryTest {
 protected:
  void SetUp() override {
    NorvaneRegistryTest::SetUp();
    classic_ = ClassicPicturesFolder();
    ASSERT_FALSE(classic_.empty()) << "the prefix has no classic pictures folder";
  }

  TempFolder temp_;
  std::string classic_;
};

TEST_F(PicturesFolderOnWine, ClassicPicturesFolderIsTheDefault) {
  HRESULT result = E_UNEXPECTED;
  EXPECT_EQ(PicturesFolder(&result), classic_);
  EXPECT_EQ(result, S_OK);
}

TEST_F(PicturesFolderOnWine, ExistingPreferenceFolderComesBackAsTheShellReportsIt) {
  MakeFolder(temp_ / "Existing");
  SetPicturesPreference(Lower(temp_ / "Existing") + "\\");
  EXPECT_EQ(PicturesFolder(), temp_ / "Existing");
}

TEST_F(PicturesFolderOnWine, MissingPreferenceFolderOnAnExistingDriveIsCreatedWithParents) {
  const std::string wanted = temp_ / "new\\deeper\\Pictures";
  SetPicturesPreference(wanted);
  EXPECT_EQ(PicturesFolder(), wanted);
  EXPECT_TRUE(IsDirectory(wanted));
}

TEST_F(PicturesFolderOnWine, UnusablePreferencesGiveTheClassicFolder) {
  MakeFolder(temp_ / "Existing");
  const std::wstring existing = Widen(temp_ / "Existing");
  const std::string drive = UnmappedDrive();
  ASSERT_FALSE(drive.empty());
  const std::wstring unmapped = Widen(drive + "\\Pictures\\New");
  // Thai KO KAI: in neither code page 1252 nor 932.
  const std::wstring unrepresentable = Widen(temp_.Path()) + L"\\\u0E01";
  struct Case {
    const char* what;
    DWORD type;
    std::wstring text;
    bool value;
  } cases[] = {
      {"path on an unmapped drive", REG_SZ, unmapped, true},
      {"root of an unmapped drive", REG_SZ, Widen(drive + "\\"), true},
      {"bare server", REG_SZ, L"\\\\nosuchsrv\\", true},
      {"REG_EXPAND_SZ naming an existing folder", REG_EXPAND_SZ, existing, true},
      {"empty default value", REG_SZ, L"", true},
      {"key without a default value", REG_SZ, L"", false},
      {"characters the code page lacks", REG_SZ, unrepresentable, true},
  };
  for (const Case& c : cases) {
    DeleteNorvaneKeys();
    if (c.value) {
      SetDefaultValue(kPicturesPreferenceKeyW, c.type, c.text.c_str(),
                      static_cast<DWORD>((c.text.size() + 1) * sizeof(wchar_t)));
    } else {
      HKEY key = nullptr;
      RegCreateKeyW(HKEY_CURRENT_USER, kPicturesPreferenceKeyW, &key);
      RegCloseKey(key);
    }
    EXPECT_EQ(PicturesFolder(), classic_) << c.what;
  }
  EXPECT_FALSE(IsDirectory(drive + "\\Pictures"));
}

TEST_F(PicturesFolderOnWine, DoubleBytePreferenceIsCreatedAndReturnedWhole) {
  if (GetACP() != 932) GTEST_SKIP() << "the ANSI code page is " << GetACP();
  const std::string wanted = temp_ / "\x83\x5C\\\x95\x5C";  // SO and table: trail byte 5C
  SetPicturesPreference(wanted);
  EXPECT_EQ(PicturesFolder(), wanted);
  EXPECT_TRUE(IsDirectory(wanted));
  EXPECT_EQ(PicturesFolder(), wanted);  // now through the shell's item route
}

TEST(ShellPathsOnWine, ExistingFolderResolvesThroughTheItemRouteAndMissingPathComesBackAsIs) {
  const TempFolder temp;
  MakeFolder(temp / "Folder");
  WideString out;
  ASSERT_EQ(ResolveFileSystemPath(WideString(Widen(Lower(temp / "Folder\\")).c_str()), out), S_OK);
  EXPECT_EQ(Narrow(out.CStr()), temp / "Folder");

  const std::wstring missing = Widen(temp / "missing\\Folder");
  WideString untouched(L"sentinel");
  EXPECT_EQ(GetItemFileSystemPath(missing.c_str(), untouched), E_FAIL);
  EXPECT_STREQ(untouched.CStr(), L"sentinel");
  ASSERT_EQ(ResolveFileSystemPath(WideString(missing.c_str()), out), S_OK);
  EXPECT_EQ(out.CStr(), missing);
}

TEST(ShellPathsOnWine, KnownFolderRouteWorksForPlainFoldersAndLibrariesFallBack) {
  WideString plain;
  ASSERT_EQ(GetKnownFolderParsingName(kFolderIdPictures, plain), S_OK);
  EXPECT_EQ(Lower(Narrow(plain.CStr())), Lower(ClassicPicturesFolder()));

  WideString library(L"sentinel");
  EXPECT_EQ(GetKnownFolderParsingName(kFolderIdPicturesLibrary, library), E_FAIL);
  EXPECT_STREQ(library.CStr(), L"sentinel");
  ASSERT_EQ(GetKnownFolderPath(kFolderIdPicturesLibrary, CSIDL_MYPICTURES, library), S_OK);
  char classic[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, classic);
  EXPECT_EQ(Narrow(library.CStr()), classic);

  IShellLibrary* shellLibrary = nullptr;
  {
    const ComInitialization com;
    EXPECT_EQ(LoadShellLibrary(Widen(classic).c_str(), &shellLibrary), E_FAIL);
  }
  EXPECT_EQ(shellLibrary, nullptr);
}

TEST(ShellPathsOnWine, LookUpFindsRealFunctionsAndAnswersNullForABogusName) {
  const CShell32DLL shell;
  ASSERT_TRUE(shell.IsLoaded());
  EXPECT_NE(shell.LookUp<decltype(::SHCreateItemFromParsingName)>("SHCreateItemFromParsingName"),
            nullptr);
  EXPECT_NE(shell.LookUp<decltype(::SHGetKnownFolderIDList)>("SHGetKnownFolderIDList"), nullptr);
  EXPECT_EQ(shell.LookUp<void()>("NoSuchShellFunction"), nullptr);
  // Ordinal 155, the look-up that frees ID lists, is the function shell32 names ILFree.
  auto* const ilFree = shell.LookUp<decltype(::ILFree)>(MAKEINTRESOURCEA(155));
  EXPECT_NE(ilFree, nullptr);
  EXPECT_EQ(reinterpret_cast<void (*)()>(ilFree),
            reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("shell32.dll"), "ILFree")));
  EXPECT_EQ(shell.LookUp<void()>(nullptr), nullptr);
}

TEST_F(PicturesFolderOnWine, HundredsOfLookupsLeakNoHandleStringOrComInitialisation) {
  MakeFolder(temp_ / "Existing");
  SetPicturesPreference(temp_ / "Existing");
  PicturesFolder();  // the first lookup may load what stays loaded
  DWORD handlesBefore = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handlesBefore));
  const long blocksBefore = LiveStringBlocks();

  for (int i = 0; i < 300; ++i) ASSERT_EQ(PicturesFolder(), temp_ / "Existing");

  EXPECT_EQ(LiveStringBlocks(), blocksBefore);
  DWORD handlesAfter = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handlesAfter));
  EXPECT_EQ(handlesAfter, handlesBefore);
  // Every initialisation was undone: the thread's next one is the first again. (shell32 itself is
  // a static import of this program, which Wine pins: its load count cannot show a leak here;
  // the stand-in tests count the loads.)
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  CoUninitialize();
}

}  // namespace
