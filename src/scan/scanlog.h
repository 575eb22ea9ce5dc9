// Scan-log names and the rotation of a folder's scan log into its previous scan log.
//
// A folder F with log prefix P has the scan log P + S + "scan.log" and the previous scan log
// P + S + "scan2.log", where S is F with a backslash added (unless it ends in one) and every
// '\' and ':' made '_'. Each line of a scan log is one media file's full path, CR LF on disk.
//
// A rescan never leaves a folder worse off than before it, whenever the process dies: the new
// scan is written beside the scan log as P + S + "scan.new", compared with the old scan while
// that is still in place, and only once its changes are on the disk does it become the scan log
// (the old one's file given the previous scan log's name as a second name first, or copied there
// where the log folder's file system has no second names, then the new one renamed over it). A
// process killed at any point leaves the old scan log, so the next rescan repeats the work: a
// change may be reported twice, never lost. The same holds for a walk that could not list the
// watched folder itself (nothing changes at all) or some directory below it (the old scan's lines
// under that directory are carried into the new scan, so no present file is reported removed).
//
// Beside the scan log lies its directory index, P + S + "scan.idx" (see walkindex.h), written
// with every walk and put in place after the scan log; with a valid one a quick walk lists only
// the directories whose stamps moved. Whatever becomes of the index costs speed only.
//
// Cost: the walk, one comparison of the two scans, no copy. A quick walk reads of the old scan log
// only the unchanged directories' bytes, which it copies, and the rest, which it compares with
// what it listed (see AppendChangesOfParts). Failures are silent: a folder that
// has no usable name (empty, 259 characters or more with its backslash, or a prefix that makes a
// file name longer than 519) is left alone, and so is one whose scan logs cannot be told present
// or missing, or whose new scan or change list cannot be written; only the outcome of
// UpdateScanLog tells them apart.
#pragma once

#include <cstddef>
#include <cstdint>

// Copies source to destination with every '\' and ':' replaced by '_'. False for null pointers.
bool FlattenPath(const char* source, char* destination);

// Where a rescan gets the exempt folder from (the host's "ExemptWatch"): asked just before a walk
// and only when there is one, so that the caller reads its setting only when a folder is walked.
class ExemptFolderSource {
 public:
  // The folder whose subtree the walk skips, as the setting gives it; null or empty for none.
  virtual const char* ExemptFolder() = 0;

 protected:
  ~ExemptFolderSource() = default;
};

// What one folder's rescan is asked to do.
struct ScanLogUpdate {
  bool init_mode = false;    // an existing scan log is kept; only a missing one is written
  bool rotate_only = false;  // nothing is walked: the new scan is empty (a purge)
  const char* patterns = nullptr;      // null: the general list of formats.ini
  ExemptFolderSource* exempt = nullptr;  // null: no folder is exempt
  const char* change_list = nullptr;   // the full path of the change list; null: no comparison
  bool removals = false;               // report what disappeared as well
  // Compare with an empty previous scan, which becomes the previous scan log, when the log
  // directory exists already (the pictures folder's first scan); otherwise nothing is compared.
  bool everything_new = false;
  // A folder that cannot be listed and has no scan log gets an empty one (a first scan at the
  // host's start), so that its files are reported once it can be listed.
  bool empty_when_unreachable = false;
  // Put between the folder's stem and "scan.log" (null: nothing): a second set of logs for a folder
  // that two refreshes watch with different pattern lists. Must not end in '_', as every stem does,
  // so that the names cannot be another folder's.
  const char* log_kind = nullptr;
  // Quick walks (see walkindex.h): allowed at all (the host's setting), and then only for a
  // folder whose last full walk was made at or after this stamp time (100 ns since 1601) and is
  // not in the future. Every walk writes the folder's directory index beside its scan log and,
  // where the old one is valid, checks it.
  bool quick_allowed = false;
  std::uint64_t full_walk_since = 0;
};

enum class ScanLogOutcome {
  kUpdated,      // the new scan is the scan log, its changes are in the change list
  kKept,         // init mode found a scan log and left it alone
  kUnreachable,  // the folder itself could not be listed: no file was touched, except the empty
                 // scan log that empty_when_unreachable asks for where there was none
  kFailed,       // unusable names, or a file that could not be written: no log was touched
};

// The rescan of one folder. Without a previous scan (no scan log and no previous scan log) nothing
// is compared. The comparison is made against the scan log, or when there is none against the
// previous scan log; when the update completes, the previous scan log holds the old scan log's
// bytes (kept as it was when there was none) and the scan log the new scan.
ScanLogOutcome UpdateScanLog(const char* folder, const char* log_prefix, const ScanLogUpdate& update);

// The names that belong to one watched folder.
struct ScanLogNames {
  static constexpr std::size_t kFolderSize = 520;
  static constexpr std::size_t kStemSize = 260;
  static constexpr std::size_t kFileNameSize = 520;
  char folder[kFolderSize];        // the folder with its trailing backslash
  char stem[kStemSize];            // that folder flattened
  char log[kFileNameSize];         // prefix + stem + kind + "scan.log"
  char previous[kFileNameSize];    // prefix + stem + kind + "scan2.log"
  char fresh[kFileNameSize];       // prefix + stem + kind + "scan.new": a scan not yet in place
};

// Fills names for the folder and the log prefix (null counts as empty), with log_kind (null counts
// as empty) between the stem and "scan.log". False, with names untouched, when the folder is null
// or empty or a name does not fit its buffer.
bool FormScanLogNames(const char* folder, const char* log_prefix, ScanLogNames* names,
                      const char* log_kind = nullptr);
