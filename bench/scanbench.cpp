// scanbench: how long a refresh of a large library takes, against the bare directory walk that
// bounds it.
//
//   scanbench <work folder> <files> [--dll <watchfolders.dll>]
//
// Builds (once; it is kept for the next run) a synthetic library of about <files> files below
// <work folder>\lib: artists, albums, some albums split into discs, realistic names, four media
// files in five. Then, in this one process, it times the bare FindFirstFileA/FindNextFileA walk
// of that tree, the init refresh (a first scan log), the timer refresh after 1% of the files
// were added and 1% removed, the timer refresh after what a listener typically does between two
// refreshes (one album of 16 tracks added, one album removed, three tracks added to existing
// albums), the comparison of two logs alone, and a purge; walks, timer refreshes and comparisons
// are medians of five rounds. Timer refreshes may be quick, as the plug-in's are by default. Without --dll the
// scanning functions are called directly, as the refresh driver calls them; with --dll the
// plug-in is loaded and driven through EventCallback and the registry, as a host drives it.
//
// Prints a table and, last, the line
//   bench N=<files> walk_s=<x> timer_s=<y> compare_s=<z> timer_ratio=<y/x> compare_ratio=<z/x> peak_mb=<m>
//         quick_s=<q> quick_ratio=<q/x>
// (one line) where quick_s is the timer refresh after the album changes. Before it, a profile of
// those quick refreshes: the functions they were found in, sampled (see sampler.h).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sampler.h"
#include "scan/compare.h"
#include "scan/scanlog.h"

namespace {

constexpr int kLayoutVersion = 1;
// Rounds of walk and timer refresh, interleaved so that the load of a shared machine falls on
// both alike; the medians are reported.
constexpr int kRounds = 5;
constexpr char kGeneralList[] =
    "*.mp3;*.mp2;*.wma;*.wav;*.flac;*.m4a;*.aac;*.ogg;*.ape;*.mpc;*.wv;*.aiff;*.mid;*.avi;*.mpg;"
    "*.mp4;*.wmv;*.mkv";

const char* const kWords[] = {"Midnight", "River", "Silver", "Lantern", "Blue",   "Hours",  "Electric",
                              "Garden",   "Winter", "Echo",  "Paper",   "Heart",  "Northern", "Lights",
                              "Broken",   "Radio",  "Golden", "Shadow", "Velvet", "Morning", "Distant",
                              "Thunder",  "Glass",  "Ocean",  "Wild",   "Fire",   "Quiet",  "Storm"};
constexpr int kWordCount = sizeof kWords / sizeof kWords[0];
const char* const kMediaExtensions[] = {"mp3", "mp3", "mp3", "mp3", "mp3", "flac", "flac", "m4a", "wma", "ogg"};
const char* const kOtherFiles[] = {"cover.jpg", "folder.jpg", "album.cue", "rip.log"};

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string Words(unsigned seed, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i) text += ' ';
    seed = seed * 1103515245u + 12345u;
    text += kWords[(seed >> 16) % kWordCount];
  }
  return text;
}

// The library's layout, the same at every run: albums of 16 tracks and 4 other files (every
// seventh album split into two discs), ten albums an artist. Calls file(path, media) for every
// file and folder(path) for every folder before its files; stops after about `files` files.
struct Layout {
  std::string root;
  int files = 0;

