#include "listingfault.h"

#include <gtest/gtest.h>

#include <utility>

#include "testfiles.h"

namespace {

// What the one ListingFault asks for. The stand-ins forward through the originals the patches
// saved: a test program that patches its own imports would otherwise call itself.
struct Faults {
  std::string failing;
  DWORD failing_error = 0;
  std::string stopping;
  DWORD stopping_error = 0;
  HANDLE stopping_handle = INVALID_HANDLE_VALUE;  // the listing of stopping under way
  std::function<void(const std::string&)> before;
  decltype(&FindFirstFileA) first_a = nullptr;
  decltype(&FindFirstFileW) first_w = nullptr;
  decltype(&FindNextFileA) next_a = nullptr;
  decltype(&FindNextFileW) next_w = nullptr;
};
Faults* g_faults = nullptr;

bool IsSearchOf(const std::string& search, const std::string& directory) {
  return !directory.empty() && _stricmp(search.c_str(), (directory + "\\*").c_str()) == 0;
}

// Before the listing of search starts: true when it is to fail (the last error then set).
bool FailsAtStart(const std::string& search) {
  if (g_faults->before) g_faults->before(search);
  if (!IsSearchOf(search, g_faults->failing)) return false;
  SetLastError(g_faults->failing_error);
  return true;
}

// After a listing started: its handle is the one to stop when it lists stopping. A handle
// value the system hands out again for another listing stops nothing.
void NoteStarted(const std::string& search, HANDLE handle) {
  if (IsSearchOf(search, g_faults->stopping)) {
    g_faults->stopping_handle = handle;
  } else if (handle == g_faults->stopping_handle) {
    g_faults->stopping_handle = INVALID_HANDLE_VALUE;
  }
}

bool StopsHere(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE || handle != g_faults->stopping_handle) return false;
  SetLastError(g_faults->stopping_error);
  return true;
}

HANDLE WINAPI FaultyFindFirstFileA(LPCSTR search, LPWIN32_FIND_DATAA data) {
  if (FailsAtStart(search)) return INVALID_HANDLE_VALUE;
  const HANDLE handle = g_faults->first_a(search, data);
  NoteStarted(search, handle);
  return handle;
}

HANDLE WINAPI FaultyFindFirstFileW(LPCWSTR search, LPWIN32_FIND_DATAW data) {
  const std::string narrow = Narrow(search);
  if (FailsAtStart(narrow)) return INVALID_HANDLE_VALUE;
  const HANDLE handle = g_faults->first_w(search, data);
  NoteStarted(narrow, handle);
  return handle;
}

BOOL WINAPI FaultyFindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA data) {
  if (StopsHere(handle)) return FALSE;
  return g_faults->next_a(handle, data);
}

BOOL WINAPI FaultyFindNextFileW(HANDLE handle, LPWIN32_FIND_DATAW data) {
  if (StopsHere(handle)) return FALSE;
  return g_faults->next_w(handle, data);
}

template <typename Function>
void Keep(const std::unique_ptr<ImportPatch>& patch, Function& original) {
  original = reinterpret_cast<Function>(patch->Original());
}

}  // namespace

ListingFault::ListingFault(HMODULE module) {
  EXPECT_EQ(g_faults, nullptr) << "one ListingFault at a time";
  g_faults = new Faults;
  first_a_ = std::make_unique<ImportPatch>(module, "kernel32.dll", "FindFirstFileA",
                                           reinterpret_cast<void*>(&FaultyFindFirstFileA));
  first_w_ = std::make_unique<ImportPatch>(module, "kernel32.dll", "FindFirstFileW",
                                           reinterpret_cast<void*>(&FaultyFindFirstFileW));
  next_a_ = std::make_unique<ImportPatch>(module, "kernel32.dll", "FindNextFileA",
                                          reinterpret_cast<void*>(&FaultyFindNextFileA));
  next_w_ = std::make_unique<ImportPatch>(module, "kernel32.dll", "FindNextFileW",
                                          reinterpret_cast<void*>(&FaultyFindNextFileW));
  Keep(first_a_, g_faults->first_a);
  Keep(first_w_, g_faults->first_w);
  Keep(next_a_, g_faults->next_a);
  Keep(next_w_, g_faults->next_w);
  EXPECT_TRUE(Applied()) << "the module's listings are not caught";
}

ListingFault::~ListingFault() {
  first_a_.reset();
  first_w_.reset();
  next_a_.reset();
  next_w_.reset();
  delete g_faults;
  g_faults = nullptr;
}

bool ListingFault::Applied() const {
  return (first_a_->Applied() || first_w_->Applied()) && (next_a_->Applied() || next_w_->Applied());
}

void ListingFault::FailListing(const std::string& directory, DWORD error) {
  g_faults->failing = directory;
  g_faults->failing_error = error;
}

void ListingFault::StopListingAfterFirstEntry(const std::string& directory, DWORD error) {
  g_faults->stopping = directory;
  g_faults->stopping_error = error;
  g_faults->stopping_handle = INVALID_HANDLE_VALUE;
}

void ListingFault::BeforeEachListing(std::function<void(const std::string& search)> hook) {
  g_faults->before = std::move(hook);
}
