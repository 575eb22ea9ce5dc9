// StdioFile: owner of one C runtime FILE, closed on every way out of the scope that opened it.
// Scan logs and change lists are text-mode files (CR LF on disk), so the runtime's stream is
// the right tool; this only makes sure no path leaks one. Beside it, the two things a stream
// needs from the system: its bytes on the disk, and the runtime's text mode back after a
// binary open.
#pragma once

#include <cstdio>

class StdioFile {
 public:
  StdioFile() = default;
  explicit StdioFile(std::FILE* file) : file_(file) {}
  ~StdioFile() { Close(); }
  StdioFile(const StdioFile&) = delete;
  StdioFile& operator=(const StdioFile&) = delete;
  StdioFile(StdioFile&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
  StdioFile& operator=(StdioFile&& other) noexcept {
    if (this != &other) {
      Close();
      file_ = other.file_;
      other.file_ = nullptr;
    }
    return *this;
  }

  // Opens with fopen; false (and nothing held) when that fails.
  bool Open(const char* path, const char* mode) {
    Close();
    file_ = std::fopen(path, mode);
    return file_ != nullptr;
  }
  void Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }
  std::FILE* Get() const { return file_; }
  explicit operator bool() const { return file_ != nullptr; }

 private:
  std::FILE* file_ = nullptr;
};

// Hands the stream's buffer to the system and asks the system to put the file's bytes on the
// disk. False when the stream had a write error or either step failed: some bytes may be lost.
// A file system that refuses the second step (ERROR_INVALID_FUNCTION, ERROR_NOT_SUPPORTED) is
// no failure: the bytes are the system's by then.
bool FlushToDisk(std::FILE* file);

// Switches a stream opened in binary mode to the runtime's text mode (CR LF read as LF, Ctrl-Z
// ends the file). Where the runtime makes no such difference, nothing changes.
void UseRuntimeTextMode(std::FILE* file);