  void ForEach(const std::function<void(const std::string&)>& folder,
               const std::function<void(const std::string&, int index)>& file) const {
    int index = 0;
    for (int artist = 0; index < files; ++artist) {
      char name[200];
      std::snprintf(name, sizeof name, "%s\\Artist %04d - The %s", root.c_str(), artist,
                    Words(artist * 7u + 1, 2).c_str());
      const std::string artistPath = name;
      folder(artistPath);
      for (int album = 0; album < 10 && index < files; ++album) {
        std::snprintf(name, sizeof name, "%s\\%d - %s", artistPath.c_str(), 1970 + (artist + album) % 50,
                      Words(artist * 131u + album, 1 + album % 3).c_str());
        const std::string albumPath = name;
        folder(albumPath);
        for (const char* other : kOtherFiles) file(albumPath + "\\" + other, index++);
        const int discs = (artist * 10 + album) % 7 == 0 ? 2 : 1;
        for (int disc = 1; disc <= discs; ++disc) {
          std::string discPath = albumPath;
          if (discs > 1) {
            discPath += "\\CD" + std::to_string(disc);
            folder(discPath);
          }
          for (int track = 1; track <= 16 / discs; ++track) {
            std::snprintf(name, sizeof name, "%s\\%02d - %s.%s", discPath.c_str(), track,
                          Words(index * 2654435761u, 2 + track % 4).c_str(), kMediaExtensions[index % 10]);
            file(name, index++);
          }
        }
      }
    }
  }
};

void CreateEmptyFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

std::string ReadWhole(const std::string& path) {
  std::string bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  std::fclose(file);
  return bytes;
}

