// IndexedLog: one scan log held in memory, its lines in order and grouped by equality (ASCII
// letter case ignored, line end included), so that the other log can be matched against it in
// one pass.
//
// Cost: one pass to load. Memory: the lines with 8 bytes each in blocks of 1 MB, so that no
// block grows with the log but the hash table (8 to 32 bytes a distinct line). A look-up of the
// line after the last one found is one comparison; any other is one fold, one hash and usually
// one probe. Failure: Load answers false when memory runs out, and the index is then empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "scan/logreader.h"

class IndexedLog {
 public:
  // Reads the file (binary mode; see LogReader) to its end. False when out of memory.
  bool Load(std::FILE* file);
  // The same for the pieces a reader gives.
  bool Load(LogReader& reader);
  // True when a line equal to this one was loaded; every such line is then marked as matched.
  // Lines asked for in the order they were loaded are found without a table probe: the two
  // scans of one folder mostly list the same files in the same order.
  bool MatchAndMark(const char* line, std::size_t length);

  // Calls visit(text, length) for every loaded line that was never matched, in log order.
  template <typename Visit>
  void ForEachUnmatched(Visit visit) const;

 private:
  // A line in its block: this header, then its bytes. group: the record of the first line equal
  // to it (itself for that one), whose matched flag stands for all of them.
  struct Header {
    std::uint32_t group;
    std::uint16_t length;
    std::uint8_t matched;
    std::uint8_t unused;
  };
  struct Slot {
    std::uint32_t hash;
    std::uint32_t record;  // record position + 1; 0 for an empty slot
  };
  static constexpr std::size_t kBlockBits = 20;
  static constexpr std::size_t kBlockSize = std::size_t{1} << kBlockBits;
  static constexpr std::uint32_t kUnusedTail = 0xFFFFFFFFu;

  char* Record(std::uint32_t position) const {
    return blocks_[position >> kBlockBits].get() + (position & (kBlockSize - 1));
  }
  static Header HeaderAt(const char* record) {
    Header header;
    std::memcpy(&header, record, sizeof header);
    return header;
  }
  std::uint32_t Append(const char* line, std::size_t length);
  // The record after this one, skipping unused block tails; end_ after the last.
  std::uint32_t NextRecord(std::uint32_t position) const;
  // position itself, or the start of the next block when no record can start there.
  std::uint32_t RecordStart(std::uint32_t position) const;
  void Mark(std::uint32_t position) { Record(HeaderAt(Record(position)).group)[offsetof(Header, matched)] = 1; }
  // The slot that holds this text's group, or the empty slot where it would go.
  std::size_t FindSlot(const char* line, const char* folded, std::size_t length, std::uint32_t hash) const;
  void Grow();

  std::vector<std::unique_ptr<char[]>> blocks_;
  std::uint32_t end_ = 0;     // position after the last record
  std::uint32_t cursor_ = 0;  // the record expected next by MatchAndMark
  std::size_t groups_ = 0;
  // Open addressing, size a power of two, at most half full.
  std::vector<Slot> slots_;
};

template <typename Visit>
void IndexedLog::ForEachUnmatched(Visit visit) const {
  for (std::uint32_t position = RecordStart(0); position < end_; position = NextRecord(position)) {
    const char* record = Record(position);
    const Header header = HeaderAt(record);
    if (!HeaderAt(Record(header.group)).matched) visit(record + sizeof(Header), header.length);
  }
}
