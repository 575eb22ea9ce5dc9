// The directory index beside a scan log: what a walk found in every directory it listed, so that
// the next walk can take an unchanged directory's lines from the scan log instead of listing it.
//
// For every directory listed, in walk order: its directory part ("\Music\Album"), its change
// stamp as read before it was listed, whether that stamp can be trusted (one read within a few
// seconds of its own time may yet change within its clock tick and look the same), how many bytes
// its lines take in the scan log (their place follows from the order) and a hash of those bytes,
// and its subdirectories as its listing gave them. A header ties the index to one scan log (its
// size; each directory's lines are checked against their hash when they are taken) and to what
// shaped the walk (pattern list, exempt folder, code page, volume), and keeps when the last full
// walk was made and whether quick walks were found untrustworthy on this folder. An index that
// does not match in every respect, or is damaged, is not used; lines that do not match their hash
// are not taken (the directory is listed instead).
//
// The index is private to the plug-in and replaced with its scan log: written under a name of its
// own and renamed into place only after the scan log. A process that dies in between
// leaves an index that matches no scan log, and the next walk is a full one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/directorystamp.h"
#include "platform/handles.h"

// What shaped a walk beside the tree itself: with another shape the same directories give other
// lines.
struct WalkShape {
  std::uint64_t settings_hash = 0;  // pattern list, exempt folder, code page
  VolumeIdentity volume;
};

// The hash of the settings that shape a walk.
std::uint64_t HashWalkSettings(const char* patterns, const char* exempt_folder, unsigned code_page);

// One subdirectory as its parent's listing gave it; link: reached through a link or junction.
struct IndexedChild {
  std::string name;
  bool link = false;
  bool operator==(const IndexedChild& other) const { return link == other.link && name == other.name; }
};

struct IndexedDirectory {
  DirectoryStamp stamp;
  bool trusted = false;
  std::uint64_t lines_offset = 0;  // in the scan log, in bytes on the disk
  std::uint64_t lines_size = 0;
  std::uint64_t lines_hash = 0;
  std::vector<IndexedChild> children;
};

// What the header says beyond the identities it is matched against.
struct IndexState {
  bool quick_walks_off = false;
  std::uint64_t full_walk_time = 0;  // stamp time of the last full walk
};

// The index of the scan log in place, with that scan log open for the directories' lines.
class PreviousWalk {
 public:
  // Loads the index when it is whole and matches the scan log and the shape; false, with nothing
  // loaded, otherwise. Cost: one read of the index; the scan log is only opened. Memory: the index.
  bool Load(const char* index_path, const char* scan_log, const WalkShape& shape);
  const IndexState& State() const { return state_; }
  // The directory's record, found by its exact directory part; null when there is none.
  const IndexedDirectory* Find(const std::string& directory) const;
  // The directory's lines as the scan log holds them (each ended by CR LF) into lines; false, with
  // lines in any state, when they cannot be read or are not the bytes the record was made for.
  bool ReadLines(const IndexedDirectory& directory, std::string* lines);
  // The scan log the index belongs to, open in binary mode (null once closed), and its size.
  std::FILE* ScanLog() { return log_.Get(); }
  std::uint64_t ScanLogSize() const { return log_size_; }
  // Lets go of the scan log, which can then be replaced; nothing more is found or read.
  void Close();

 private:
  std::unordered_map<std::string, IndexedDirectory> directories_;
  IndexState state_;
  StdioFile log_;
  std::uint64_t log_size_ = 0;
  std::uint64_t position_ = 0;
};

// The state an index file records for this volume, whatever else it matches: what a new index
// of the folder carries on. False when there is no readable index of this volume.
bool ReadIndexState(const char* index_path, const VolumeIdentity& volume, IndexState* state);

// A hash of a stream of bytes, eight at a time: it tells a damaged or foreign file, not an
// adversary's. The same bytes give the same value however they are cut into parts.
class StreamHash {
 public:
  void Add(const void* bytes, std::size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    while (size > 0 && pending_ > 0 && pending_ < 8) {
      word_bytes_[pending_++] = *p++;
      --size;
    }
    if (pending_ == 8) {
      Mix(word_bytes_);
      pending_ = 0;
    }
    for (; size >= 8; p += 8, size -= 8) Mix(p);
    for (; size > 0; --size) word_bytes_[pending_++] = *p++;
  }
  std::uint64_t Value() const {
    std::uint64_t hash = hash_;
    for (std::size_t i = 0; i < pending_; ++i) hash = (hash ^ word_bytes_[i]) * kPrime;
    return hash;
  }

 private:
  static constexpr std::uint64_t kPrime = 0x100000001B3ull;
  void Mix(const unsigned char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    hash_ = (hash_ ^ word) * kPrime;
    hash_ ^= hash_ >> 29;
  }
  std::uint64_t hash_ = 14695981039346656037ull;
  unsigned char word_bytes_[8] = {};
  std::size_t pending_ = 0;
};

// Writes a new index, directory by directory, as the walk goes.
class IndexWriter {
 public:
  bool Open(const char* path);
  bool IsOpen() const { return file_.IsOpen(); }
  // The next directory in walk order, with its lines as written (CR LF ends).
  void Add(const std::string& directory, const DirectoryStamp& stamp, bool trusted, const std::string& lines,
           const std::vector<IndexedChild>& children);
  // Completes the index for the scan log it describes (log_size bytes), handed to the system and
  // closed. False when any of it may be missing.
  bool Finish(const WalkShape& shape, std::uint64_t log_size, const IndexState& state);
  // Closes without completing.
  void Close() { file_.Close(); }

 private:
  void Put(const void* bytes, std::size_t size);
  StdioFile file_;
  std::string record_;
  StreamHash records_hash_;
  std::uint32_t count_ = 0;
  bool failed_ = false;
};
