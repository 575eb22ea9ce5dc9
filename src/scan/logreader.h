// LogReader: the lines of a scan log, read in large binary blocks but cut and translated
// exactly as the runtime's text-mode fgets into a 520-byte buffer would give them.
//
// Text mode as the runtime reads it: CR LF becomes LF, a CR not followed by LF stays, and a
// Ctrl-Z byte (0x1A) ends the file. A piece is then a line with its LF, or 519 bytes of a longer
// line (the rest follows as the next piece); its text ends at a NUL byte should the file hold
// one, as the C string fgets gives would. The file must be open in binary mode.
//
// Why not fgets itself: under Wine the runtime's text-mode reading costs about 2 ns a byte,
// several times the walk's share of a timer refresh. Cost here: one block read per 32 KB and one
// pass over the bytes, four at a time; no allocation. A read error ends the pieces as the end of
// the file does; the stream's error flag (ferror) tells the two apart.
#pragma once

#include <cstddef>
#include <cstdio>

// Capacity of the line buffer the pieces are measured against.
constexpr std::size_t kLogLineSize = 520;

class LogReader {
 public:
  explicit LogReader(std::FILE* file) : file_(file) {}
  // The same pieces of bytes already in memory, read as a file that holds just them.
  LogReader(const char* bytes, std::size_t size) : memory_(bytes), memory_left_(size) {}
  LogReader(const LogReader&) = delete;
  LogReader& operator=(const LogReader&) = delete;

  // The next piece; valid until the next call. False at the end of the file.
  bool Next(const char** text, std::size_t* length);

 private:
  static constexpr std::size_t kBlockSize = 32 * 1024;
  void Refill();

  std::FILE* file_ = nullptr;
  const char* memory_ = nullptr;
  std::size_t memory_left_ = 0;
  char block_[kBlockSize];
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false;
};
