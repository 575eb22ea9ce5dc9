// Quick rescans held to full walks, through the DLL.
//
// A quick rescan lists again only the directories whose change stamp moved and takes the lines
// of the others from the last scan log; what the host reads must be exactly what a full walk
// gives.
// - QuickRescanTest: a random sequence of changes to two watched folders and the pictures folder.
//   After each change the same tree is rescanned into two log folders, once with quick rescans
//   allowed ("QuickRescan" missing) and once as a plain full walk ("QuickRescan" 0, no index). Every file the
//   host reads there (scan logs, previous scan logs, both change lists; not the private index)
//   must match byte for byte, and so must the "Dirty" flags. The plug-in's directory listings are
//   counted, so the run also shows that the quick rescans were quick. The changes include folders
//   beside twins of theirs in other letters and scan logs edited in place (a NUL, a Ctrl-Z, a line
//   too long for a line buffer), where comparing only what changed could differ from comparing
//   everything; quick_rescan_tests_cp932 runs it under a double-byte code page. The run is the same every
//   time; WF_QUICKRESCAN_SEED=<n> runs another sequence (the seed is printed).
// - FrozenStampsTest: an index that is damaged, or that no longer belongs to its scan log, is not
//   used, even where every stamp says that nothing changed.
// - LyingVolumeTest: a volume whose directory stamps never move (see stampmodel.h). A quick rescan then misses what
//   changed; the next full walk reports it, sees that a directory with an unchanged stamp lists
//   differently, and quick rescans of that folder stop.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "directorylink.h"
#include "importpatch.h"
#include "plugindll.h"
#include "stampmodel.h"
#include "testfiles.h"
#include "testregistry.h"

namespace {

unsigned long EnvironmentNumber(const char* name, unsigned long fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::strtoul(text, nullptr, 10) : fallback;
}

void DeleteRegValue(const std::string& subkey, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, name);
  RegCloseKey(key);
}

std::string Formats(const std::string& general_list) {
  return "[searchpatterns]\r\next1=" + general_list + "\r\n[image]\r\nimageext=*.jpg;*.png\r\n";
}

std::string Parent(const std::string& path) { return path.substr(0, path.rfind('\\')); }
std::string Name(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

std::string SwapCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

// Where two files first differ: the line number and both lines there.
std::string FirstDifference(const std::string& quick, const std::string& full) {
  std::size_t at = 0;
  while (at < quick.size() && at < full.size() && quick[at] == full[at]) ++at;
  std::size_t from = 0;
  long number = 1;
  for (std::size_t i = 0; i < at; ++i) {
    if (quick[i] == '\n') {
      from = i + 1;
      ++number;
    }
  }
  const auto line = [from](const std::string& text) {
    return from >= text.size() ? std::string("<end of file>")
                               : "'" + text.substr(from, text.find('\r', from) - from) + "'";
  };
  return "line " + std::to_string(number) + ": quick " + line(quick) + ", full " + line(full);
}

// ---- the plug-in's listings, counted -----------------------------------------------------------

int g_listings = 0;

// Forwards through this program's own import, which is never patched.
HANDLE WINAPI CountingFindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  ++g_listings;
  return FindFirstFileW(pattern, data);
}

// ---- the tree ----------------------------------------------------------------------------------

struct Inventory {
  std::vector<std::string> directories;  // the roots first
  std::vector<std::string> files;
};

