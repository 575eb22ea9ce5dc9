#include "progress.h"

#include <windows.h>

#include <chrono>
#include <vector>

#include "handles.h"
#include "output.h"
#include "paths.h"

namespace {

// Line ends in the file so far: its entries. The plug-in holds it open for writing; reading it
// beside the writer is allowed.
unsigned long long CountLines(const std::string& path) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  unsigned long long lines = 0;
  std::vector<char> buffer(1 << 16);
  DWORD read = 0;
  while (file.Valid() && ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
         read > 0) {
    for (DWORD i = 0; i < read; ++i) lines += buffer[i] == '\n';
  }
  return lines;
}

std::string Size(unsigned long long bytes) {
  if (bytes < 10 * 1024) return std::to_string(bytes) + " bytes";
  if (bytes < 10 * 1024 * 1024) return std::to_string(bytes / 1024) + " KB";
  return std::to_string(bytes / (1024 * 1024)) + " MB";
}

}  // namespace

EventProgress::EventProgress(const std::string& event, const std::string& log_path, unsigned period_ms)
    : event_(event), log_path_(log_path), period_ms_(period_ms), thread_(&EventProgress::Run, this) {}

EventProgress::~EventProgress() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    done_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void EventProgress::Run() {
  const auto start = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    if (wake_.wait_for(guard, std::chrono::milliseconds(period_ms_), [this] { return done_; })) return;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    Report(static_cast<unsigned>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
  }
}

void EventProgress::Report(unsigned elapsed_ms) const {
  // The scan being written: the newest "*scan.new" (one per folder, while its rescan runs).
  std::vector<FileEntry> scans;
  ListFolder(log_path_, "*scan.new", &scans);
  const FileEntry* newest = nullptr;
  for (const FileEntry& scan : scans) {
    if (!newest || scan.written >= newest->written) newest = &scan;
  }
  if (!newest) {
    Stamped("... %s running for %u s (no new scan being written just now)\n", event_.c_str(), elapsed_ms / 1000);
    return;
  }
  const std::string path = log_path_ + newest->name;
  Stamped("... %s running for %u s: %s holds %llu entries so far (%s)\n", event_.c_str(), elapsed_ms / 1000,
          newest->name.c_str(), CountLines(path), Size(newest->size).c_str());
}