void WriteWhole(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

int CountLines(const std::string& path) {
  const std::string bytes = ReadWhole(path);
  return static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n'));
}

// The limit: one bare listing per directory, nothing done with the entries.
void BareWalk(const std::string& directory, long& files, long& folders) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((directory + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  std::vector<std::string> children;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (std::strcmp(entry.cFileName, ".") != 0 && std::strcmp(entry.cFileName, "..") != 0) {
        children.push_back(directory + "\\" + entry.cFileName);
      }
    } else {
      ++files;
    }
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  folders += static_cast<long>(children.size());
  for (const std::string& child : children) BareWalk(child, files, folders);
}

// In each round one file in a hundred is removed and a new track added beside it.
std::string AddedName(const std::string& path, int round) {
  return path.substr(0, path.rfind('\\')) + "\\zz new " + std::to_string(round) + " - " +
         path.substr(path.rfind('\\') + 1, 8) + ".mp3";
}
bool Churned(int index, int round) { return index % 100 == 17 + round * 13; }

// The album rounds: what changes in round r, found among the layout's folders. Artists are the
// folders one level below the root, albums two levels below.
struct AlbumChanges {
  std::string work;
  std::vector<std::string> artists;
  std::vector<std::string> albums;

  AlbumChanges(const Layout& layout, std::string work_folder) : work(std::move(work_folder)) {
    const std::size_t root_depth = Depth(layout.root);
    layout.ForEach(
        [&](const std::string& folder) {
          const std::size_t depth = Depth(folder) - root_depth;
          if (depth == 1) artists.push_back(folder);
          if (depth == 2) albums.push_back(folder);
        },
        [](const std::string&, int) {});
  }
  static std::size_t Depth(const std::string& path) {
    return static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\'));
  }
  bool Usable() const { return artists.size() >= 2 && albums.size() >= 8; }
  // Spread over the library, the same at every run.
  std::string NewAlbum(int round) const {
    return artists[(artists.size() * static_cast<std::size_t>(2 * round + 1)) / (2 * kRounds)] +
           "\\zz quick " + std::to_string(round);
  }
  std::string RemovedAlbum(int round) const {
    return albums[(albums.size() * static_cast<std::size_t>(2 * round + 1)) / (2 * kRounds + 1)];
  }
  std::string Aside(int round) const { return work + "\\aside-" + std::to_string(round); }
  std::string AddedTrack(int round, int k) const {
    return albums[(albums.size() * static_cast<std::size_t>(3 * round + k + 1)) / (3 * kRounds + 2)] +
           "\\zz quick " + std::to_string(round) + "-" + std::to_string(k) + ".mp3";
  }
  std::string NewTrack(int round, int track) const {
    char name[32];
    std::snprintf(name, sizeof name, "\\%02d - Track.mp3", track);
    return NewAlbum(round) + name;
  }

  void Apply(int round) const {
    CreateDirectoryA(NewAlbum(round).c_str(), nullptr);
    for (int track = 1; track <= 16; ++track) CreateEmptyFile(NewTrack(round, track));
    // Removed from the library by moving it out of it, so that it can be put back.
    MoveFileA(RemovedAlbum(round).c_str(), Aside(round).c_str());
    for (int k = 0; k < 3; ++k) CreateEmptyFile(AddedTrack(round, k));
  }
  void Undo(int round) const {
    for (int track = 1; track <= 16; ++track) DeleteFileA(NewTrack(round, track).c_str());
    RemoveDirectoryA(NewAlbum(round).c_str());
    if (GetFileAttributesA(Aside(round).c_str()) != INVALID_FILE_ATTRIBUTES) {
      MoveFileA(Aside(round).c_str(), RemovedAlbum(round).c_str());
    }
    for (int k = 0; k < 3; ++k) DeleteFileA(AddedTrack(round, k).c_str());
  }
};

// Puts back the files the rounds removed and removes those they added.
void RestoreLibrary(const Layout& layout, const AlbumChanges& albums) {
  layout.ForEach([](const std::string&) {},
                 [](const std::string& path, int index) {
                   for (int round = 0; round < kRounds; ++round) {
                     if (!Churned(index, round)) continue;
                     DeleteFileA(AddedName(path, round).c_str());
                     CreateEmptyFile(path);
                   }
                 });
  if (!albums.Usable()) return;
  for (int round = kRounds - 1; round >= 0; --round) albums.Undo(round);
}

// How the refreshes are driven: the rescan itself, as the refresh driver calls it, or the plug-in
// through its export.
class Driver {
 public:
  Driver(std::string library, std::string logs) : library_(std::move(library)), logs_(std::move(logs)) {}
  virtual ~Driver() = default;
  virtual void Init() {
    ScanLogUpdate update;
    update.init_mode = true;
    update.empty_when_unreachable = true;
    UpdateScanLog(library_.c_str(), logs_.c_str(), update);
  }
  virtual void Timer() {
    const std::string changes = logs_ + "fldrscan.out";
    ScanLogUpdate update;
    update.change_list = changes.c_str();
    // As the plug-in does by default: quick once a full walk has been made.
    update.quick_allowed = true;
    UpdateScanLog(library_.c_str(), logs_.c_str(), update);
  }
  virtual void Purge() {
    const std::string changes = logs_ + "fldrscan2.out";
    ScanLogUpdate update;
    update.rotate_only = true;
    update.change_list = changes.c_str();
    update.removals = true;
    UpdateScanLog(library_.c_str(), logs_.c_str(), update);
  }
  // The comparison of the scan log with the previous one, as a rescan compares its new scan.
  void CompareOnly() {
    ScanLogNames names;
    if (!FormScanLogNames(library_.c_str(), logs_.c_str(), &names)) return;
    AppendScanLogChanges(names.previous, names.log, (logs_ + "compare.out").c_str(), true);
  }

 protected:
  std::string library_;
  std::string logs_;
};

constexpr char kWatchFoldersKey[] = "Software\\Norvane\\Tamblin\\1.0\\Preferences\\WatchFolders";

void SetString(const char* subkey, const char* name, const std::string& value) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != 0) return;
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

void SetDword(const char* subkey, const char* name, DWORD value) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != 0) return;
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
}

class DllDriver : public Driver {
 public:
  DllDriver(std::string library, std::string logs, const char* dll)
      : Driver(std::move(library), std::move(logs)), module_(LoadLibraryA(dll)) {
    if (module_) callback_ = reinterpret_cast<Callback>(reinterpret_cast<void*>(GetProcAddress(module_, "EventCallback")));
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Norvane");
    SetString(kWatchFoldersKey, "LogPath", logs_);
    SetDword(kWatchFoldersKey, "NumFolders", 1);
    SetString(FolderKey().c_str(), "Folder", library_);
  }
  ~DllDriver() override {
    if (module_) FreeLibrary(module_);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Norvane");
  }
  bool Loaded() const { return callback_ != nullptr; }
  void Init() override { callback_("WatchFolders_InitLogs"); }
  void Timer() override {
    // The change notice, then the timer: as the host would send them.
    callback_("WatchFolder0");
    callback_("WatchFolders_Timer");
  }
  void Purge() override { callback_(("Purge " + library_).c_str()); }