void TakeInventory(const std::string& directory, Inventory* inventory) {
  inventory->directories.push_back(directory);
  WIN32_FIND_DATAA entry;
  const HANDLE find = FindFirstFileA((directory + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  std::vector<std::string> below;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      below.push_back(directory + "\\" + name);
    } else {
      inventory->files.push_back(directory + "\\" + name);
    }
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  for (const std::string& child : below) TakeInventory(child, inventory);
}

// New names never met before in the run (a counter in each), short so that moved subtrees stay
// well inside the path limit; some extensions are media, some in capitals, some none.
const char* const kFolderWords[] = {"Al", "cd", "Live", "mix"};
const char* const kFileWords[] = {"trk", "Song", "intro", "a.b"};
const char* const kExtensions[] = {".mp3", ".mp3", ".MP3", ".wma", ".wav", ".flac", ".ogg",
                                   ".jpg", ".png", ".JPG", ".txt", ""};
// What the general list of formats.ini is made of when it is edited.
const char* const kPatterns[] = {"*.mp3", "*.wma", "*.wav", "*.flac", "*.ogg", "*.MP3", "*.jpg"};

// Directories new entries go into stay below this length, and moved subtrees below the other.
constexpr std::size_t kParentLength = 150;
constexpr std::size_t kLongestPath = 230;

class QuickRescanTest : public PluginHostTest {
 protected:
  enum Run { kQuick, kFull };
  struct Timer {
    int listings = 0;
    std::vector<long long> dirty;  // WatchFolder0, WatchFolder1, WatchFolderPicture
  };
  struct Rescan {
    Timer quick;
    Timer full;
  };

  void SetUp() override {
    PluginHostTest::SetUp();
    if (HasFatalFailure()) return;
    listings_patch_ = std::make_unique<ImportPatch>(dll_->Module(), "kernel32.dll", "FindFirstFileW",
                                                    reinterpret_cast<void*>(&CountingFindFirstFileW));
    ASSERT_TRUE(listings_patch_->Applied()) << "the plug-in does not list directories with FindFirstFileW";
    roots_ = {Temp("Music0"), Temp("Music1"), pictures_};
    MakeFolder(roots_[0]);
    MakeFolder(roots_[1]);
    logs_ = {Temp("quick") + "\\", Temp("full") + "\\"};
    MakeFolder(logs_[kQuick]);
    MakeFolder(logs_[kFull]);
    dirty_keys_ = {kFolder0, kWatchFolders + "\\WatchFolder1", kPicturesSubkey};
    SetRegDword(kWatchFolders, "NumFolders", 2);
    SetRegString(dirty_keys_[0], "Folder", roots_[0]);
    SetRegString(dirty_keys_[1], "Folder", roots_[1]);
  }
  void TearDown() override {
    listings_patch_.reset();
    PluginHostTest::TearDown();
  }
  std::string FormatsContents() const override { return Formats("*.mp3;*.wma;*.wav"); }

  // ---- the two runs ----

  // The event with every folder dirty, into one run's log folder.
  Timer SendTo(Run run, const char* event) {
    SetRegString(kWatchFolders, "LogPath", logs_[run]);
    if (run == kQuick) {
      DeleteRegValue(kWatchFolders, "QuickRescan");
    } else {
      // A plain full walk, as before there were indexes: none to check, none that could get in
      // the way of the files the host reads.
      SetRegDword(kWatchFolders, "QuickRescan", 0);
      for (const std::string& name : ListFolder(logs_[run])) {
        if (IsIndex(name)) DeleteFileA((logs_[run] + name).c_str());
      }
    }
    for (const std::string& key : dirty_keys_) SetRegDword(key, "Dirty", 1);
    g_listings = 0;
    PluginHostTest::Send(event);
    Timer timer;
    timer.listings = g_listings;
    for (const std::string& key : dirty_keys_) timer.dirty.push_back(GetRegDword(key, "Dirty"));
    return timer;
  }

  // The event in both runs, and what the host reads from them compared.
  Rescan SendBoth(const char* event) {
    Rescan rescan;
    rescan.quick = SendTo(kQuick, event);
    rescan.full = SendTo(kFull, event);
    EXPECT_EQ(rescan.full.dirty, rescan.quick.dirty) << "Dirty of WatchFolder0, WatchFolder1, WatchFolderPicture";
    const std::vector<std::string> quick_files = HostFiles(logs_[kQuick]);
    const std::vector<std::string> full_files = HostFiles(logs_[kFull]);
    EXPECT_EQ(full_files, quick_files) << "the files of the two log folders";
    for (const std::string& name : full_files) {
      const std::string quick = ReadBytes(logs_[kQuick] + name);
      const std::string full = ReadBytes(logs_[kFull] + name);
      if (quick != full) ADD_FAILURE() << name << " differs, " << FirstDifference(quick, full);
    }
    return rescan;
  }

  static bool IsIndex(const std::string& name) {
    return name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".idx") == 0;
  }
  // The log folder's files but the plug-in's private indexes.
  static std::vector<std::string> HostFiles(const std::string& logs) {
    std::vector<std::string> names = ListFolder(logs);
    names.erase(std::remove_if(names.begin(), names.end(), IsIndex), names.end());
    return names;
  }

  // ---- the tree ----

  std::size_t Pick(std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(random_); }
  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  template <typename T, std::size_t N>
  const T& PickFrom(const T (&items)[N]) {
    return items[Pick(N)];
  }

  std::string NewFolderName() { return PickFrom(kFolderWords) + std::to_string(++names_); }
  std::string NewFileName() {
    return PickFrom(kFileWords) + std::to_string(++names_) + PickFrom(kExtensions);
  }

  Inventory Tree(const std::vector<std::string>& roots) const {
    Inventory inventory;
    for (const std::string& root : roots) TakeInventory(root, &inventory);
    return inventory;
  }
  Inventory Tree() const { return Tree(roots_); }

  // A directory of the roots shorter than max_length; with below_root, not a root.
  std::string PickDirectory(const std::vector<std::string>& roots, bool below_root,
                            std::size_t max_length = kParentLength) {
    std::vector<std::string> candidates;
    for (const std::string& directory : Tree(roots).directories) {
      const bool root = std::find(roots.begin(), roots.end(), directory) != roots.end();
      if (directory.size() < max_length && !(below_root && root)) candidates.push_back(directory);
    }
    return candidates.empty() ? std::string() : candidates[Pick(candidates.size())];
  }
  std::string PickFile() {
    const std::vector<std::string> files = Tree().files;
    return files.empty() ? std::string() : files[Pick(files.size())];
  }

  // top with directories new folders and files new files, each in a random folder of the new subtree.
  void Grow(const std::string& top, int directories, int files) {
    std::vector<std::string> made = {top};
    MakeFolder(top);
    for (int i = 0; i < directories; ++i) {
      made.push_back(made[Pick(made.size())] + "\\" + NewFolderName());
      MakeFolder(made.back());
    }
    for (int i = 0; i < files; ++i) WriteBytes(made[Pick(made.size())] + "\\" + NewFileName(), "x");
  }

  void Move(const std::string& from, const std::string& to) {
    EXPECT_TRUE(MoveFileA(from.c_str(), to.c_str())) << from << " -> " << to << ": " << GetLastError();
  }
  // A rename in letter case only, by way of another name: a case-only MoveFile changes nothing.
  // Not where a twin in those letters stands beside it (see MakeTwin).
  void Recase(const std::string& path) {
    Move(path, path + "~");
    const std::vector<std::string> beside = ListFolder(Parent(path));
    const bool twin = std::count(beside.begin(), beside.end(), SwapCase(Name(path))) > 0;
    Move(path + "~", twin ? path : Parent(path) + "\\" + SwapCase(Name(path)));
  }

 public:
  // ---- the changes, one per step kind (public: the table of step kinds names them) ----

  std::string AddFiles() {
    const std::string directory = PickDirectory(roots_, false);
    const int count = Between(1, 6);
    for (int i = 0; i < count; ++i) WriteBytes(directory + "\\" + NewFileName(), "x");
    return std::to_string(count) + " files into " + directory;
  }
  std::string RemoveFiles() {
    const int count = Between(1, 6);
    std::string last;
    for (int i = 0; i < count; ++i) {
      last = PickFile();
      if (!last.empty()) DeleteFileA(last.c_str());
    }
    return std::to_string(count) + " files, the last " + last;
  }
  std::string RenameFile() {
    const std::string file = PickFile();
    if (file.empty()) return "no file";
    const std::string to = Parent(file) + "\\" + NewFileName();
    Move(file, to);
    return file + " -> " + Name(to);
  }
  std::string RecaseFile() {
    const std::string file = PickFile();
    if (!file.empty()) Recase(file);
    return file;
  }
  std::string RenameFolder() {
    const std::string directory = PickDirectory(roots_, true);
    if (directory.empty()) return "no folder";
    const std::string to = Parent(directory) + "\\" + NewFolderName();
    Move(directory, to);
    return directory + " -> " + Name(to);
  }
  std::string RecaseFolder() {
    const std::string directory = PickDirectory(roots_, true);
    if (!directory.empty()) Recase(directory);
    return directory;
  }
  std::string AddSubtree() {
    const std::string top = PickDirectory(roots_, false) + "\\" + NewFolderName();
    Grow(top, Between(0, 6), Between(0, 40));
    return top;
  }
  std::string RemoveSubtree() {
    const std::string directory = PickDirectory(roots_, true);
    if (!directory.empty()) {
      EXPECT_TRUE(DeleteTree(directory)) << directory;
    }
    return directory;
  }
  std::string MoveSubtree() {
    const std::size_t from = Pick(2);
    const std::string directory = PickDirectory({roots_[from]}, true);
    if (directory.empty()) return "no folder";
    // How far the subtree reaches below its parent: moved, it stays inside the path limit.
    std::size_t extent = 0;
    const Inventory subtree = Tree({directory});
    for (const auto* paths : {&subtree.directories, &subtree.files}) {
      for (const std::string& path : *paths) extent = std::max(extent, path.size());
    }
    extent -= std::min(extent, Parent(directory).size());
    const std::string target = PickDirectory({roots_[1 - from]}, false, kLongestPath - std::min(kLongestPath, extent));
    if (target.empty()) return "no room for " + directory;
    Move(directory, target + "\\" + Name(directory));
    return directory + " -> " + target;
  }
  // A folder beside a folder whose name it is in other letters: Linux makes one, and Wine lists
  // both. Their lines are equal to a comparison that ignores letter case, whichever of the two a
  // quick rescan lists and whichever it copies.
  std::string MakeTwin() {
    const std::string directory = PickDirectory(roots_, true);
    if (directory.empty()) return "no folder";
    const std::string twin = Parent(directory) + "\\" + SwapCase(Name(directory));
    // Names are told apart in their own letters here: the system finds either by the other's.
    const std::vector<std::string> beside = ListFolder(Parent(directory));
    if (Name(twin) == Name(directory) || std::count(beside.begin(), beside.end(), Name(twin))) {
      return "no twin for " + directory;
    }
    const std::string linux_path = LinuxPath(Parent(directory)) + "/" + SwapCase(Name(directory));
    if (!RunLinuxCommand("Z:\\bin\\mkdir \"" + linux_path + "\"")) return "no Linux mkdir";
    // The twin's files: some of the names the original holds, some new.
    const Inventory original = Tree({directory});
    for (const std::string& file : original.files) {
      if (Parent(file) == directory && Pick(2) == 0) WriteBytes(twin + "\\" + Name(file), "x");
    }
    WriteBytes(twin + "\\" + NewFileName(), "x");
    return twin;
  }
  // A scan log changed in place, its size kept, in both runs alike: a NUL, a Ctrl-Z, or lines
  // joined into one too long for a line buffer. The directory whose lines changed no longer
  // matches its record, and a comparison of what changed alone cannot be proved the whole one.
  std::string EditScanLog() {
    const std::string name = ScanLogStem(roots_[Pick(2)]) + "scan.log";
    const std::string bytes = ReadBytes(logs_[kQuick] + name);
    if (bytes.size() < 1200 || bytes != ReadBytes(logs_[kFull] + name)) return "no scan log to edit";
    std::string edited = bytes;
    const std::size_t at = Pick(edited.size() - 1100);
    std::string what;
    switch (Pick(3)) {
      case 0:
        edited[at] = '\0';
        what = "a NUL";
        break;
      case 1:
        edited[at] = '\x1A';
        what = "a Ctrl-Z";
        break;
      default:
        for (std::size_t i = at; i < at + 1100; ++i) {
          if (edited[i] == '\r' || edited[i] == '\n') edited[i] = 'j';
        }
        what = "lines joined";
    }
    for (const std::string& logs : logs_) WriteBytes(logs + name, edited);
    return what + " at byte " + std::to_string(at) + " of " + name;
  }
  std::string EditFormats() {
    std::vector<std::string> patterns(std::begin(kPatterns), std::end(kPatterns));
    std::shuffle(patterns.begin(), patterns.end(), random_);
    std::string list;
    for (const std::string& pattern : patterns) {
      if (Pick(2) == 0) list += (list.empty() ? "" : ";") + pattern;
    }
    WriteBytes(ProgramDirectory() + "\\DataCache\\Formats\\formats.ini", Formats(list));
    return "ext1=" + list;
  }
  // Any folder, the watched ones included, as the setting may spell it: in other letters, with or
  // without its trailing backslash.
  std::string SetExempt() {
    std::string folder = PickDirectory(roots_, false);
    if (Pick(2) == 0) folder = SwapCase(folder);
    if (Pick(2) == 0) folder += "\\";
    SetRegString(kPreferences, "ExemptWatch", folder);
    return folder;
  }
  std::string ClearExempt() {
    DeleteRegValue(kPreferences, "ExemptWatch");
    return "";
  }

 protected:
  std::unique_ptr<ImportPatch> listings_patch_;
  std::vector<std::string> roots_;  // WatchFolder0, WatchFolder1, the pictures folder
  std::vector<std::string> logs_;   // by Run
  std::vector<std::string> dirty_keys_;
  std::mt19937 random_;
  int names_ = 0;
};

