// The pictures-folder policy over stand-ins for the registry and the shell: the routes no Wine
// prefix can take (libraries, a shell32 without the newer functions, SHGetFolderPathA answering
// S_FALSE), and the count of everything obtained and given back.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "shellfolders/comowners.h"
#include "shellfolders/picturesfolder.h"
#include "shellfolders/shell32dll.h"
#include "shellfolders/shellconstants.h"
#include "shellfolders/shellpaths.h"
#include "shellfolders/stringheapmanager.h"
#include "shellfolders_test_support.h"
#include "standin_shell.h"

namespace {

const char kSentinel[] = "sentinel";

struct PolicyCase {
  const char* what;
  // Configures the stand-ins; the folder is the test's own temporary folder.
  std::function<void(StandInShell&, const TempFolder&)> arrange;
  HRESULT result;
  const char* folder;   // expected output below the temporary folder; kSentinel: untouched
  const char* created;  // a folder that must exist afterwards (below the temporary folder)
  const char* absent;   // a folder that must not (below the temporary folder)
};

void NoKnownFolders(StandInShell& shell) { shell.missingFunctions.insert("SHGetKnownFolderIDList"); }

void PicturesLibrary(StandInShell& shell, const std::wstring& saveFolder) {
  shell.knownFolders.push_back({kFolderIdPicturesLibrary, kPicturesLibraryName});
  StandInItem library;
  library.isLibrary = true;
  library.saveFolder = saveFolder;
  library.fileSystemPath = L"C:\\would-be-the-item-route";
  shell.items[kPicturesLibraryName] = library;
}

void Csidl(StandInShell& shell, int csidl, HRESULT result, const std::string& path) {
  shell.csidlFolders[csidl] = {result, path};
}

void Preference(StandInShell& shell, const std::string& text) {
  shell.preferenceStatus = ERROR_SUCCESS;
  shell.preference = Widen(text);
}

const PolicyCase kPolicyCases[] = {
    {"library route: no preference, the pictures library's save folder",
     [](StandInShell& s, const TempFolder& t) { PicturesLibrary(s, Widen(t / "Saved\\Pictures")); },
     S_OK, "Saved\\Pictures", "Saved\\Pictures", nullptr},
    {"preference naming a library gives its save folder",
     [](StandInShell& s, const TempFolder& t) {
       Preference(s, Narrow(kPicturesLibraryName));
       PicturesLibrary(s, Widen(t / "FromPreference"));
       NoKnownFolders(s);
       Csidl(s, CSIDL_MYPICTURES, S_OK, t / "Classic");
     },
     S_OK, "FromPreference", "FromPreference", "Classic"},
    {"library without save folder is not tried as an item, and is no folder",
     [](StandInShell& s, const TempFolder& t) {
       PicturesLibrary(s, L"");
       s.items[kPicturesLibraryName].fileSystemPath = Widen(t / "ItemRoute");
       Csidl(s, CSIDL_MYPICTURES, S_OK, t / "Classic");
     },
     E_FAIL, kSentinel, nullptr, "ItemRoute"},
    {"preference library without save folder gives way to the default",
     [](StandInShell& s, const TempFolder& t) {
       Preference(s, Narrow(kPicturesLibraryName));
       PicturesLibrary(s, L"");
       s.knownFolders.clear();
       Csidl(s, CSIDL_MYPICTURES, S_OK, t / "Classic");
     },
     S_OK, "Classic", "Classic", nullptr},
    {"missing SHGetKnownFolderIDList: the CSIDL folder, created",
     [](StandInShell& s, const TempFolder& t) {
       NoKnownFolders(s);
       Csidl(s, CSIDL_MYPICTURES, S_OK, t / "My Pictures");
       Csidl(s, CSIDL_PERSONAL, S_OK, t / "Documents");
     },
     S_OK, "My Pictures", "My Pictures", "Documents"},
    {"SHGetFolderPathA answering S_FALSE: the documents folder",
     [](StandInShell& s, const TempFolder& t) {
       NoKnownFolders(s);
       Csidl(s, CSIDL_MYPICTURES, S_FALSE, t / "NotThis");
       Csidl(s, CSIDL_PERSONAL, S_OK, t / "Documents");
     },
     S_OK, "Documents", "Documents", "NotThis"},
    {"no name from the ID list: the CSIDL folder",
     [](StandInShell& s, const TempFolder& t) {
       PicturesLibrary(s, Widen(t / "Saved"));
       s.nameFromIdListGivesText = false;
       Csidl(s, CSIDL_MYPICTURES, S_OK, t / "Classic");
     },
     S_OK, "Classic", "Classic", "Saved"},
    {"shell module that does not load: the CSIDL folder as text",
     [](StandInShell& s, const TempFolder& t) {
       s.shellLoads = false;
       Csidl(s, CSIDL_MYPICTURES, S_OK, t / "Classic");
     },
     S_OK, "Classic", "Classic", nullptr},
    {"no library class: the default resolved through the item route",
     [](StandInShell& s, const TempFolder& t) {
       s.librariesAvailable = false;
       NoKnownFolders(s);
       MakeFolder(t / "pics");
       Csidl(s, CSIDL_MYPICTURES, S_OK, t / "pics\\");
       s.items[Widen(t / "pics\\")].fileSystemPath = Widen(t / "Pics");
     },
     S_OK, "Pics", "pics", nullptr},
    {"preference the shell cannot resolve is created as text",
     [](StandInShell& s, const TempFolder& t) {
       Preference(s, t / "a\\b\\c\\");
       Csidl(s, CSIDL_MYPICTURES, S_OK, t / "Classic");
     },
     S_OK, "a\\b\\c\\", "a\\b\\c", "Classic"},
    {"preference that cannot be created: the default",
     [](StandInShell& s, const TempFolder& t) {
       WriteBytes(t / "blocker", "");
       Preference(s, t / "blocker\\pics");
       NoKnownFolders(s);
       Csidl(s, CSIDL_MYPICTURES, S_OK, t / "Classic");
     },
     S_OK, "Classic", "Classic", nullptr},
    {"relative preference: the default, nothing made in the current directory",
     [](StandInShell& s, const TempFolder& t) {
       SetCurrentDirectoryA(t.Path().c_str());
       Preference(s, "Relative");
       NoKnownFolders(s);
       Csidl(s, CSIDL_MYPICTURES, S_OK, t / "Classic");
     },
     S_OK, "Classic", "Classic", "Relative"},
    {"every candidate fails: empty preference, no known folder, no CSIDL folders",
     [](StandInShell& s, const TempFolder&) {
       Preference(s, "");
       NoKnownFolders(s);
       Csidl(s, CSIDL_MYPICTURES, E_FAIL, "C:\\");
       Csidl(s, CSIDL_PERSONAL, E_FAIL, "C:\\");
     },
     E_FAIL, kSentinel, nullptr, nullptr},
    {"COM already in the multithreaded apartment: nothing undone that was not done",
     [](StandInShell& s, const TempFolder& t) {
       s.coInitializeResult = RPC_E_CHANGED_MODE;
       PicturesLibrary(s, Widen(t / "Saved"));
     },
     S_OK, "Saved", "Saved", nullptr},
    {"shell32 without ILFree: the library route still works and frees its ID list",
     [](StandInShell& s, const TempFolder& t) {
       s.missingFunctions.insert("#155");
       PicturesLibrary(s, Widen(t / "Saved"));
     },
     S_OK, "Saved", "Saved", nullptr},
};

TEST(PicturesFolderPolicy, TableOfRoutesOverStandIns) {
  char cwd[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, cwd);
  for (const PolicyCase& c : kPolicyCases) {
    SCOPED_TRACE(c.what);
    const TempFolder temp;
    {
      StandInShell shell;
      c.arrange(shell, temp);
      WideString folder(Widen(kSentinel).c_str());
      EXPECT_EQ(GetPicturesFolder(folder), c.result);
      const std::string expected = c.folder == kSentinel ? kSentinel : temp / (c.folder);
      EXPECT_EQ(Narrow(folder.CStr()), expected);
      if (c.created) {
        EXPECT_TRUE(IsDirectory(temp / (c.created))) << c.created;
      }
      if (c.absent) {
        EXPECT_FALSE(PathExists(temp / (c.absent))) << c.absent;
      }
      shell.ExpectEverythingGivenBack();
    }
    SetCurrentDirectoryA(cwd);
  }
}

TEST(PicturesFolderPolicy, LibraryIsOpenedReadOnlyAndItsDetectedSaveFolderTaken) {
  const TempFolder temp;
  StandInShell shell;
  PicturesLibrary(shell, Widen(temp / "Saved"));
  WideString folder;
  ASSERT_EQ(GetPicturesFolder(folder), S_OK);

  EXPECT_TRUE(shell.Called("Registry HKCU\\Software\\Norvane\\Brisola\\12.0\\Preferences\\PicturesPath|"));
  EXPECT_TRUE(shell.Called("LoadLibraryA shell32.dll"));
  EXPECT_TRUE(shell.Called("KnownFolderIdList flags=0x00008000"));
  EXPECT_TRUE(shell.Called("NameFromIdList 0x80028000"));
  EXPECT_TRUE(shell.Called("CreateItem ::{031E4825-7B94-4DC3-B131-E946B44C8DD5}\\Pictures.library-ms IShellItem"));
  EXPECT_TRUE(shell.Called("CoCreateInstance ShellLibrary context=1 IShellLibrary"));
  EXPECT_TRUE(shell.Called("LoadLibraryFromItem mode=0"));
  EXPECT_TRUE(shell.Called("GetDefaultSaveFolder type=1 IShellItem"));
  EXPECT_TRUE(shell.Called("GetDisplayName 0x80058000"));
  // The library is never resolved through the CSIDL folders when the known folder answers.
  EXPECT_EQ(shell.Count("SHGetFolderPathA"), 0);
  shell.ExpectEverythingGivenBack();
}

TEST(PicturesFolderPolicy, CsidlFoldersAreAskedForTheCurrentPathInOrder) {
  StandInShell shell;
  NoKnownFolders(shell);
  WideString folder;
  EXPECT_EQ(GetDefaultMediaFolder(MediaFolderKind::Pictures, folder), E_FAIL);
  EXPECT_TRUE(shell.Called("SHGetFolderPathA 39 flags=0"));
  EXPECT_TRUE(shell.Called("SHGetFolderPathA 5 flags=0"));
  EXPECT_EQ(shell.Count("KnownFolderIdList"), 0);
  shell.calls.clear();
  EXPECT_EQ(GetDefaultMediaFolder(MediaFolderKind::Music, folder), E_FAIL);
  EXPECT_TRUE(shell.Called("SHGetFolderPathA 13 flags=0"));
  shell.calls.clear();
  EXPECT_EQ(GetDefaultMediaFolder(MediaFolderKind::Videos, folder), E_FAIL);
  EXPECT_TRUE(shell.Called("SHGetFolderPathA 14 flags=0"));
  shell.ExpectEverythingGivenBack();
}

TEST(PicturesFolderPolicy, ManyResolutionsGiveEverythingBack) {
  const TempFolder temp;
  StandInShell shell;
  PicturesLibrary(shell, Widen(temp / "Saved"));
  const long blocks = LiveStringBlocks();
  for (int i = 0; i < 300; ++i) {
    WideString folder;
    ASSERT_EQ(GetPicturesFolder(folder), S_OK);
    // Still the library's own answer, not a fallback after something ran out.
    ASSERT_EQ(Narrow(folder.CStr()), temp / "Saved") << "resolution " << i;
  }
  EXPECT_EQ(LiveStringBlocks(), blocks);
  shell.ExpectEverythingGivenBack();
}

// ---- the shell operations one by one

TEST(ShellPathsOverStandIns, EmptyInputIsBlankAndAsksNothing) {
  StandInShell shell;
  WideString out(L"sentinel");
  EXPECT_EQ(ResolveFileSystemPath(WideString(), out), OLE_E_BLANK);
  EXPECT_STREQ(out.CStr(), L"sentinel");
  EXPECT_TRUE(shell.calls.empty());
}

TEST(ShellPathsOverStandIns, ItemRouteCountsOnlyAnExactSOk) {
  StandInShell shell;
  StandInItem item;
  item.fileSystemPath = L"C:\\Shown";
  item.displayResult = S_FALSE;
  shell.items[L"C:\\x"] = item;
  WideString out(L"sentinel");
  EXPECT_EQ(GetItemFileSystemPath(L"C:\\x", out), E_FAIL);
  EXPECT_STREQ(out.CStr(), L"sentinel");
  // ResolveFileSystemPath then hands the input back.
  EXPECT_EQ(ResolveFileSystemPath(WideString(L"C:\\x"), out), S_OK);
  EXPECT_STREQ(out.CStr(), L"C:\\x");
  shell.ExpectEverythingGivenBack();  // the text of the S_FALSE answer is freed too
}

TEST(ShellPathsOverStandIns, LibraryThatDoesNotLoadGivesBackEveryReference) {
  StandInShell shell;
  PicturesLibrary(shell, L"C:\\Saved");
  shell.loadLibraryFromItemResult = E_ACCESSDENIED;
  IShellLibrary* library = reinterpret_cast<IShellLibrary*>(0x1);
  {
    const ComInitialization com;
    EXPECT_EQ(LoadShellLibrary(kPicturesLibraryName, &library), E_FAIL);
  }
  EXPECT_EQ(library, nullptr);
  WideString out(L"sentinel");
  EXPECT_EQ(GetLibrarySaveFolderPath(nullptr, out), E_INVALIDARG);
  EXPECT_STREQ(out.CStr(), L"sentinel");
  shell.ExpectEverythingGivenBack();
}

TEST(ShellPathsOverStandIns, UnknownPathLeavesTheLibrarySlotAsItWas) {
  StandInShell shell;
  IShellLibrary* library = reinterpret_cast<IShellLibrary*>(0x1);
  EXPECT_EQ(LoadShellLibrary(L"C:\\nothing", &library), E_FAIL);
  EXPECT_EQ(library, reinterpret_cast<IShellLibrary*>(0x1));
  shell.ExpectEverythingGivenBack();
}

TEST(Shell32DllOverStandIns, ModuleThatDoesNotLoadFailsEveryOperation) {
  StandInShell shell;
  shell.shellLoads = false;
  shell.items[L"C:\\x"].fileSystemPath = L"C:\\x";
  shell.knownFolders.push_back({kFolderIdPicturesLibrary, kPicturesLibraryName});
  {
    const CShell32DLL dll;
    EXPECT_FALSE(dll.IsLoaded());
    EXPECT_TRUE(dll.InitializedCom());
    IShellItem* item = reinterpret_cast<IShellItem*>(0x1);
    EXPECT_EQ(dll.CreateItemFromParsingName(L"C:\\x", &item), E_FAIL);
    EXPECT_EQ(item, nullptr);
    ByteString name("sentinel");
    EXPECT_EQ(dll.GetKnownFolderName(kFolderIdPicturesLibrary, SIGDN_DESKTOPABSOLUTEPARSING, name),
              E_FAIL);
    EXPECT_STREQ(name.CStr(), "sentinel");
    EXPECT_EQ(dll.LookUp<decltype(::SHCreateItemFromParsingName)>("SHCreateItemFromParsingName"),
              nullptr);
  }
  EXPECT_EQ(shell.Count("CreateItem"), 0);
  shell.ExpectEverythingGivenBack();
}

TEST(Shell32DllOverStandIns, MissingNameFunctionFailsWithoutAskingForAnIdList) {
  StandInShell shell;
  shell.missingFunctions.insert("SHGetNameFromIDList");
  shell.knownFolders.push_back({kFolderIdPicturesLibrary, kPicturesLibraryName});
  const CShell32DLL dll;
  ByteString name("sentinel");
  EXPECT_EQ(dll.GetKnownFolderName(kFolderIdPicturesLibrary, SIGDN_DESKTOPABSOLUTEPARSING, name),
            E_FAIL);
  EXPECT_STREQ(name.CStr(), "sentinel");
  EXPECT_EQ(shell.Count("KnownFolderIdList"), 0);
}

// ILFree is found by its ordinal, never by name. Where shell32 lacks it, the ID list goes back to
// the task allocator it came from, whether or not a name came out of it.
TEST(Shell32DllOverStandIns, IdListIsFreedWithILFreeByOrdinalOrElseWithTheTaskAllocator) {
  struct Case {
    const char* what;
    bool ilFreeMissing;
    bool nameGiven;
    const char* freedBy;
  } const cases[] = {
      {"ILFree, a name", false, true, "ILFree"},
      {"ILFree, no name", false, false, "ILFree"},
      {"no ILFree, a name", true, true, "CoTaskMemFree ID list"},
      {"no ILFree, no name", true, false, "CoTaskMemFree ID list"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StandInShell shell;
    if (c.ilFreeMissing) shell.missingFunctions.insert("#155");
    shell.nameFromIdListGivesText = c.nameGiven;
    shell.knownFolders.push_back({kFolderIdPicturesLibrary, kPicturesLibraryName});
    {
      const CShell32DLL dll;
      ByteString name(kSentinel);
      EXPECT_EQ(dll.GetKnownFolderName(kFolderIdPicturesLibrary, SIGDN_DESKTOPABSOLUTEPARSING, name),
                c.nameGiven ? S_OK : E_FAIL);
      EXPECT_EQ(std::string(name.CStr()), c.nameGiven ? Narrow(kPicturesLibraryName) : kSentinel);
    }
    EXPECT_TRUE(shell.Called("GetProcAddress #155"));
    EXPECT_FALSE(shell.Called("GetProcAddress ILFree"));
    EXPECT_EQ(shell.Count("ILFree") + shell.Count("CoTaskMemFree ID list"), 1);
    EXPECT_EQ(shell.Count(c.freedBy), 1);
    shell.ExpectEverythingGivenBack();
  }
}

}  // namespace
