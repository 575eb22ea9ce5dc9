#include "scan/scanlog.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "prefs/fileutil.h"
#include "scan/asciifold.h"
#include "scan/scanner.h"
#include "scan/stdiofile.h"
#include "text/bytestring.h"

namespace {

// Scan logs are written line by line; a larger stream buffer saves the runtime most of its
// writes on a big library without changing a byte.
constexpr std::size_t kLogBufferSize = 64 * 1024;

bool OpenLogForWriting(const char* name, StdioFile& file) {
  if (file.Open(name, "w")) return true;
  // The log directory may not exist yet: create the chain and try once more.
  const ByteString path(name);
  const int lastBackslash = path.ReverseFind('\\');
  if (lastBackslash < 0) return false;
  if (!CreateDirectoryChain(path.Left(lastBackslash))) return false;
  return file.Open(name, "w");
}

}  // namespace

bool FlattenPath(const char* source, char* destination) {
  if (!source || !destination) return false;
  // Byte by byte on purpose: the stems of existing logs were made this way.
  std::size_t i = 0;
  for (; source[i]; ++i) {
    const char c = source[i];
    destination[i] = (c == '\\' || c == ':') ? '_' : c;
  }
  destination[i] = '\0';
  return true;
}

bool FormScanLogNames(const char* folder, const char* log_prefix, ScanLogNames* names) {
  // An empty folder would become "\", the top of the current drive: never scan that instead.
  if (!folder || !*folder || !names) return false;
  if (!log_prefix) log_prefix = "";
  const std::size_t folderLength = std::strlen(folder);
  const bool addBackslash = !EndsWithBackslash(folder);
  const std::size_t withBackslash = folderLength + (addBackslash ? 1 : 0);
  if (withBackslash >= ScanLogNames::kStemSize) return false;
  // "scan2.log" is the longer of the two names; both must fit.
  const std::size_t prefixLength = std::strlen(log_prefix);
  if (prefixLength + withBackslash + std::strlen("scan2.log") >= ScanLogNames::kFileNameSize) return false;

  ScanLogNames formed;
  std::memcpy(formed.folder, folder, folderLength);
  if (addBackslash) formed.folder[folderLength] = '\\';
  formed.folder[withBackslash] = '\0';
  FlattenPath(formed.folder, formed.stem);
  std::snprintf(formed.log, sizeof formed.log, "%s%sscan.log", log_prefix, formed.stem);
  std::snprintf(formed.previous, sizeof formed.previous, "%s%sscan2.log", log_prefix, formed.stem);
  *names = formed;
  return true;
}

void RebuildScanLog(const char* folder, const char* log_prefix, bool init_mode, bool rotate_only,
                    const char* patterns) {
  ScanLogNames names;
  if (!FormScanLogNames(folder, log_prefix, &names)) return;

  if (FileExists(names.log)) {
    if (init_mode && !rotate_only) return;
    // Either may fail (no previous log, a locked file); the log is then truncated below.
    DeleteFileA(names.previous);
    MoveFileA(names.log, names.previous);
  }

  StdioFile log;
  if (!OpenLogForWriting(names.log, log)) return;
  if (rotate_only) return;
  std::setvbuf(log.Get(), nullptr, _IOFBF, kLogBufferSize);

  // Drive ("C:" or nothing) and directory without its trailing backslash, as _splitpath would
  // give them for a path that ends in a backslash.
  const std::size_t folderLength = std::strlen(names.folder);
  const std::size_t driveLength = names.folder[0] && names.folder[1] == ':' ? 2 : 0;
  char drive[3] = {};
  std::memcpy(drive, names.folder, driveLength);
  char directory[ScanLogNames::kFolderSize] = {};
  std::memcpy(directory, names.folder + driveLength, folderLength - driveLength - 1);
  ScanFolder(drive, directory, log.Get(), patterns);
}
