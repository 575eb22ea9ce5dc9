// What a quick walk's new scan is made of: ranges of the previous scan copied byte for byte, and
// the bytes the walk made itself, so that the comparison can look at what changed alone (see
// AppendChangesOfParts).
//
// Memory: the walk's own bytes, up to kMaxListed (past that the parts are given up and the whole
// scans are compared), and a few dozen bytes for each copied range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class ScanParts {
 public:
  struct Range {
    std::uint64_t offset;
    std::uint64_t size;
  };
  static constexpr std::size_t kMaxListed = std::size_t{8} << 20;

  // Bytes of the new scan that the walk made itself, in their order.
  void AddListed(const char* bytes, std::size_t size) noexcept {
    if (!usable_) return;
    if (listed_.size() + size > kMaxListed) return GiveUp();
    try {
      listed_.append(bytes, size);
    } catch (...) {
      GiveUp();  // memory refused: the whole comparison needs none of this
    }
  }
  // A range of the previous scan that the new scan holds next, unchanged: whole lines, each made
  // of line_start ("C:\Music\Al\") and a name without a backslash, each short enough for a
  // line buffer (519 bytes as text), none with a NUL or Ctrl-Z. A walk's own lines are all that.
  void AddCopied(std::uint64_t offset, std::uint64_t size, const std::string& line_start) noexcept {
    if (!usable_ || size == 0) return;
    // What the walk wrote before must end its last line, or the copy would be read glued to it.
    if (!listed_.empty() && listed_.back() != '\n') return GiveUp();
    try {
      copied_.push_back(Range{offset, size});
      starts_ += line_start;
      start_ends_.push_back(starts_.size());
    } catch (...) {
      GiveUp();
    }
  }
  // Something of the new scan was not recorded here: only the whole comparison can tell.
  void GiveUp() noexcept {
    usable_ = false;
    std::string().swap(listed_);
    std::vector<Range>().swap(copied_);
    std::string().swap(starts_);
    std::vector<std::size_t>().swap(start_ends_);
  }

  bool Usable() const { return usable_; }
  const std::string& Listed() const { return listed_; }
  const std::vector<Range>& Copied() const { return copied_; }
  // The line start of copied range i: length bytes at the answer.
  const char* LineStart(std::size_t i, std::size_t* length) const {
    const std::size_t begin = i == 0 ? 0 : start_ends_[i - 1];
    *length = start_ends_[i] - begin;
    return starts_.data() + begin;
  }

 private:
  bool usable_ = true;
  std::string listed_;
  std::vector<Range> copied_;
  std::string starts_;
  std::vector<std::size_t> start_ends_;
};