struct StepKind {
  const char* name;
  // Touches a directory or two: a quick rescan then lists only those (and those changed within
  // the last seconds, whose stamps are not trusted yet).
  bool few_directories;
  std::string (QuickRescanTest::*apply)();  // null: two to four of the other kinds at once
};

const StepKind kStepKinds[] = {
    {"add files", true, &QuickRescanTest::AddFiles},
    {"remove files", true, &QuickRescanTest::RemoveFiles},
    {"rename a file", true, &QuickRescanTest::RenameFile},
    {"rename a file in letter case only", true, &QuickRescanTest::RecaseFile},
    {"rename a folder", false, &QuickRescanTest::RenameFolder},
    {"rename a folder in letter case only", false, &QuickRescanTest::RecaseFolder},
    {"add a subtree", false, &QuickRescanTest::AddSubtree},
    {"remove a subtree", false, &QuickRescanTest::RemoveSubtree},
    {"move a subtree to the other watched folder", false, &QuickRescanTest::MoveSubtree},
    {"edit the general list of formats.ini", false, &QuickRescanTest::EditFormats},
    {"set ExemptWatch", false, &QuickRescanTest::SetExempt},
    {"clear ExemptWatch", false, &QuickRescanTest::ClearExempt},
    {"make a folder's twin in other letters", false, &QuickRescanTest::MakeTwin},
    {"edit a scan log in place", false, &QuickRescanTest::EditScanLog},
    // Last: the kinds above are the ones it draws from.
    {"several changes at once", false, nullptr},
};
// Each kind this many times, in a random order.
constexpr int kRoundsOfSteps = 3;

