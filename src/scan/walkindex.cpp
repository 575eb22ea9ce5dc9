#include "scan/walkindex.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr char kMagic[8] = {'W', 'F', 'D', 'I', 'R', 'I', 'X', '2'};
constexpr std::uint32_t kQuickWalksOff = 1;
constexpr std::size_t kReadBlock = 64 * 1024;

std::uint64_t HashOf(const void* bytes, std::size_t size) {
  StreamHash hash;
  hash.Add(bytes, size);
  return hash.Value();
}

// The fixed start of an index file; records follow. Written as the machine lays it out: the
// index is read back only by the same code.
struct Header {
  char magic[8];
  std::uint32_t flags;
  std::uint32_t volume_serial;
  char file_system[32];
  std::uint64_t settings_hash;
  std::uint64_t log_size;
  std::uint64_t full_walk_time;
  std::uint64_t records_hash;
  std::uint32_t record_count;
  std::uint32_t header_hash;  // of the bytes above
};

std::uint32_t HeaderHash(const Header& header) {
  return static_cast<std::uint32_t>(HashOf(&header, offsetof(Header, header_hash)));
}

bool ReadHeader(std::FILE* file, Header* header) {
  return std::fread(header, sizeof *header, 1, file) == 1 && std::memcmp(header->magic, kMagic, sizeof kMagic) == 0 &&
         header->header_hash == HeaderHash(*header);
}

bool SameVolume(const Header& header, const VolumeIdentity& volume) {
  return header.volume_serial == volume.serial &&
         std::strncmp(header.file_system, volume.file_system, sizeof header.file_system) == 0;
}

// Reads what a record holds, each field checked against the bytes that remain.
class RecordReader {
 public:
  RecordReader(const char* bytes, std::size_t size) : p_(bytes), end_(bytes + size) {}
  bool AtEnd() const { return p_ == end_; }
  template <typename T>
  bool Take(T* value) {
    if (static_cast<std::size_t>(end_ - p_) < sizeof(T)) return false;
    std::memcpy(value, p_, sizeof(T));
    p_ += sizeof(T);
    return true;
  }
  bool TakeText(std::string* text) {
    std::uint16_t length = 0;
    if (!Take(&length) || static_cast<std::size_t>(end_ - p_) < length) return false;
    text->assign(p_, length);
    p_ += length;
    return true;
  }

 private:
  const char* p_;
  const char* end_;
};

}  // namespace

std::uint64_t HashWalkSettings(const char* patterns, const char* exempt_folder, unsigned code_page) {
  StreamHash hash;
  const char* const texts[] = {patterns ? patterns : "", exempt_folder ? exempt_folder : ""};
  for (const char* text : texts) hash.Add(text, std::strlen(text) + 1);
  hash.Add(&code_page, sizeof code_page);
  return hash.Value();
}

bool ReadIndexState(const char* index_path, const VolumeIdentity& volume, IndexState* state) {
  StdioFile file;
  Header header;
  if (!file.Open(index_path, "rb") || !ReadHeader(file.Get(), &header) || !SameVolume(header, volume)) return false;
  state->quick_walks_off = (header.flags & kQuickWalksOff) != 0;
  state->full_walk_time = header.full_walk_time;
  return true;
}

bool PreviousWalk::Load(const char* index_path, const char* scan_log, const WalkShape& shape) {
  directories_.clear();
  log_.Close();
  StdioFile file;
  Header header;
  if (!file.Open(index_path, "rb") || !ReadHeader(file.Get(), &header) || !SameVolume(header, shape.volume) ||
      header.settings_hash != shape.settings_hash) {
    return false;
  }
  // The lines are read later through this very stream, each directory's checked against its
  // hash, so the scan log cannot be another one by then; its size tells most others at once.
  long size = -1;
  if (!log_.Open(scan_log, "rb") || std::fseek(log_.Get(), 0, SEEK_END) != 0 || (size = std::ftell(log_.Get())) < 0 ||
      static_cast<std::uint64_t>(size) != header.log_size || std::fseek(log_.Get(), 0, SEEK_SET) != 0) {
    log_.Close();
    return false;
  }
  log_size_ = header.log_size;
  std::string records;
  std::string block(kReadBlock, '\0');
  std::size_t got;
  while ((got = std::fread(&block[0], 1, block.size(), file.Get())) > 0) records.append(block.data(), got);
  if (std::ferror(file.Get()) || HashOf(records.data(), records.size()) != header.records_hash) {
    log_.Close();
    return false;
  }
  RecordReader reader(records.data(), records.size());
  std::uint64_t offset = 0;
  for (std::uint32_t i = 0; i < header.record_count; ++i) {
    std::string directory;
    IndexedDirectory entry;
    std::uint8_t trusted = 0;
    std::uint32_t children = 0;
    if (!reader.TakeText(&directory) || !reader.Take(&entry.stamp.write_time) ||
        !reader.Take(&entry.stamp.change_time) || !reader.Take(&trusted) || !reader.Take(&entry.lines_size) ||
        !reader.Take(&entry.lines_hash) || !reader.Take(&children)) {
      Close();
      return false;
    }
    entry.trusted = trusted != 0;
    entry.lines_offset = offset;
    offset += entry.lines_size;
    for (std::uint32_t c = 0; c < children; ++c) {
      IndexedChild child;
      std::uint8_t link = 0;
      if (!reader.Take(&link) || !reader.TakeText(&child.name)) {
        Close();
        return false;
      }
      child.link = link != 0;
      entry.children.push_back(std::move(child));
    }
    // A directory walked twice (through two links) keeps its first record, as its first place.
    directories_.emplace(std::move(directory), std::move(entry));
  }
  if (!reader.AtEnd() || offset > log_size_) {
    Close();
    return false;
  }
  state_.quick_walks_off = (header.flags & kQuickWalksOff) != 0;
  state_.full_walk_time = header.full_walk_time;
  position_ = 0;
  return true;
}

