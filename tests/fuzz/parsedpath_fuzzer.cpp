// ParsedPath on any bytes, single-byte or under the double-byte stand-in.
// The root and directory lengths must equal those of a plain segment-list
// parse written here, stay inside the text, and survive re-parsing; Drive,
// DriveAndDirectory and Join must give the expected text, parse back to a
// valid path, keep the root, and walking up with DriveAndDirectory must
// reach a fixed point (callers create missing directories that way).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "text/mbtext.h"
#include "text/parsedpath.h"

namespace {

using fuzzmodel::CharStarts;
using fuzzmodel::CView;
using fuzzmodel::IsLead932;
using fuzzmodel::IsSingleByteChar;

struct Lengths {
  bool empty = true;
  int root = 0;
  int directory = 0;
};

FUZZ_MODEL bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Every segment is recorded (up to 256), then the root and the directory are
// read off the list.
FUZZ_MODEL Lengths ReferenceParse(const std::string& text, bool doubleByte) {
  struct Segment {
    int start, separators, name;
  };
  Lengths out;
  const int length = static_cast<int>(text.size());
  if (length == 0) return out;
  out.empty = false;
  int i = 0;
  if (length >= 2 && text[1] == ':') i = out.root = 2;
  std::vector<Segment> segments;
  while (i < length && segments.size() < 256) {
    Segment segment{i, 0, 0};
    while (i < length && IsSeparator(text[i])) ++i;
    segment.separators = i - segment.start;
    const int name = i;
    while (i < length && !IsSeparator(text[i])) {
      i += doubleByte && IsLead932(static_cast<unsigned char>(text[i])) && i + 1 < length ? 2 : 1;
    }
    segment.name = i - name;
    segments.push_back(segment);
  }
  if (segments.empty()) return out;
  const int count = static_cast<int>(segments.size());
  int firstAfterRoot = 0;
  if (out.root == 0 && segments[0].separators == 2) {
    out.root = 2 + segments[0].name;
    firstAfterRoot = 1;
  }
  int last = count - 1;
  if (segments[last].name == 0 && count >= 2) --last;
  const int afterRoot = count - firstAfterRoot;
  if (afterRoot == 0) {
    out.directory = 0;
  } else if (afterRoot == 1 && segments[count - 1].name == 0) {
    out.directory = segments[count - 1].separators;
  } else if (last == firstAfterRoot) {
    out.directory = segments[last].separators;
  } else {
    out.directory = segments[last].start - out.root;
  }
  return out;
}

std::string TextOf(const ParsedPath& path) {
  const ByteString text = path.GetPath();
  return std::string(text.CStr(), static_cast<std::size_t>(text.Length()));
}

// The path holds text and the lengths the reference parse gives for it.
void CheckParsed(const ParsedPath& path, const std::string& text, bool doubleByte) {
  const Lengths want = ReferenceParse(text, doubleByte);
  FUZZ_CHECK(path.IsValid() == !want.empty);
  if (want.empty) return;
  FUZZ_CHECK(TextOf(path) == text);
  FUZZ_CHECK(path.RootLength() == want.root);
  FUZZ_CHECK(path.DirectoryLength() == want.directory);
  FUZZ_CHECK(path.RootLength() >= 0 && path.DirectoryLength() >= 0);
  FUZZ_CHECK(path.RootLength() + path.DirectoryLength() <= static_cast<int>(text.size()));
}

void CheckSame(const ParsedPath& a, const ParsedPath& b) {
  FUZZ_CHECK(a.IsValid() == b.IsValid());
  if (!a.IsValid()) return;
  FUZZ_CHECK(TextOf(a) == TextOf(b));
  FUZZ_CHECK(a.RootLength() == b.RootLength());
  FUZZ_CHECK(a.DirectoryLength() == b.DirectoryLength());
}

void CheckDerived(const ParsedPath& path, const std::string& text, bool doubleByte) {
  const ParsedPath drive = path.Drive();
  const ParsedPath directory = path.DriveAndDirectory();
  if (!path.IsValid()) {
    FUZZ_CHECK(!drive.IsValid() && !directory.IsValid());
    return;
  }
  const int root = path.RootLength();
  CheckParsed(drive, text.substr(0, static_cast<std::size_t>(root)), doubleByte);
  if (drive.IsValid()) FUZZ_CHECK(drive.RootLength() == root && drive.DirectoryLength() == 0);

  CheckParsed(directory, text.substr(0, static_cast<std::size_t>(root + path.DirectoryLength())), doubleByte);
  if (directory.IsValid()) FUZZ_CHECK(directory.RootLength() == root);

  // Walking up ends: each step is no longer than the one before, and the
  // walk stops at a path that is its own directory or at an empty path.
  // Long texts are walked a few steps only: each step is a parse, and the
  // ends of a walk (roots, leading separators) are what short texts reach.
  ParsedPath up = path;
  int length = static_cast<int>(text.size());
  const int mostSteps = length + 1;
  for (int steps = 0; length <= 128 || steps < 8; ++steps) {
    FUZZ_CHECK(steps <= mostSteps);
    const ParsedPath next = up.DriveAndDirectory();
    if (!next.IsValid()) break;
    const int nextLength = next.GetPath().Length();
    FUZZ_CHECK(nextLength <= length);
    FUZZ_CHECK(next.RootLength() == root);
    if (nextLength == length) {
      FUZZ_CHECK(TextOf(next) == TextOf(up));
      break;
    }
    up = next;
    length = nextLength;
  }
}

// Join: the text, a backslash unless the text already ends with a one-byte
// separator character, then the component.
void CheckJoin(const ParsedPath& path, const std::string& text, const char* component, bool doubleByte) {
  const ParsedPath joined = path.Join(component);
  if (!path.IsValid()) {
    CheckParsed(joined, component ? std::string(component) : std::string(), doubleByte);
    return;
  }
  if (!component) {
    CheckSame(joined, path);
    return;
  }
  const std::string visible = CView(text);
  const std::vector<char> starts = CharStarts(visible, doubleByte);
  const bool endsWithSeparator = visible.size() == text.size() && !visible.empty() &&
                                 IsSingleByteChar(starts, visible.size() - 1) && IsSeparator(visible.back());
  const std::string want = text + (endsWithSeparator ? "" : "\\") + component;
  CheckParsed(joined, want, doubleByte);
  FUZZ_CHECK(joined.IsValid());
  CheckParsed(ParsedPath(joined.GetPath()), want, doubleByte);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Layout: component bytes, path bytes, then (read from the end) the
  // double-byte switch, the NUL switch, the component's kind and length.
  FuzzedDataProvider in(data, size);
  const bool doubleByte = in.ConsumeBool();
  const bool keepNuls = in.ConsumeBool();
  const int componentKind = in.ConsumeIntegralInRange<int>(0, 3);
  const std::string component = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, 64));
  const std::string bytes = in.ConsumeRemainingBytesAsString();
  UseCodePageStandIn932(doubleByte);

  // Texts from NUL-terminated callers, and byte strings that may hold NULs.
  const std::string text = keepNuls ? bytes : CView(bytes);
  ParsedPath path;
  if (keepNuls) {
    path.Parse(ByteString(bytes.data(), static_cast<int>(bytes.size())));
  } else {
    path.Parse(bytes.c_str());
  }
  CheckParsed(path, text, doubleByte);
  CheckSame(path, ParsedPath(path.GetPath()));

  ParsedPath assigned("x");
  assigned = path;
  CheckSame(assigned, path);
  const ParsedPath copied(path);
  CheckSame(copied, path);
  assigned = ParsedPath();
  FUZZ_CHECK(!assigned.IsValid() && assigned.GetPath().IsEmpty());
  assigned.Parse(static_cast<const char*>(nullptr));
  FUZZ_CHECK(!assigned.IsValid());

  CheckDerived(path, text, doubleByte);
  const char* joinWith = componentKind == 0 ? nullptr : component.c_str();
  CheckJoin(path, text, joinWith, doubleByte);
  CheckJoin(ParsedPath(), std::string(), joinWith, doubleByte);

  UseCodePageStandIn932(false);
  return 0;
}
