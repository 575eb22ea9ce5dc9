// Every file-system call of a refresh, an init and a purge made to fail in turn, through the DLL.
//
// Each scenario runs once counting the plug-in's file-system calls, then once for every N with
// the N-th call failing with an error a real file system gives at that point (a share that drops,
// a full disk, a file held by someone else), then once more cleanly, as a host's next timer would.
// The calls are caught in the import tables of the plug-in and of the C runtime it writes its
// files through, and only while EventCallback runs. Every directory stamp reads as an hour old,
// so the timer's rescan is a quick one: it copies the untouched folders' lines from the scan log,
// compares only what it listed, and keeps the old scan log as the previous one by a second name.
// After every round:
// - no file still on disk was ever reported removed, and no file that was never added is
//   reported added;
// - every added media file has been reported at least once (every removed picture too);
// - each scan log is whole: only complete lines, each naming a file of the old or the new scan,
//   and every file of both still listed; after the clean run, exactly the new scan.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "importpatch.h"
#include "plugindll.h"
#include "stampmodel.h"
#include "testfiles.h"
#include "testregistry.h"

namespace {

// ---- the injector ------------------------------------------------------------------------------

struct Injector {
  bool armed = false;
  int calls = 0;
  int fail_at = 0;  // 0: count only
  int listings = 0;  // directory listings begun
  std::string failed;
};
Injector g_injector;

// True when this call is the one to fail; the error is then the call's last error.
bool FailNow(const char* function, DWORD error) {
  if (!g_injector.armed || ++g_injector.calls != g_injector.fail_at) return false;
  g_injector.failed = function;
  SetLastError(error);
  return true;
}

// The stand-ins forward to the system's functions through this program's own imports, which are
// never patched.
HANDLE WINAPI InjectCreateFileA(LPCSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g) {
  if (FailNow("CreateFileA", ERROR_SHARING_VIOLATION)) return INVALID_HANDLE_VALUE;
  return CreateFileA(a, b, c, d, e, f, g);
}
HANDLE WINAPI InjectCreateFileW(LPCWSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g) {
  if (FailNow("CreateFileW", ERROR_SHARING_VIOLATION)) return INVALID_HANDLE_VALUE;
  return CreateFileW(a, b, c, d, e, f, g);
}
BOOL WINAPI InjectReadFile(HANDLE a, LPVOID b, DWORD c, LPDWORD d, LPOVERLAPPED e) {
  if (FailNow("ReadFile", ERROR_NETNAME_DELETED)) return FALSE;
  return ReadFile(a, b, c, d, e);
}
BOOL WINAPI InjectWriteFile(HANDLE a, LPCVOID b, DWORD c, LPDWORD d, LPOVERLAPPED e) {
  if (FailNow("WriteFile", ERROR_DISK_FULL)) {
    if (d) *d = 0;
    return FALSE;
  }
  return WriteFile(a, b, c, d, e);
}
BOOL WINAPI InjectFlushFileBuffers(HANDLE a) {
  if (FailNow("FlushFileBuffers", ERROR_IO_DEVICE)) return FALSE;
  return FlushFileBuffers(a);
}
// Not ListingFault: these fail whichever listing is the N-th file-system call, not a named directory's.
HANDLE WINAPI InjectFindFirstFileA(LPCSTR a, LPWIN32_FIND_DATAA b) {
  if (FailNow("FindFirstFileA", ERROR_NETNAME_DELETED)) return INVALID_HANDLE_VALUE;
  return FindFirstFileA(a, b);
}
HANDLE WINAPI InjectFindFirstFileW(LPCWSTR a, LPWIN32_FIND_DATAW b) {
  if (g_injector.armed) ++g_injector.listings;
  if (FailNow("FindFirstFileW", ERROR_NETNAME_DELETED)) return INVALID_HANDLE_VALUE;
  return FindFirstFileW(a, b);
}
BOOL WINAPI InjectFindNextFileA(HANDLE a, LPWIN32_FIND_DATAA b) {
  if (FailNow("FindNextFileA", ERROR_NETNAME_DELETED)) return FALSE;
  return FindNextFileA(a, b);
}
BOOL WINAPI InjectFindNextFileW(HANDLE a, LPWIN32_FIND_DATAW b) {
  if (FailNow("FindNextFileW", ERROR_NETNAME_DELETED)) return FALSE;
  return FindNextFileW(a, b);
}
DWORD WINAPI InjectGetFileAttributesA(LPCSTR a) {
  if (FailNow("GetFileAttributesA", ERROR_NETNAME_DELETED)) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesA(a);
}
DWORD WINAPI InjectGetFileAttributesW(LPCWSTR a) {
  if (FailNow("GetFileAttributesW", ERROR_NETNAME_DELETED)) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesW(a);
}
BOOL WINAPI InjectMoveFileA(LPCSTR a, LPCSTR b) {
  if (FailNow("MoveFileA", ERROR_ACCESS_DENIED)) return FALSE;
  return MoveFileA(a, b);
}
BOOL WINAPI InjectMoveFileExA(LPCSTR a, LPCSTR b, DWORD c) {
  if (FailNow("MoveFileExA", ERROR_ACCESS_DENIED)) return FALSE;
  return MoveFileExA(a, b, c);
}
BOOL WINAPI InjectMoveFileExW(LPCWSTR a, LPCWSTR b, DWORD c) {
  if (FailNow("MoveFileExW", ERROR_ACCESS_DENIED)) return FALSE;
  return MoveFileExW(a, b, c);
}
BOOL WINAPI InjectCopyFileA(LPCSTR a, LPCSTR b, BOOL c) {
  if (FailNow("CopyFileA", ERROR_DISK_FULL)) return FALSE;
  return CopyFileA(a, b, c);
}
BOOL WINAPI InjectCopyFileW(LPCWSTR a, LPCWSTR b, BOOL c) {
  if (FailNow("CopyFileW", ERROR_DISK_FULL)) return FALSE;
  return CopyFileW(a, b, c);
}
BOOL WINAPI InjectDeleteFileA(LPCSTR a) {
  if (FailNow("DeleteFileA", ERROR_ACCESS_DENIED)) return FALSE;
  return DeleteFileA(a);
}
BOOL WINAPI InjectDeleteFileW(LPCWSTR a) {
  if (FailNow("DeleteFileW", ERROR_ACCESS_DENIED)) return FALSE;
  return DeleteFileW(a);
}
BOOL WINAPI InjectCreateDirectoryA(LPCSTR a, LPSECURITY_ATTRIBUTES b) {
  if (FailNow("CreateDirectoryA", ERROR_ACCESS_DENIED)) return FALSE;
  return CreateDirectoryA(a, b);
}
BOOL WINAPI InjectCreateDirectoryW(LPCWSTR a, LPSECURITY_ATTRIBUTES b) {
  if (FailNow("CreateDirectoryW", ERROR_ACCESS_DENIED)) return FALSE;
  return CreateDirectoryW(a, b);
}
BOOL WINAPI InjectCreateHardLinkA(LPCSTR a, LPCSTR b, LPSECURITY_ATTRIBUTES c) {
  if (FailNow("CreateHardLinkA", ERROR_NOT_SAME_DEVICE)) return FALSE;
  return CreateHardLinkA(a, b, c);
}
BOOL WINAPI InjectCreateHardLinkW(LPCWSTR a, LPCWSTR b, LPSECURITY_ATTRIBUTES c) {
  if (FailNow("CreateHardLinkW", ERROR_NOT_SAME_DEVICE)) return FALSE;
  return CreateHardLinkW(a, b, c);
}

struct StandIn {
  const char* function;
  void* stand_in;
};
const StandIn kStandIns[] = {
    {"CreateFileA", reinterpret_cast<void*>(&InjectCreateFileA)},
    {"CreateFileW", reinterpret_cast<void*>(&InjectCreateFileW)},
    {"ReadFile", reinterpret_cast<void*>(&InjectReadFile)},
    {"WriteFile", reinterpret_cast<void*>(&InjectWriteFile)},
    {"FlushFileBuffers", reinterpret_cast<void*>(&InjectFlushFileBuffers)},
    {"FindFirstFileA", reinterpret_cast<void*>(&InjectFindFirstFileA)},
    {"FindFirstFileW", reinterpret_cast<void*>(&InjectFindFirstFileW)},
    {"FindNextFileA", reinterpret_cast<void*>(&InjectFindNextFileA)},
    {"FindNextFileW", reinterpret_cast<void*>(&InjectFindNextFileW)},
    {"GetFileAttributesA", reinterpret_cast<void*>(&InjectGetFileAttributesA)},
    {"GetFileAttributesW", reinterpret_cast<void*>(&InjectGetFileAttributesW)},
    {"MoveFileA", reinterpret_cast<void*>(&InjectMoveFileA)},
    {"MoveFileExA", reinterpret_cast<void*>(&InjectMoveFileExA)},
    {"MoveFileExW", reinterpret_cast<void*>(&InjectMoveFileExW)},
    {"CopyFileA", reinterpret_cast<void*>(&InjectCopyFileA)},
    {"CopyFileW", reinterpret_cast<void*>(&InjectCopyFileW)},
    {"DeleteFileA", reinterpret_cast<void*>(&InjectDeleteFileA)},
    {"DeleteFileW", reinterpret_cast<void*>(&InjectDeleteFileW)},
    {"CreateDirectoryA", reinterpret_cast<void*>(&InjectCreateDirectoryA)},
    {"CreateDirectoryW", reinterpret_cast<void*>(&InjectCreateDirectoryW)},
    {"CreateHardLinkA", reinterpret_cast<void*>(&InjectCreateHardLinkA)},
    {"CreateHardLinkW", reinterpret_cast<void*>(&InjectCreateHardLinkW)},
};

// ---- lines and sets ----------------------------------------------------------------------------

using Lines = std::vector<std::string>;
using Names = std::set<std::string>;

// The lines of a text file written in text mode; a last line without its CR LF comes back with
// "<torn>" in front, which no expected name has.
Lines ReadLines(const std::string& path) {
  Lines lines;
  const std::string bytes = ReadBytes(path);
  if (bytes == "<missing>") return lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back("<torn>" + bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string Show(const Names& names) {
  std::string text;
  for (const std::string& name : names) text += "\n    " + name;
  return text.empty() ? " (none)" : text;
}

// ---- the scenarios -----------------------------------------------------------------------------

enum class Scenario { kTimer, kInit, kPurge };

const char* ScenarioName(Scenario scenario) {
  switch (scenario) {
    case Scenario::kTimer:
      return "timer";
    case Scenario::kInit:
      return "init";
    case Scenario::kPurge:
      return "purge";
  }
  return "?";
}

class FaultInjectionTest : public PluginHostTest {
 protected:
  void SetUp() override {
    PluginHostTest::SetUp();
    // Every stamp reads as an hour old, as if the library had been left alone that long before
    // each round: the timer's rescan is then a quick one that takes the untouched folders from
    // the scan log, and its faults fall on that too.
    ResetStampRules();
    g_stamp_rules.clock_offset = -36000000000LL;
    stamps_ = std::make_unique<StampModel>(dll_->Module());
    ASSERT_TRUE(stamps_->Applied());
    std::set<std::string> caught;  // "plug-in FindFirstFileW", "runtime WriteFile", ...
    const std::pair<const char*, HMODULE> modules[] = {{"plug-in", dll_->Module()},
                                                       {"runtime", GetModuleHandleA("msvcrt.dll")}};
    for (const auto& [name, module] : modules) {
      for (const StandIn& stand_in : kStandIns) {
        auto patch = std::make_unique<ImportPatch>(module, "kernel32.dll", stand_in.function, stand_in.stand_in);
        if (!patch->Applied()) continue;
        caught.insert(std::string(name) + " " + stand_in.function);
        patches_.push_back(std::move(patch));
      }
    }
    // At the least the plug-in's listings and the runtime's reads and writes are caught: without
    // them no listing would fail and no log would be cut short, and every round would pass.
    ASSERT_TRUE(caught.count("plug-in FindFirstFileW") || caught.count("plug-in FindFirstFileA"));
    ASSERT_TRUE(caught.count("plug-in FindNextFileW") || caught.count("plug-in FindNextFileA"));
    ASSERT_TRUE(caught.count("runtime ReadFile") && caught.count("runtime WriteFile"));
  }
  void TearDown() override {
    g_injector = Injector();
    patches_.clear();
    stamps_.reset();
    ResetStampRules();
    PluginHostTest::TearDown();
  }
  std::string FormatsContents() const override {
    return "[searchpatterns]\r\next1=*.mp3\r\n[image]\r\nimageext=*.jpg;*.png\r\n";
  }

  // One round: a library and a pictures folder of their own, scanned cleanly at the host's start
  // and consumed; then the scenario with the fail_at-th call failing (0: none, counting them);
  // then a clean run; then the checks. Returns the number of calls the faulted run made.
  int Round(Scenario scenario, int fail_at, std::vector<std::string>* failures) {
    const std::string run = *temp_ / ("run" + std::to_string(round_++));
    const std::string logs = run + "\\logs\\";
    const std::string music = run + "\\music";
    const std::string pictures = run + "\\pictures";
    MakeFolder(logs);
    for (const char* name : {"a.mp3", "sub\\b.mp3", "kept\\c.mp3", "gone.mp3", "notes.txt"}) {
      WriteBytes(music + "\\" + name, "x");
    }
    for (const char* name : {"p1.jpg", "sub\\p2.png", "kept\\p3.jpg", "gone.jpg"}) {
      WriteBytes(pictures + "\\" + name, "x");
    }
    SetRegString(kWatchFolders, "LogPath", logs);
    SetRegDword(kWatchFolders, "NumFolders", 1);
    SetRegString(kFolder0, "Folder", music);
    SetRegDword(kFolder0, "Dirty", 0);
    SetRegDword(kPicturesSubkey, "Dirty", 0);
    SetRegString(kPicturesPreference, "", pictures);
    Send("WatchFolders_InitLogs");
    DeleteFileA((logs + "fldrscan.out").c_str());
    DeleteFileA((logs + "fldrscan2.out").c_str());

    const std::string music_log = logs + ScanLogStem(music) + "scan.log";
    const std::string pictures_log = logs + ScanLogStem(pictures) + "scan.log";
    const Names old_music = {music + "\\a.mp3", music + "\\sub\\b.mp3", music + "\\kept\\c.mp3", music + "\\gone.mp3"};
    const Names old_pictures = {pictures + "\\p1.jpg", pictures + "\\sub\\p2.png", pictures + "\\kept\\p3.jpg",
                                pictures + "\\gone.jpg"};
    const Lines music_log_lines = ReadLines(music_log);
    if (Names(music_log_lines.begin(), music_log_lines.end()) != old_music) {
      failures->push_back("the clean start did not scan the library");
      return 0;
    }

    Names new_music = old_music;
    Names new_pictures = old_pictures;
    Names added_music;
    Names added_pictures;
    Names removed_pictures;
    if (scenario != Scenario::kPurge) {
      for (const char* name : {"new.mp3", "sub\\new2.mp3"}) {
        WriteBytes(music + "\\" + name, "x");
        new_music.insert(music + "\\" + name);
        added_music.insert(music + "\\" + name);
      }
      DeleteFileA((music + "\\gone.mp3").c_str());
      new_music.erase(music + "\\gone.mp3");
      for (const char* name : {"new.jpg", "sub\\new2.png"}) {
        WriteBytes(pictures + "\\" + name, "x");
        new_pictures.insert(pictures + "\\" + name);
        added_pictures.insert(pictures + "\\" + name);
      }
      DeleteFileA((pictures + "\\gone.jpg").c_str());
      new_pictures.erase(pictures + "\\gone.jpg");
      removed_pictures.insert(pictures + "\\gone.jpg");
    }
    if (scenario == Scenario::kTimer) {
      Send("WatchFolder0");
      Send("WatchFolderPicture");
    }
    const std::string purge = "Purge:" + music;

    // The faulted run.
    g_injector = Injector();
    g_injector.fail_at = fail_at;
    g_injector.armed = true;
    Send(scenario == Scenario::kTimer ? "WatchFolders_Timer"
                                      : scenario == Scenario::kInit ? "WatchFolders_InitLogs" : purge.c_str());
    g_injector.armed = false;
    const int calls = g_injector.calls;
    if (scenario == Scenario::kTimer && fail_at == 0 && g_injector.listings >= 6) {
      failures->push_back("the timer's rescan listed all 6 folders: it was no quick one");
    }
    const std::string context = std::string(ScenarioName(scenario)) + ", call " + std::to_string(fail_at) +
                                (g_injector.failed.empty() ? "" : " (" + g_injector.failed + ")") + ": ";

    const Names purged;  // what a purge leaves in the scan log
    CheckWhole(context + "music scan log after the fault", music_log, old_music,
               scenario == Scenario::kPurge ? purged : new_music, failures);
    if (scenario != Scenario::kPurge) {
      CheckWhole(context + "pictures scan log after the fault", pictures_log, old_pictures, new_pictures, failures);
    }

    // The host's next turn: the folders marked again, a clean timer (or the purge once more).
    if (scenario == Scenario::kPurge) {
      Send(purge);
    } else {
      Send("WatchFolder0");
      Send("WatchFolderPicture");
      Send("WatchFolders_Timer");
    }

    // What the host read, over both runs.
    Names music_added;
    for (const std::string& line : ReadLines(logs + "fldrscan.out")) music_added.insert(line);
    Names pictures_added;
    Names pictures_removed;
    for (const std::string& line : ReadLines(logs + "fldrscan2.out")) {
      if (!line.empty() && line[0] == '-') {
        pictures_removed.insert(line.substr(1));
      } else {
        pictures_added.insert(line);
      }
    }
    if (scenario == Scenario::kPurge) {
      // Every file of the last scan reported removed, nothing else reported.
      Expect(context + "purge removals", pictures_removed, old_music, old_music, failures);
      Expect(context + "purge additions", pictures_added, Names(), Names(), failures);
      CheckWhole(context + "music scan log after the clean purge", music_log, purged, purged, failures);
      return calls;
    }
    Expect(context + "music additions", music_added, added_music, added_music, failures);
    if (scenario == Scenario::kInit) {
      // Init lists every picture present; a removal may follow from the clean timer.
      Expect(context + "picture additions", pictures_added, added_pictures, new_pictures, failures);
      Expect(context + "picture removals", pictures_removed, Names(), removed_pictures, failures);
    } else {
      Expect(context + "picture additions", pictures_added, added_pictures, added_pictures, failures);
      Expect(context + "picture removals", pictures_removed, removed_pictures, removed_pictures, failures);
    }
    CheckWhole(context + "music scan log after the clean run", music_log, new_music, new_music, failures);
    CheckWhole(context + "pictures scan log after the clean run", pictures_log, new_pictures, new_pictures, failures);
    DeleteTree(run);
    return calls;
  }

  // The reported names hold every name of at_least and none outside at_most.
  static void Expect(const std::string& what, const Names& reported, const Names& at_least, const Names& at_most,
                     std::vector<std::string>* failures) {
    Names missing;
    std::set_difference(at_least.begin(), at_least.end(), reported.begin(), reported.end(),
                        std::inserter(missing, missing.end()));
    Names extra;
    std::set_difference(reported.begin(), reported.end(), at_most.begin(), at_most.end(),
                        std::inserter(extra, extra.end()));
    if (!missing.empty()) failures->push_back(what + ": never reported" + Show(missing));
    if (!extra.empty()) failures->push_back(what + ": wrongly reported" + Show(extra));
  }

  // A whole scan log: complete lines only, each of the old or the new scan, and every file of
  // both listed.
  static void CheckWhole(const std::string& what, const std::string& log, const Names& old_scan,
                         const Names& new_scan, std::vector<std::string>* failures) {
    const std::string bytes = ReadBytes(log);
    if (bytes == "<missing>") {
      failures->push_back(what + ": missing");
      return;
    }
    const Lines lines = ReadLines(log);
    const Names listed(lines.begin(), lines.end());
    Names both;
    std::set_intersection(old_scan.begin(), old_scan.end(), new_scan.begin(), new_scan.end(),
                          std::inserter(both, both.end()));
    Names either = old_scan;
    either.insert(new_scan.begin(), new_scan.end());
    Expect(what, listed, both, either, failures);
    if (listed.size() != lines.size()) failures->push_back(what + ": a line listed twice");
  }

  std::vector<std::unique_ptr<ImportPatch>> patches_;
  std::unique_ptr<StampModel> stamps_;
  int round_ = 0;
};

TEST_F(FaultInjectionTest, EveryFailingCallLosesNoChangeAndInventsNone) {
  int injected = 0;
  for (const Scenario scenario : {Scenario::kTimer, Scenario::kInit, Scenario::kPurge}) {
    SCOPED_TRACE(ScenarioName(scenario));
    std::vector<std::string> failures;
    const int calls = Round(scenario, 0, &failures);
    ASSERT_TRUE(failures.empty()) << "without a fault: " << failures.front();
    ASSERT_GT(calls, 0) << "the plug-in's file-system calls are not caught";
    for (int fail_at = 1; fail_at <= calls; ++fail_at) {
      Round(scenario, fail_at, &failures);
      ++injected;
      if (failures.size() > 20) break;
    }
    std::ostringstream report;
    for (const std::string& failure : failures) report << "\n  " << failure;
    EXPECT_TRUE(failures.empty()) << failures.size() << " faults:" << report.str();
    std::printf("%s: %d file-system calls, each failed once\n", ScenarioName(scenario), calls);
  }
  std::printf("%d injected faults\n", injected);
}

}  // namespace