const IndexedDirectory* PreviousWalk::Find(const std::string& directory) const {
  const auto found = directories_.find(directory);
  return found == directories_.end() ? nullptr : &found->second;
}

void PreviousWalk::Close() {
  log_.Close();
  directories_.clear();
}

bool PreviousWalk::ReadLines(const IndexedDirectory& directory, std::string* lines) {
  if (!log_.IsOpen() || directory.lines_size > 0x7FFFFFFF || directory.lines_offset > 0x7FFFFFFF) return false;
  if (position_ != directory.lines_offset) {
    if (std::fseek(log_.Get(), static_cast<long>(directory.lines_offset), SEEK_SET) != 0) return false;
    position_ = directory.lines_offset;
  }
  const std::size_t size = static_cast<std::size_t>(directory.lines_size);
  lines->resize(size);
  if (size && std::fread(&(*lines)[0], 1, size, log_.Get()) != size) {
    position_ = ~std::uint64_t{0};
    return false;
  }
  position_ += size;
  // Whole lines only, and the very bytes the walk wrote: a record that ends inside a line, or
  // whose bytes were changed since, belongs to another scan log. A Ctrl-Z, which would end the
  // scan log for a text reader, the walk never writes.
  return (lines->empty() || lines->back() == '\n') && HashOf(lines->data(), size) == directory.lines_hash &&
         std::memchr(lines->data(), 0x1A, size) == nullptr;
}

bool IndexWriter::Open(const char* path) {
  failed_ = false;
  count_ = 0;
  records_hash_ = StreamHash();
  if (!file_.Open(path, "wb")) return false;
  // The header is written last, in this place.
  const Header empty = {};
  Put(&empty, sizeof empty);
  return !failed_;
}

void IndexWriter::Put(const void* bytes, std::size_t size) {
  if (std::fwrite(bytes, 1, size, file_.Get()) != size) failed_ = true;
}

void IndexWriter::Add(const std::string& directory, const DirectoryStamp& stamp, bool trusted,
                      const std::string& lines, const std::vector<IndexedChild>& children) {
  if (!file_.IsOpen() || failed_) return;
  // Longer names than a record holds cannot occur under the path limit; should one, the index
  // is not finished.
  if (directory.size() > 0xFFFF) {
    failed_ = true;
    return;
  }
  record_.clear();
  const auto append = [this](const void* bytes, std::size_t size) {
    record_.append(static_cast<const char*>(bytes), size);
  };
  const auto append_text = [&](const std::string& text) {
    const std::uint16_t length = static_cast<std::uint16_t>(text.size());
    append(&length, sizeof length);
    append(text.data(), text.size());
  };
  append_text(directory);
  append(&stamp.write_time, sizeof stamp.write_time);
  append(&stamp.change_time, sizeof stamp.change_time);
  const std::uint8_t trusted_byte = trusted ? 1 : 0;
  append(&trusted_byte, 1);
  const std::uint64_t lines_size = lines.size();
  append(&lines_size, sizeof lines_size);
  const std::uint64_t lines_hash = HashOf(lines.data(), lines.size());
  append(&lines_hash, sizeof lines_hash);
  const std::uint32_t child_count = static_cast<std::uint32_t>(children.size());
  append(&child_count, sizeof child_count);
  for (const IndexedChild& child : children) {
    if (child.name.size() > 0xFFFF) {
      failed_ = true;
      return;
    }
    const std::uint8_t link = child.link ? 1 : 0;
    append(&link, 1);
    append_text(child.name);
  }
  records_hash_.Add(record_.data(), record_.size());
  Put(record_.data(), record_.size());
  ++count_;
}

bool IndexWriter::Finish(const WalkShape& shape, std::uint64_t log_size, const IndexState& state) {
  if (!file_.IsOpen()) return false;
  Header header = {};
  std::memcpy(header.magic, kMagic, sizeof kMagic);
  header.flags = state.quick_walks_off ? kQuickWalksOff : 0;
  header.volume_serial = shape.volume.serial;
  std::memcpy(header.file_system, shape.volume.file_system, sizeof header.file_system);
  header.settings_hash = shape.settings_hash;
  header.log_size = log_size;
  header.full_walk_time = state.full_walk_time;
  header.records_hash = records_hash_.Value();
  header.record_count = count_;
  header.header_hash = HeaderHash(header);
  if (std::fseek(file_.Get(), 0, SEEK_SET) != 0) failed_ = true;
  if (!failed_) Put(&header, sizeof header);
  // Handed to the system, not forced to the disk: an index that a power loss leaves torn fails its
  // hashes, and the next walk is a full one.
  const bool written = std::fflush(file_.Get()) == 0 && !std::ferror(file_.Get()) && !failed_;
  file_.Close();
  return written;
}
