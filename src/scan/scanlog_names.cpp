#include "scan/scanlog.h"

#include <cstdio>
#include <cstring>

#include "text/mbtext.h"

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

bool FormScanLogNames(const char* folder, const char* log_prefix, ScanLogNames* names,
                      const char* log_kind) {
  // An empty folder would become "\", the top of the current drive: never scan that instead.
  if (!folder || !*folder || !names) return false;
  if (!log_prefix) log_prefix = "";
  if (!log_kind) log_kind = "";
  const std::size_t folder_length = std::strlen(folder);
  const bool add_backslash = !EndsWithBackslash(folder);
  const std::size_t with_backslash = folder_length + (add_backslash ? 1 : 0);
  if (with_backslash >= ScanLogNames::kStemSize) return false;
  // "scan2.log" is the longest of the three names; all must fit.
  const std::size_t prefix_length = std::strlen(log_prefix);
  if (prefix_length + with_backslash + std::strlen(log_kind) + std::strlen("scan2.log") >=
      ScanLogNames::kFileNameSize) {
    return false;
  }

  ScanLogNames formed;
  std::memcpy(formed.folder, folder, folder_length);
  if (add_backslash) formed.folder[folder_length] = '\\';
  formed.folder[with_backslash] = '\0';
  FlattenPath(formed.folder, formed.stem);
  std::snprintf(formed.log, sizeof formed.log, "%s%s%sscan.log", log_prefix, formed.stem, log_kind);
  std::snprintf(formed.previous, sizeof formed.previous, "%s%s%sscan2.log", log_prefix, formed.stem, log_kind);
  std::snprintf(formed.fresh, sizeof formed.fresh, "%s%s%sscan.new", log_prefix, formed.stem, log_kind);
  *names = formed;
  return true;
}
