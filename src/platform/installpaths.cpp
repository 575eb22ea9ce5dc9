#include "platform/installpaths.h"

#include <windows.h>

#include "text/mbtext.h"

namespace {

constexpr DWORD kPathBuffer = MAX_PATH;

}  // namespace

ParsedPath GetProcessImagePath() {
  char buffer[kPathBuffer] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, kPathBuffer);
  // A result that fills the buffer was cut (and may lack its NUL on older systems): a cut path
  // names some other file, so it counts as unknown.
  if (length == 0 || length >= kPathBuffer) return ParsedPath();
  return ParsedPath(ByteString(buffer, static_cast<int>(length)));
}

ParsedPath GetProcessImageDirectory() {
  const ParsedPath image = GetProcessImagePath();
  if (!image.IsValid()) return ParsedPath();
  return image.DriveAndDirectory();
}

ParsedPath GetDataCacheDirectory() {
  ByteString text = GetProcessImageDirectory().GetPath();
  if (!text.IsEmpty() && !EndsWithBackslash(text.CStr())) text.Append('\\');
  text.Append("DataCache");
  return ParsedPath(text);
}
