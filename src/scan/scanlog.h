// Scan-log names and the rotation of a folder's scan log into its previous scan log.
//
// A folder F with log prefix P has the scan log P + S + "scan.log" and the previous scan log
// P + S + "scan2.log", where S is F with a backslash added (unless it ends in one) and every
// '\' and ':' made '_'. Each line of a scan log is one media file's full path, CR LF on disk.
//
// Failures are silent: a folder that has no usable name (empty, 259 characters or more with its
// backslash, or a prefix that makes a file name longer than 519) is left alone, and a scan log
// that cannot be created even after its directories were made is simply missing.
#pragma once

#include <cstddef>

// Copies source to destination with every '\' and ':' replaced by '_'. False for null pointers.
bool FlattenPath(const char* source, char* destination);

// Rotates (unless init_mode keeps an existing log) and rewrites the folder's scan log.
// patterns: a pattern list, or null for the general list of formats.ini.
void RebuildScanLog(const char* folder, const char* log_prefix, bool init_mode, bool rotate_only,
                    const char* patterns);

// The names that belong to one watched folder.
struct ScanLogNames {
  static constexpr std::size_t kFolderSize = 520;
  static constexpr std::size_t kStemSize = 260;
  static constexpr std::size_t kFileNameSize = 520;
  char folder[kFolderSize];        // the folder with its trailing backslash
  char stem[kStemSize];            // that folder flattened
  char log[kFileNameSize];         // prefix + stem + "scan.log"
  char previous[kFileNameSize];    // prefix + stem + "scan2.log"
};

// Fills names for the folder and the log prefix (null counts as empty). False, with names
// untouched, when the folder is null or empty or a name does not fit its buffer.
bool FormScanLogNames(const char* folder, const char* log_prefix, ScanLogNames* names);