TEST_F(QuickRescanTest, EveryQuickRescanReadsAsAFullWalk) {
  const unsigned long seed = EnvironmentNumber("WF_QUICKRESCAN_SEED", 20261211);
  std::cout << "WF_QUICKRESCAN_SEED=" << seed << std::endl;
  SCOPED_TRACE("WF_QUICKRESCAN_SEED=" + std::to_string(seed));
  random_.seed(seed);

  Grow(roots_[0], 110, 1100);
  Grow(roots_[1], 110, 1100);
  Grow(roots_[2], 60, 600);
  const Inventory start = Tree();
  std::cout << start.files.size() << " files in " << start.directories.size() << " directories" << std::endl;
  // Stamps younger than two seconds are not trusted: the tree ages first, so that the index of
  // the first walks serves the quick rescans that follow.
  Sleep(3000);
  SendBoth("WatchFolders_InitLogs");
  const Rescan first = SendBoth("WatchFolders_Timer");
  ASSERT_GE(first.full.listings, static_cast<int>(start.directories.size()))
      << "a full walk lists every directory once: the plug-in's listings are not all counted";
  for (const std::string& root : roots_) {
    ASSERT_TRUE(IsFile(logs_[kFull] + ScanLogStem(root) + "scan.log")) << root;
  }

  std::vector<const StepKind*> steps;
  for (int round = 0; round < kRoundsOfSteps; ++round) {
    std::vector<const StepKind*> kinds;
    for (const StepKind& kind : kStepKinds) kinds.push_back(&kind);
    std::shuffle(kinds.begin(), kinds.end(), random_);
    steps.insert(steps.end(), kinds.begin(), kinds.end());
  }
  const auto apply = [this](const StepKind& kind) { return kind.name + std::string(": ") + (this->*kind.apply)(); };
  long few_quick = 0;
  long few_full = 0;
  for (std::size_t i = 0; i < steps.size() && !HasFailure(); ++i) {
    std::string what = steps[i]->name;
    if (steps[i]->apply) {
      what = apply(*steps[i]);
    } else {
      for (int count = Between(2, 4); count > 0; --count) {
        what += "\n      " + apply(kStepKinds[Pick(std::size(kStepKinds) - 1)]);
      }
    }
    SCOPED_TRACE("step " + std::to_string(i) + ", " + what);
    const Rescan rescan = SendBoth("WatchFolders_Timer");
    std::cout << "step " << i << ", " << what << "\n    listings: quick " << rescan.quick.listings << ", full "
              << rescan.full.listings << std::endl;
    if (steps[i]->few_directories) {
      few_quick += rescan.quick.listings;
      few_full += rescan.full.listings;
    }
  }
  if (HasFailure()) return;
  EXPECT_LT(2 * few_quick, few_full) << "after changes to a directory or two, the quick rescans listed " << few_quick
                                     << " directories where full walks listed " << few_full
                                     << ": they were not quick";
}

