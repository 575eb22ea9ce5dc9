#include "text/parsedpath.h"

#include <cstring>

#include "text/mbtext.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

struct Segment {
  int start = 0;       // index of its first separator (or of its name)
  int separators = 0;  // separator bytes it begins with
  int nameLength = 0;  // bytes of the name after them
};

}  // namespace

ParsedPath::ParsedPath() = default;

ParsedPath::ParsedPath(const char* text) { Parse(text); }

ParsedPath::ParsedPath(const ByteString& text) { Parse(text); }

ParsedPath& ParsedPath::operator=(const ParsedPath& other) {
  if (this == &other) return *this;
  if (other.empty_) {
    path_.Clear();
    empty_ = true;
    rootLength_ = directoryLength_ = 0;
  } else {
    Parse(other.path_);
  }
  return *this;
}

void ParsedPath::Parse(const char* text) {
  if (!text) {
    Parse(ByteString());
    return;
  }
  Parse(ByteString(text));
}

void ParsedPath::Parse(const ByteString& text) {
  path_ = text;
  rootLength_ = directoryLength_ = 0;
  const int length = path_.Length();
  empty_ = length == 0;
  if (empty_) return;
  const char* s = path_.CStr();

  int i = 0;
  if (length >= 2 && s[1] == ':') i = rootLength_ = 2;
  const bool drive = rootLength_ == 2;

  // Only the first, the last and the one before the last segment matter.
  Segment first, last, before_last;
  int count = 0;
  while (i < length && count < kMaxSegments) {
    Segment segment;
    segment.start = i;
    while (i < length && IsSeparator(s[i])) ++i;
    segment.separators = i - segment.start;
    const int name = i;
    while (i < length && !IsSeparator(s[i])) {
      i += MbIsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < length ? 2 : 1;
    }
    segment.nameLength = i - name;
    if (count == 0) first = segment;
    before_last = last;
    last = segment;
    ++count;
  }
  if (count == 0) return;

  int first_after_root = 0;
  if (!drive && first.separators == 2) {
    rootLength_ = 2 + first.nameLength;
    first_after_root = 1;
  }
  const int after_root = count - first_after_root;
  int last_index = count - 1;
  Segment last_named = last;  // a trailing separator does not make a component
  if (last_named.nameLength == 0 && count >= 2) {
    last_named = before_last;
    --last_index;
  }

  if (after_root == 0) {
    directoryLength_ = 0;
  } else if (after_root == 1 && last.nameLength == 0) {
    directoryLength_ = last.separators;
  } else if (last_index == first_after_root) {
    directoryLength_ = last_named.separators;
  } else {
    directoryLength_ = last_named.start - rootLength_;
  }
}

ParsedPath ParsedPath::Drive() const {
  if (empty_) return ParsedPath();
  return ParsedPath(path_.Left(rootLength_));
}

ParsedPath ParsedPath::DriveAndDirectory() const {
  if (empty_) return ParsedPath();
  return ParsedPath(path_.Left(rootLength_ + directoryLength_));
}

ParsedPath ParsedPath::Join(const char* component) const {
  if (empty_) return ParsedPath(component);
  if (!component) return *this;
  // The last byte may be the trail byte of a double-byte character; only a
  // one-byte separator character at the very end counts, and a text with a
  // NUL inside has none there.
  const bool ends_with_separator =
      std::strlen(path_.CStr()) == static_cast<std::size_t>(path_.Length()) && EndsWithSeparator(path_.CStr());
  ByteString joined(path_);
  if (joined.Length() != path_.Length() || (!ends_with_separator && !joined.Append('\\')) ||
      !joined.Append(component)) {
    return ParsedPath();  // out of memory
  }
  return ParsedPath(joined);
}
