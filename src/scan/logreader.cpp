#include "scan/logreader.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr std::size_t kLongestPiece = kLogLineSize - 1;
// A piece of 519 characters may end in CR LF, and whether a CR is followed by LF takes one
// byte more: 521 bytes decide any piece.
constexpr std::size_t kLookahead = kLongestPiece + 2;
constexpr char kCtrlZ = 0x1A;

bool IsSpecial(char c) { return c == '\n' || c == '\r' || c == '\0' || c == kCtrlZ; }

// First byte of [from, to) that is LF, CR, NUL or Ctrl-Z; to when there is none. Words without
// a byte below 0x20 are passed over four bytes at a time.
std::size_t FindSpecial(const char* text, std::size_t from, std::size_t to) {
  std::size_t i = from;
  while (i + 4 <= to) {
    std::uint32_t word;
    std::memcpy(&word, text + i, 4);
    if (((word - 0x20202020u) & ~word & 0x80808080u) == 0) {
      i += 4;
      continue;
    }
    for (std::size_t end = i + 4; i < end; ++i) {
      if (IsSpecial(text[i])) return i;
    }
  }
  for (; i < to; ++i) {
    if (IsSpecial(text[i])) return i;
  }
  return to;
}

}  // namespace

void LogReader::Refill() {
  std::memmove(block_, block_ + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  while (end_ < kLookahead && !ended_) {
    std::size_t got = 0;
    if (file_) {
      got = std::fread(block_ + end_, 1, kBlockSize - end_, file_);
    } else {
      got = memory_left_ < kBlockSize - end_ ? memory_left_ : kBlockSize - end_;
      if (got) std::memcpy(block_ + end_, memory_, got);
      memory_ += got;
      memory_left_ -= got;
    }
    if (got == 0) ended_ = true;
    end_ += got;
  }
}

bool LogReader::Next(const char** text, std::size_t* length) {
  if (end_ - begin_ < kLookahead && !ended_) Refill();
  if (begin_ == end_) return false;

  // Translation only ever drops the CR of a CR LF, and that ends the piece: so the piece is
  // block_[begin_, write) and bytes before the end stay where they are.
  const std::size_t start = begin_;
  std::size_t read = begin_;
  std::size_t nul = static_cast<std::size_t>(-1);
  while (read - start < kLongestPiece && read < end_) {
    const std::size_t limit = read + (kLongestPiece - (read - start)) < end_ ? read + (kLongestPiece - (read - start)) : end_;
    read = FindSpecial(block_, read, limit);
    if (read == limit) break;
    const char c = block_[read];
    if (c == '\n') {
      ++read;
      break;
    }
    if (c == '\r') {
      if (read + 1 < end_ && block_[read + 1] == '\n') {
        block_[read] = '\n';
        begin_ = read + 2;
        *text = block_ + start;
        *length = (nul < read ? nul : read + 1) - start;
        return true;
      }
      ++read;
      continue;
    }
    if (c == kCtrlZ) {
      // End of the text: nothing after it is ever read.
      end_ = read;
      ended_ = true;
      break;
    }
    if (nul > read) nul = read;
    ++read;
  }
  begin_ = read;
  if (read == start) return false;
  *text = block_ + start;
  *length = (nul < read ? nul : read) - start;
  return true;
}
