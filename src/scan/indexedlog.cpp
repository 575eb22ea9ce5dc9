#include "scan/indexedlog.h"

#include <cstddef>
#include <cstring>

#include "scan/asciifold.h"
#include "scan/logreader.h"

namespace {

// Lines share long directory prefixes: every byte counts, four at a time.
std::uint32_t Hash(const char* text, std::size_t length) {
  std::uint32_t hash = 0x811C9DC5u ^ static_cast<std::uint32_t>(length);
  std::size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    std::uint32_t word;
    std::memcpy(&word, text + i, 4);
    hash = (hash ^ word) * 0x01000193u;
    hash ^= hash >> 15;
  }
  for (; i < length; ++i) hash = (hash ^ static_cast<unsigned char>(text[i])) * 0x01000193u;
  hash ^= hash >> 13;
  hash *= 0x5BD1E995u;
  hash ^= hash >> 15;
  return hash;
}

// memcmp a word at a time: the runtime's goes byte by byte under Wine.
bool SameBytes(const char* a, const char* b, std::size_t length) {
  std::size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    std::uint32_t x, y;
    std::memcpy(&x, a + i, 4);
    std::memcpy(&y, b + i, 4);
    if (x != y) return false;
  }
  for (; i < length; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

bool SameFolded(const char* text, const char* folded, std::size_t length) {
  char folded_text[kLogLineSize];
  FoldAsciiCase(text, length, folded_text);
  return SameBytes(folded_text, folded, length);
}

}  // namespace

bool IndexedLog::Load(std::FILE* file) {
  LogReader reader(file);
  return Load(reader);
}

bool IndexedLog::Load(LogReader& reader) {
  try {
    slots_.assign(1024, Slot{0, 0});
    const char* line;
    std::size_t length;
    char folded[kLogLineSize];
    while (reader.Next(&line, &length)) {
      FoldAsciiCase(line, length, folded);
      const std::uint32_t hash = Hash(folded, length);
      std::size_t slot = FindSlot(line, folded, length, hash);
      const std::uint32_t position = Append(line, length);
      Header header = HeaderAt(Record(position));
      if (slots_[slot].record == 0) {
        // Keep the table at most half full, so probes stay short.
        if ((groups_ + 1) * 2 > slots_.size()) {
          Grow();
          slot = FindSlot(line, folded, length, hash);
        }
        slots_[slot] = Slot{hash, position + 1};
        ++groups_;
      } else {
        header.group = slots_[slot].record - 1;
        std::memcpy(Record(position), &header, sizeof header);
      }
    }
    return true;
  } catch (...) {
    blocks_ = std::vector<std::unique_ptr<char[]>>();
    slots_ = std::vector<Slot>();
    end_ = 0;
    groups_ = 0;
    return false;
  }
}

std::uint32_t IndexedLog::Append(const char* line, std::size_t length) {
  const std::size_t size = sizeof(Header) + length;
  const std::size_t capacity = blocks_.size() << kBlockBits;
  if (end_ + size > capacity) {
    // Records never straddle blocks. A tail with room for a header is marked unused, so the
    // walk in log order knows to skip it; a smaller one it skips by itself.
    if (capacity - end_ >= sizeof(Header)) {
      const Header filler{kUnusedTail, 0, 0, 0};
      std::memcpy(Record(end_), &filler, sizeof filler);
    }
    blocks_.emplace_back(new char[kBlockSize]);
    end_ = static_cast<std::uint32_t>(capacity);
  }
  const std::uint32_t position = end_;
  const Header header{position, static_cast<std::uint16_t>(length), 0, 0};
  char* record = Record(position);
  std::memcpy(record, &header, sizeof header);
  std::memcpy(record + sizeof header, line, length);
  end_ += static_cast<std::uint32_t>(size);
  return position;
}

std::uint32_t IndexedLog::RecordStart(std::uint32_t position) const {
  if (position >= end_) return end_;
  const std::uint32_t next_block = static_cast<std::uint32_t>(((position >> kBlockBits) + 1) << kBlockBits);
  if (next_block - position < sizeof(Header) || HeaderAt(Record(position)).group == kUnusedTail) {
    return next_block < end_ ? next_block : end_;
  }
  return position;
}

std::uint32_t IndexedLog::NextRecord(std::uint32_t position) const {
  return RecordStart(position + static_cast<std::uint32_t>(sizeof(Header) + HeaderAt(Record(position)).length));
}

bool IndexedLog::MatchAndMark(const char* line, std::size_t length) {
  if (slots_.empty() || length >= kLogLineSize) return false;
  if (cursor_ < end_) {
    const char* record = Record(cursor_);
    if (HeaderAt(record).length == length && SameBytes(record + sizeof(Header), line, length)) {
      Mark(cursor_);
      cursor_ = NextRecord(cursor_);
      return true;
    }
  }
  char folded[kLogLineSize];
  FoldAsciiCase(line, length, folded);
  const std::uint32_t record = slots_[FindSlot(line, folded, length, Hash(folded, length))].record;
  if (record == 0) return false;
  Mark(record - 1);
  // Carry on after the line found: the next lines probably follow it here too.
  cursor_ = NextRecord(record - 1);
  return true;
}

std::size_t IndexedLog::FindSlot(const char* line, const char* folded, std::size_t length,
                                 std::uint32_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const Slot& candidate = slots_[slot];
    if (candidate.record == 0) return slot;
    if (candidate.hash != hash) continue;
    const char* record = Record(candidate.record - 1);
    if (HeaderAt(record).length != length) continue;
    const char* text = record + sizeof(Header);
    // Mostly the very same bytes; otherwise equal only once both are folded.
    if (SameBytes(text, line, length) || SameFolded(text, folded, length)) return slot;
  }
}

void IndexedLog::Grow() {
  std::vector<Slot> larger(slots_.size() * 2, Slot{0, 0});
  const std::size_t mask = larger.size() - 1;
  for (const Slot& slot : slots_) {
    if (slot.record == 0) continue;
    std::size_t at = slot.hash & mask;
    while (larger[at].record != 0) at = (at + 1) & mask;
    larger[at] = slot;
  }
  slots_.swap(larger);
}