 private:
  using Callback = HRESULT(__stdcall*)(const char*);
  static std::string FolderKey() { return std::string(kWatchFoldersKey) + "\\WatchFolder0"; }
  HMODULE module_;
  Callback callback_ = nullptr;
};

double PeakMegabytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

std::string ExeDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path);
  return text.substr(0, text.rfind('\\'));
}

void InstallFormatsIni() {
  const std::string dataCache = ExeDirectory() + "\\DataCache";
  CreateDirectoryA(dataCache.c_str(), nullptr);
  CreateDirectoryA((dataCache + "\\Formats").c_str(), nullptr);
  WriteWhole(dataCache + "\\Formats\\formats.ini",
             std::string("[searchpatterns]\r\next1=") + kGeneralList + "\r\n[image]\r\nimageext=*.jpg;*.png\r\n");
}

void Row(const char* stage, double seconds, long files, const char* note = "") {
  std::printf("  %-22s %9.3f s %9.2f us/file  %s\n", stage, seconds, seconds * 1e6 / (files ? files : 1), note);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: scanbench <work folder> <files> [--dll <watchfolders.dll>]\n");
    return 2;
  }
  const std::string work = argv[1];
  const int files = std::atoi(argv[2]);
  const char* dll = argc >= 5 && std::strcmp(argv[3], "--dll") == 0 ? argv[4] : nullptr;
  Layout layout{work + "\\lib", files};
  const std::string logs = work + "\\logs\\";

  // The library, made once and kept.
  const std::string marker = work + "\\layout-" + std::to_string(kLayoutVersion) + "-" + std::to_string(files);
  CreateDirectoryA(work.c_str(), nullptr);
  if (GetFileAttributesA(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
    const double start = Now();
    CreateDirectoryA(layout.root.c_str(), nullptr);
    layout.ForEach([](const std::string& folder) { CreateDirectoryA(folder.c_str(), nullptr); },
                   [](const std::string& path, int) { CreateEmptyFile(path); });
    CreateEmptyFile(marker);
    std::printf("generated %d files in %.1f s\n", files, Now() - start);
  }
  // Undo the churn of an earlier run that did not finish.
  const AlbumChanges albums(layout, work);
  RestoreLibrary(layout, albums);
  InstallFormatsIni();
  CreateDirectoryA(logs.c_str(), nullptr);
  for (const char* name : {"fldrscan.out", "fldrscan2.out", "compare.out"}) DeleteFileA((logs + name).c_str());
  ScanLogNames names;
  FormScanLogNames(layout.root.c_str(), logs.c_str(), &names);
  DeleteFileA(names.log);
  DeleteFileA(names.previous);
  DeleteFileA((logs + names.stem + "scan.idx").c_str());
  // Directory stamps this fresh are not trusted by a quick refresh: let those the restoring
  // touched settle before the first scan.
  Sleep(3000);

  Driver direct(layout.root, logs);
  std::unique_ptr<DllDriver> plugin;
  if (dll) {
    plugin = std::make_unique<DllDriver>(layout.root, logs, dll);
    if (!plugin->Loaded()) {
      std::fprintf(stderr, "scanbench: cannot load %s\n", dll);
      return 1;
    }
  }
  Driver& driver = plugin ? *plugin : direct;

  // Once to fill the caches; the measured walks come with the timer rounds.
  long walkedFiles = 0, walkedFolders = 0;
  BareWalk(layout.root, walkedFiles, walkedFolders);

  double start = Now();
  driver.Init();
  const double init = Now() - start;
  const int media = CountLines(names.log);

  // Each round: 1% of the files removed and as many tracks added, then a bare walk, the timer
  // refresh and a bare walk again, so that the walks and the refresh meet the same tree, caches
  // and machine load.
  std::vector<double> walks, timers;
  int added = 0, reported = 0;
  auto timedWalk = [&] {
    long f = 0, d = 0;
    const double begin = Now();
    BareWalk(layout.root, f, d);
    walks.push_back(Now() - begin);
  };
  for (int round = 0; round < kRounds; ++round) {
    layout.ForEach([](const std::string&) {},
                   [&](const std::string& path, int index) {
                     if (!Churned(index, round)) return;
                     DeleteFileA(path.c_str());
                     CreateEmptyFile(AddedName(path, round));
                     ++added;
                   });
    timedWalk();
    const int before = CountLines(logs + "fldrscan.out");
    start = Now();
    driver.Timer();
    timers.push_back(Now() - start);
    reported += CountLines(logs + "fldrscan.out") - before;
    timedWalk();
  }
  const double walk = Median(walks);
  const double timer = Median(timers);

  // The album rounds, after the stamps of the spread rounds' folders have settled and a refresh
  // has recorded them: what a quick refresh meets between two timers of a normal day.
  std::vector<double> quicks;
  Sampler sampler;
  if (albums.Usable()) {
    Sleep(3000);
    driver.Timer();
    walks.clear();
    for (int round = 0; round < kRounds; ++round) {
      albums.Apply(round);
      timedWalk();
      start = Now();
      driver.Timer();
      quicks.push_back(Now() - start);
      timedWalk();
    }
    // The same changes undone, one round at a time, each followed by a quick refresh that is
    // sampled: sampling slows what it samples, so these are not the timed ones.
    for (int round = kRounds - 1; round >= 0; --round) {
      albums.Undo(round);
      sampler.Start();
      driver.Timer();
      sampler.Stop();
    }
  }
  const double quick = quicks.empty() ? 0 : Median(quicks);
  const double quickWalk = walks.empty() ? walk : Median(walks);

  std::vector<double> compares;
  for (int i = 0; i < kRounds; ++i) {
    start = Now();
    direct.CompareOnly();
    compares.push_back(Now() - start);
  }
  const double compare = Median(compares);

  start = Now();
  driver.Purge();
  const double purge = Now() - start;
  const int removed = CountLines(logs + "fldrscan2.out");

  plugin.reset();
  RestoreLibrary(layout, albums);

  const double peak = PeakMegabytes();
  std::printf("N=%d: %ld files in %ld folders, %d media files logged, driver %s\n", files, walkedFiles,
              walkedFolders + 1, media, dll ? "plug-in (EventCallback)" : "scan functions");
  Row("bare walk", walk, walkedFiles);
  Row("init refresh", init, walkedFiles, "first scan log");
  char note[96];
  std::snprintf(note, sizeof note, "+%d/-%d files a round, %d additions reported", added / kRounds,
                added / kRounds, reported);
  Row("timer refresh", timer, walkedFiles, note);
  Row("quick refresh", quick, walkedFiles, "+1 album, -1 album, +3 tracks a round");
  Row("compare alone", compare, walkedFiles, "additions and removals");
  std::snprintf(note, sizeof note, "%d removals reported", removed);
  Row("purge", purge, walkedFiles, note);
  int samples = 0;
  const std::vector<Sampler::Share> shares = sampler.Report(&samples);
  std::printf("  where quick refreshes spend their time (%d samples of the rounds undone; inclusive, self):\n",
              samples);
  int shown = 0;
  for (const Sampler::Share& share : shares) {
    if (share.inclusive * 100 < samples * 2 || ++shown > 24) continue;
    std::printf("    %5.1f%% %5.1f%%  %s\n", 100.0 * share.inclusive / samples, 100.0 * share.self / samples,
                share.function.c_str());
  }
  std::printf(
      "bench N=%d walk_s=%.3f timer_s=%.3f compare_s=%.3f timer_ratio=%.2f compare_ratio=%.3f peak_mb=%.1f "
      "quick_s=%.3f quick_ratio=%.3f\n",
      files, walk, timer, compare, timer / walk, compare / walk, peak, quick, quick / quickWalk);
  return 0;
}
