// StandInShell: a table of stand-ins behind the pictures-folder lookup, for what no Wine prefix
// has (shell libraries, a shell32 without the newer functions, SHGetFolderPathA answering
// S_FALSE) and to count that every module load, COM initialisation, interface, text and ID
// list the code obtains is given back, inside the scope that encloses its use.
//
// Constructing one installs it as the lookup's platform; destroying it restores the system's.
// Directories are still real: candidates are tested and created on disk.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform_override.h"

// What the stand-in SHCreateItemFromParsingName knows about one parsing name.
struct StandInItem {
  std::wstring fileSystemPath;  // SIGDN_FILESYSPATH text; empty: no text
  HRESULT displayResult = S_OK;
  bool isLibrary = false;       // LoadLibraryFromItem accepts it
  std::wstring saveFolder;      // the library's default save folder; empty: none
};

// The desktop-absolute parsing name of the pictures library on Windows.
extern const wchar_t kPicturesLibraryName[];

class StandInShell {
 public:
  StandInShell();
  ~StandInShell();
  StandInShell(const StandInShell&) = delete;
  StandInShell& operator=(const StandInShell&) = delete;

  // ---- what the stand-ins answer
  LSTATUS preferenceStatus = ERROR_FILE_NOT_FOUND;
  std::wstring preference;
  bool shellLoads = true;
  // Functions GetProcAddress does not find: a name, or "#" and an ordinal ("#155" is ILFree).
  std::set<std::string> missingFunctions;
  // Known folders SHGetKnownFolderIDList knows, with their parsing names.
  std::vector<std::pair<GUID, std::wstring>> knownFolders;
  bool nameFromIdListGivesText = true;
  // SHGetFolderPathA: result and text written to the buffer, by CSIDL; others give E_FAIL.
  std::map<int, std::pair<HRESULT, std::string>> csidlFolders;
  std::map<std::wstring, StandInItem> items;
  bool librariesAvailable = true;
  HRESULT loadLibraryFromItemResult = S_OK;  // for a library item
  HRESULT coInitializeResult = S_OK;

  // ---- what the code did
  std::vector<std::string> calls;
  int loads = 0;
  int loaded = 0;  // loads not yet freed
  int comInits = 0;
  int comUninits = 0;
  int comDepth = 0;
  int liveObjects = 0;
  std::set<void*> liveTexts;
  std::set<void*> liveIdLists;
  int outOfScope = 0;  // releases and frees after the scope that enclosed the use had ended

  bool Called(const std::string& call) const;
  int Count(const std::string& prefix) const;
  // Everything obtained was given back, in scope, and COM and the module are undone.
  void ExpectEverythingGivenBack() const;

  static StandInShell& Current();
  void* AllocateText(const std::wstring& text);

 private:
  MediaFolderPlatform platform_;
};
