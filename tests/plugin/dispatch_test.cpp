// Dispatch of event strings, with the refresh, the purge and the settings layer replaced at link
// time by recorders: which operation an event reaches, with which folder text or key path, and
// that nothing escapes the export. (The real registry is exercised through the DLL.)
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugin/eventcallback.h"
#include "plugin/refresh.h"
#include "prefs/prefs.h"

namespace {

// Every operation reached, in order: "timer", "init", "purge <folder>", "<key path>|<name>=<value>".
std::vector<std::string> g_calls;
DWORD g_skip_folder_scan = 0;
enum class Fault { kNone, kBadAlloc, kRuntimeError, kInt } g_fault = Fault::kNone;

void Record(const std::string& call) {
  g_calls.push_back(call);
  switch (g_fault) {
    case Fault::kNone: break;
    case Fault::kBadAlloc: throw std::bad_alloc();
    case Fault::kRuntimeError: throw std::runtime_error("refresh failed");
    case Fault::kInt: throw 7;
  }
}

}  // namespace

// Stand-ins for the refresh driver and the settings layer: this program links them in place of
// the real ones.
void RefreshWatchFolders(bool init_mode) { Record(init_mode ? "init" : "timer"); }
void PurgeFolder(const char* folder) { Record(std::string("purge ") + folder); }

const char kPreferencesKey[] = "Software\\Norvane\\Tamblin\\1.0\\Preferences";
const char kWatchFoldersKey[] = "Software\\Norvane\\Tamblin\\1.0\\Preferences\\WatchFolders";

bool ReadPrefString(bool, const char*, const char*, char*, DWORD, const char*) { return false; }
bool ReadPrefString(bool, const char*, const char*, char*, DWORD, const char*, bool*) {
  return false;
}
bool ReadPrefDword(bool current_user, const char* name, DWORD default_value, DWORD* destination,
                   const char* subkey) {
  if (current_user && std::strcmp(name, "SkipFolderScan") == 0 &&
      std::strcmp(subkey, kPreferencesKey) == 0) {
    *destination = g_skip_folder_scan;
    return true;
  }
  *destination = default_value;
  return false;
}
bool WritePrefDword(bool current_user, const char* name, DWORD value, const char* subkey) {
  if (current_user) g_calls.push_back(std::string(subkey) + "|" + name + "=" + std::to_string(value));
  return true;
}

namespace {

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_fault = Fault::kNone;
    g_skip_folder_scan = 0;
  }
  void TearDown() override { g_fault = Fault::kNone; }
};

std::string DirtyWrite(const std::string& name, int value) {
  return std::string(kWatchFoldersKey) + "\\" + name + "|Dirty=" + std::to_string(value);
}

struct RouteCase {
  const char* event;
  std::vector<std::string> calls;
};

class Routes : public Dispatch, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(Routes, EventReachesItsOperation) {
  EXPECT_EQ(0, EventCallback(GetParam().event));
  EXPECT_EQ(GetParam().calls, g_calls);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Routes,
    ::testing::Values(
        RouteCase{"WatchFolders_Timer", {"timer"}}, RouteCase{"watchfolders_timer", {"timer"}},
        RouteCase{"WATCHFOLDERS_TIMER", {"timer"}}, RouteCase{"WatchFolders_InitLogs", {"init"}},
        RouteCase{"watchfolders_initlogs", {"init"}}, RouteCase{"WATCHFOLDERS_INITLOGS", {"init"}},
        // Not the whole name: a change notice for a subkey of that name.
        RouteCase{"WatchFolders_Timer ", {DirtyWrite("WatchFolders_Timer ", 1)}},
        RouteCase{"WatchFolders_TimerX", {DirtyWrite("WatchFolders_TimerX", 1)}},
        RouteCase{"WatchFolders_Time", {DirtyWrite("WatchFolders_Time", 1)}},
        RouteCase{"WatchFolder7", {DirtyWrite("WatchFolder7", 1)}},
        RouteCase{"watchFOLDER7", {DirtyWrite("watchFOLDER7", 1)}},
        RouteCase{"WatchFolder", {DirtyWrite("WatchFolder", 1)}},
        RouteCase{"purge:D:\\Photos", {"purge D:\\Photos"}},
        RouteCase{"Purge C:\\Pictures", {"purge C:\\Pictures"}},
        RouteCase{"PURGE|x", {"purge x"}}, RouteCase{"PurgeXD:\\a b\\", {"purge D:\\a b\\"}},
        RouteCase{"Purge", {}}, RouteCase{"Purge:", {}}, RouteCase{"Purg", {}},
        RouteCase{"Hello", {}}, RouteCase{"", {}}, RouteCase{"WatchFolde", {}}));