// ---- a volume whose directory stamps never move ------------------------------------------------

// How the plug-in is brought back to a full walk after the quick rescan that missed a change.
enum class Recovery { kReload, kQuickRescanOff };

// A folder on a volume whose directory stamps all read as one old moment.
class FrozenStampsTest : public PluginHostTest {
 protected:
  void SetUp() override {
    PluginHostTest::SetUp();
    if (HasFatalFailure()) return;
    const SYSTEMTIME old_moment = {2005, 1, 6, 1, 0, 0, 0, 0};
    FILETIME stamp = {};
    ASSERT_TRUE(SystemTimeToFileTime(&old_moment, &stamp));
    ResetStampRules();
    g_stamp_rules.frozen = true;
    g_stamp_rules.frozen_time = static_cast<LONGLONG>((ULONGLONG{stamp.dwHighDateTime} << 32) | stamp.dwLowDateTime);
    Freeze();
    music_ = Temp("Music");
    logs_ = Temp("logs") + "\\";
    for (const char* name : {"Al\\one.mp3", "Al\\Sub\\two.mp3", "Bo\\three.mp3"}) WriteBytes(music_ + "\\" + name, "x");
    SetRegString(kWatchFolders, "LogPath", logs_);
    SetRegDword(kWatchFolders, "NumFolders", 1);
    SetRegString(kFolder0, "Folder", music_);
  }
  void TearDown() override {
    freeze_.reset();
    ResetStampRules();
    PluginHostTest::TearDown();
  }

