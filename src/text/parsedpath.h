// ParsedPath: a path text with the lengths of its root (C: or \\server) and
// of its directory part, so callers can take the drive, the directory, or
// join a component without re-scanning the text themselves.
//
// Cost: parsing is one pass over the text with no allocation of its own
// beyond sharing the text; every operation that yields a path parses the new
// text, so the lengths always describe it. Both \ and / separate; Join
// inserts \. Under a double-byte code page a lead byte takes its trail byte
// with it, so a trail byte 0x5C never splits a name.
//
// Failure: nothing throws. An empty or null text gives an empty path, which
// is not valid and whose derived paths are empty too; so does a text that
// cannot be held for want of memory. Only the first 256
// segments of a text are parsed; longer texts cannot occur within the 260
// bytes of a Windows path.
#pragma once

#include "text/bytestring.h"

class ParsedPath {
 public:
  static constexpr int kMaxSegments = 256;

  ParsedPath();
  explicit ParsedPath(const char* text);
  explicit ParsedPath(const ByteString& text);
  ParsedPath(const ParsedPath& other) = default;
  // An empty source gives an empty path; otherwise the source's text is parsed.
  ParsedPath& operator=(const ParsedPath& other);

  void Parse(const char* text);
  void Parse(const ByteString& text);

  bool IsValid() const { return !empty_; }
  ByteString GetPath() const { return path_; }
  // Bytes of the root: 2 for a drive, 2 + server name for UNC, else 0.
  int RootLength() const { return rootLength_; }
  // Bytes of the directory after the root, up to the separator before the
  // last component.
  int DirectoryLength() const { return directoryLength_; }

  // The root alone (C: or \\server).
  ParsedPath Drive() const;
  // The path without its last component and the separator before it; at the
  // top of a drive the separator stays (C:\).
  ParsedPath DriveAndDirectory() const;
  // component alone for an empty path; otherwise the text, a backslash unless
  // the text already ends with a separator, and the component. A null
  // component joins nothing.
  ParsedPath Join(const char* component) const;

 private:
  ByteString path_;
  bool empty_ = true;
  int rootLength_ = 0;
  int directoryLength_ = 0;
};
