#include "scan/mediatype.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/installpaths.h"
#include "scan/imagelistcache.h"
#include "text/mbtext.h"

namespace {

constexpr std::size_t kPathSize = 260;
constexpr std::size_t kImageListSize = 260;
constexpr char kFormatsName[] = "Formats\\formats.ini";

}  // namespace

void GetFormatsIniPath(char* destination, std::size_t capacity) {
  if (!destination) return;
  const ByteString directory = GetDataCacheDirectory().GetPath();
  if (directory.IsEmpty()) return;
  const bool add_backslash = !EndsWithBackslash(directory.CStr());
  const std::size_t length = static_cast<std::size_t>(directory.Length()) + (add_backslash ? 1 : 0) +
                             (sizeof kFormatsName - 1);
  // A name cut to the buffer would point at some other file: a path that does not fit is no path.
  if (length >= kPathSize || length >= capacity) return;
  char path[kPathSize] = {};
  BoundedCopy(path, directory.CStr(), sizeof path);
  if (add_backslash) BoundedAppend(path, "\\", sizeof path);
  BoundedAppend(path, kFormatsName, sizeof path);
  std::memcpy(destination, path, length + 1);
}

void GetImageExtensions(ByteString& destination) {
  // Absent until a formats.ini has been read; then kept while the module is loaded.
  if (!CachedImageList()) {
    char path[kPathSize] = {};
    GetFormatsIniPath(path, sizeof path);
    // Without the file the list stays absent and the next call looks again.
    if (path[0] && FileExists(path)) {
      char list[kImageListSize] = {};
      GetPrivateProfileStringA("image", "imageext", "", list, sizeof list, path);
      const std::size_t length = std::strlen(list);
      char* block = static_cast<char*>(std::calloc(length + 2, 1));
      if (block) {
        std::memcpy(block, list, length);
        KeepImageList(block);
      }
    }
  }
  const char* const list = CachedImageList();
  destination.Assign(list ? list : "");
}

void ReadGeneralPatternList(char* destination, std::size_t size) {
  if (!destination || size == 0) return;
  std::memset(destination, 0, size);
  char path[kPathSize] = {};
  GetFormatsIniPath(path, sizeof path);
  if (!path[0]) return;
  GetPrivateProfileStringA("searchpatterns", "ext1", "", destination, static_cast<DWORD>(size), path);
  destination[size - 1] = '\0';
}