  void Freeze() {
    freeze_ = std::make_unique<StampModel>(dll_->Module());
    ASSERT_TRUE(freeze_->Applied()) << "the plug-in imports neither GetProcAddress nor GetDriveTypeA";
  }
  // The host unloads the plug-in and loads it again; the lie goes on.
  void Reload() {
    freeze_.reset();
    dll_.reset();
    dll_ = std::make_unique<PluginDll>();
    ASSERT_TRUE(dll_->Loaded());
    Freeze();
  }
  void Timer() {
    SetRegDword(kFolder0, "Dirty", 1);
    Send("WatchFolders_Timer");
  }
  bool Reported(const char* name) const {
    return ReadBytes(logs_ + "fldrscan.out").find(music_ + "\\" + name + "\r\n") != std::string::npos;
  }
  bool Listed(const char* name) const {
    return ReadBytes(logs_ + ScanLogStem(music_) + "scan.log").find(music_ + "\\" + name + "\r\n") !=
           std::string::npos;
  }

  std::unique_ptr<StampModel> freeze_;
  std::string music_;
  std::string logs_;
};

class LyingVolumeTest : public FrozenStampsTest, public ::testing::WithParamInterface<Recovery> {};

TEST_P(LyingVolumeTest, AFullWalkFindsWhatTheFrozenStampsHidAndQuickRescansStop) {
  Timer();  // the first walk after the load is full, and its index takes the frozen stamps
  WriteBytes(music_ + "\\Al\\added.mp3", "x");
  // Al's stamp reads as before, so a quick rescan takes Al's old lines and misses added.mp3:
  // that is what a lying volume costs until the next full walk.
  Timer();
  EXPECT_GT(g_stamp_reads, 0) << "the plug-in read no directory stamp through NtQueryFullAttributesFile";

  const int reads_before = g_stamp_reads;
  if (GetParam() == Recovery::kReload) {
    Reload();  // the first walk after a load is full
  } else {
    SetRegDword(kWatchFolders, "QuickRescan", 0);
  }
  Timer();
  EXPECT_TRUE(Reported("Al\\added.mp3"));
  EXPECT_TRUE(Listed("Al\\added.mp3"));
  if (GetParam() == Recovery::kReload) {
    EXPECT_GT(g_stamp_reads, reads_before) << "the reloaded plug-in read no directory stamp: the lie did not reach it";
  }

  // Bo's stamp has not moved either; only a full walk sees the new file.
  WriteBytes(music_ + "\\Bo\\later.mp3", "x");
  Timer();
  EXPECT_TRUE(Reported("Bo\\later.mp3")) << "quick rescans of the folder still trust its frozen stamps";
  EXPECT_TRUE(Listed("Bo\\later.mp3"));
}