TEST_F(Dispatch, SkipFolderScanSuppressesSettingAndClearing) {
  g_skip_folder_scan = 1;
  EXPECT_EQ(0, EventCallback("WatchFolder7"));
  EXPECT_EQ(0, SetFolderDirty("WatchFolder7", false));
  EXPECT_TRUE(g_calls.empty());
  g_skip_folder_scan = 0;
  EXPECT_EQ(0, SetFolderDirty("WatchFolderPicture", false));
  EXPECT_EQ(std::vector<std::string>{DirtyWrite("WatchFolderPicture", 0)}, g_calls);
}

TEST_F(Dispatch, NoticeNameMustFitTheKeyPathWhole) {
  // WatchFolders (53 bytes), "\\" and the name must leave room for the NUL in 512 bytes.
  const std::string fits = "WatchFolder" + std::string(457 - 11, 'x');
  EXPECT_EQ(0, EventCallback(fits.c_str()));
  EXPECT_EQ(std::vector<std::string>{DirtyWrite(fits, 1)}, g_calls);
  EXPECT_EQ(511u, std::strlen(kWatchFoldersKey) + 1 + fits.size());

  g_calls.clear();
  EXPECT_EQ(0, EventCallback((fits + "x").c_str()));
  EXPECT_EQ(0, EventCallback(("WatchFolder" + std::string(100000, 'x')).c_str()));
  EXPECT_EQ(0, SetFolderDirty((fits + "x").c_str(), false));
  EXPECT_TRUE(g_calls.empty()) << "an overlong name was cut and written";
}

TEST_F(Dispatch, NullEventIsRefused) {
  EXPECT_EQ(E_POINTER, EventCallback(nullptr));
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(E_POINTER, SetFolderDirty(nullptr, true));
}

// Places the text so that its terminator is the last readable byte before an inaccessible page:
// reading one byte past the end faults.
class TextAtPageEnd {
 public:
  explicit TextAtPageEnd(const char* text) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
    base_ = static_cast<char*>(
        VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    const std::size_t size = std::strlen(text) + 1;
    text_ = base_ + page_ - size;
    std::memcpy(text_, text, size);
  }
  ~TextAtPageEnd() { VirtualFree(base_, 0, MEM_RELEASE); }
  TextAtPageEnd(const TextAtPageEnd&) = delete;
  TextAtPageEnd& operator=(const TextAtPageEnd&) = delete;
  const char* Text() const { return text_; }

 private:
  std::size_t page_ = 0;
  char* base_ = nullptr;
  char* text_ = nullptr;
};

TEST_F(Dispatch, ShortPurgeIsNeverReadPastItsEnd) {
  for (const char* event : {"Purge", "Purge:", "P", "", "WatchFolders_Timer"}) {
    TextAtPageEnd placed(event);
    EXPECT_EQ(0, EventCallback(placed.Text())) << event;
  }
  EXPECT_EQ(std::vector<std::string>{"timer"}, g_calls);

  TextAtPageEnd shortest("Purge:x");
  EXPECT_EQ(0, EventCallback(shortest.Text()));
  EXPECT_EQ((std::vector<std::string>{"timer", "purge x"}), g_calls);
}

TEST_F(Dispatch, NothingThrownLeavesTheExport) {
  for (Fault fault : {Fault::kBadAlloc, Fault::kRuntimeError, Fault::kInt}) {
    g_fault = fault;
    EXPECT_EQ(0, EventCallback("WatchFolders_Timer"));
    EXPECT_EQ(0, EventCallback("WatchFolders_InitLogs"));
    EXPECT_EQ(0, EventCallback("Purge:C:\\Music"));
  }
  // Each event still reached its own operation after the one before had thrown.
  std::vector<std::string> reached;
  for (int round = 0; round < 3; ++round) reached.insert(reached.end(), {"timer", "init", "purge C:\\Music"});
  EXPECT_EQ(reached, g_calls);
}

}  // namespace