INSTANTIATE_TEST_SUITE_P(Recoveries, LyingVolumeTest,
                         ::testing::Values(Recovery::kReload, Recovery::kQuickRescanOff),
                         [](const ::testing::TestParamInfo<Recovery>& param) {
                           return param.param == Recovery::kReload ? "Reload" : "QuickRescanOff";
                         });

// Unchanged stamps would let a quick rescan take every directory's lines from the scan log at the
// places the index gives: an index that cannot be trusted must be passed over for a full walk.
TEST_F(FrozenStampsTest, DamagedOrForeignIndexIsNotUsed) {
  const std::string log = logs_ + ScanLogStem(music_) + "scan.log";
  const std::string index = logs_ + ScanLogStem(music_) + "scan.idx";
  struct Case {
    const char* what;
    std::function<void()> damage;
  };
  const auto rewrite = [&](const std::function<void(std::string&)>& change) {
    std::string bytes = ReadBytes(index);
    change(bytes);
    WriteBytes(index, bytes);
  };
  const Case cases[] = {
      {"cut short", [&] { rewrite([](std::string& b) { b.resize(b.size() / 2); }); }},
      {"emptied", [&] { rewrite([](std::string& b) { b.clear(); }); }},
      {"a byte of its last record changed", [&] { rewrite([](std::string& b) { b[b.size() - 2] ^= 0x01; }); }},
      {"a byte of its header changed", [&] { rewrite([](std::string& b) { b[40] ^= 0x01; }); }},
      {"the scan log edited since", [&] { WriteBytes(log, music_ + "\\zz.mp3\r\n" + ReadBytes(log)); }},
  };
  Timer();  // the first walk after the load is full and writes the index
  const std::string full = ReadBytes(log);
  ASSERT_EQ(music_ + "\\Al\\one.mp3\r\n" + music_ + "\\Al\\Sub\\two.mp3\r\n" + music_ + "\\Bo\\three.mp3\r\n", full);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_FALSE(ReadBytes(index).empty());
    c.damage();
    Timer();
    EXPECT_EQ(full, ReadBytes(log)) << "the scan log is a full walk's";
    EXPECT_EQ(0, GetRegDword(kFolder0, "Dirty"));
  }
}

}  // namespace
