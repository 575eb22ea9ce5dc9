#include "scan/scanlog.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/directories.h"
#include "platform/directorystamp.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/streams.h"
#include "scan/asciifold.h"
#include "scan/compare.h"
#include "scan/logreader.h"
#include "scan/mediatype.h"
#include "scan/scanner.h"
#include "scan/scanparts.h"
#include "scan/walkindex.h"
#include "text/bytestring.h"

namespace {

// Scan logs are written line by line; a larger stream buffer saves the runtime most of its
// writes on a big library without changing a byte.
constexpr std::size_t kLogBufferSize = 64 * 1024;

// The new scan is written in binary mode, its lines ended by CR LF as the walk makes them, so that
// a quick walk can copy an unchanged directory's bytes as they are.
bool OpenLogForWriting(const char* name, StdioFile& file) {
  if (file.Open(name, "wb")) return true;
  // The log directory may not exist yet: create the chain and try once more.
  const ByteString path(name);
  const int last_backslash = path.ReverseFind('\\');
  if (last_backslash < 0) return false;
  if (!CreateDirectoryChain(path.Left(last_backslash))) return false;
  return file.Open(name, "wb");
}

// True when the directory the log file goes into exists (no directory part: the current one).
bool LogDirectoryExists(const char* name) {
  const ByteString path(name);
  const int last_backslash = path.ReverseFind('\\');
  if (last_backslash < 0) return true;
  return DirectoryExists(path.Left(last_backslash).CStr());
}

// The bytes written to a stream so far.
std::uint64_t FileSize(std::FILE* file) {
  const long size = std::ftell(file);
  return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

// Flushes the scan to the disk and closes it; false when any of it may be missing.
bool FinishFile(StdioFile& file) {
  const bool written = FlushToDisk(file.Get());
  file.Close();
  return written;
}

// True when the line lies below the directory (as "C:\Music\Live\", ASCII case ignored).
bool LineIsBelow(const char* line, std::size_t length, const std::string& directory) {
  if (length <= directory.size() || directory.size() >= kLogLineSize) return false;
  char folded_line[kLogLineSize];
  char folded_directory[kLogLineSize];
  // The directory ends in a one-byte backslash, so folding the line's start alone folds it alike.
  FoldAsciiCase(line, directory.size(), folded_line);
  FoldAsciiCase(directory.data(), directory.size(), folded_directory);
  return std::memcmp(folded_line, folded_directory, directory.size()) == 0;
}

// Copies the old scan's lines below the directories that could not be listed into the new scan:
// not listed is not gone. They go after the walk's own lines, each as text mode would write the
// piece read; the comparison tests membership.
bool CarryUnlistedLines(const char* baseline, const std::vector<std::string>& unlisted, std::FILE* out,
                        ScanParts* parts) {
  StdioFile old;
  if (!old.Open(baseline, "rb")) return false;
  LogReader reader(old.Get());
  const char* line;
  std::size_t length;
  while (reader.Next(&line, &length)) {
    for (const std::string& directory : unlisted) {
      if (LineIsBelow(line, length, directory)) {
        std::string piece(line, length);
        if (piece.back() == '\n') piece.insert(piece.size() - 1, 1, '\r');
        std::fwrite(piece.data(), 1, piece.size(), out);
        if (parts) parts->AddListed(piece.data(), piece.size());
        break;
      }
    }
  }
  // Read short, the old scan would lose lines here, and the files they name would pass for gone.
  return !std::ferror(old.Get());
}

enum class WalkResult { kComplete, kUnreachable, kFailed };

// Walks the folder into out. A directory below it that cannot be listed keeps the old scan's
// lines under it; the folder itself unlisted, or a walk that cannot say what it missed, fails.
WalkResult WalkInto(const ScanLogNames& names, const char* patterns, const char* exempt, const char* baseline,
                    std::FILE* out, IndexedWalk* indexed) {
  // Drive ("C:" or nothing) and directory without its trailing backslash, as _splitpath would
  // give them for a path that ends in a backslash.
  const std::size_t folder_length = std::strlen(names.folder);
  const std::size_t drive_length = names.folder[0] && names.folder[1] == ':' ? 2 : 0;
  char drive[3] = {};
  std::memcpy(drive, names.folder, drive_length);
  char directory[ScanLogNames::kFolderSize] = {};
  std::memcpy(directory, names.folder + drive_length, folder_length - drive_length - 1);
  try {
    std::vector<std::string> unlisted;
    if (ScanFolder(drive, directory, out, patterns, exempt, &unlisted, indexed)) return WalkResult::kComplete;
    // A missing drive, a vanished folder, access denied: an unreachable folder is not empty.
    if (!unlisted.empty() && EqualsIgnoringAsciiCase(unlisted.front().c_str(), names.folder)) {
      return WalkResult::kUnreachable;
    }
    if (unlisted.empty()) return WalkResult::kFailed;
    if (baseline && !CarryUnlistedLines(baseline, unlisted, out, indexed ? indexed->parts : nullptr)) {
      return WalkResult::kFailed;
    }
    return WalkResult::kComplete;
  } catch (...) {
    return WalkResult::kFailed;
  }
}

// The directory index's part of one rescan: the old index when it is valid, the new one as the
// walk writes it, and the new one's place once the scan log is in place. Whatever fails here
// costs only speed: the next walk is a full one.
class IndexedRescan {
 public:
  IndexedRescan() = default;
  IndexedRescan(const IndexedRescan&) = delete;
  IndexedRescan& operator=(const IndexedRescan&) = delete;
  // An index not put in place is not left behind.
  ~IndexedRescan() {
    writer_.Close();
    if (opened_) DeleteFileA(fresh_);
  }

  // Names the files (false when they do not fit: no index for this folder), reads the old index
  // and decides whether the walk may be quick. patterns and exempt: what the walk matches and
  // skips.
  bool Prepare(const ScanLogNames& names, const char* log_prefix, const ScanLogUpdate& update, bool log_exists,
               const char* patterns, const char* exempt) {
    const char* const kind = update.log_kind ? update.log_kind : "";
    if (!FormName(log_prefix, names.stem, kind, "scan.idx", path_) ||
        !FormName(log_prefix, names.stem, kind, "scan.idx.new", fresh_) ||
        !ReadVolumeIdentity(names.folder, &shape_.volume)) {
      return false;
    }
    shape_.settings_hash = HashWalkSettings(patterns, exempt, GetACP());
    const std::uint64_t now = CurrentStampTime();
    bool valid = false;
    try {
      valid = log_exists && previous_.Load(path_, names.log, shape_);
    } catch (...) {
      // An index too large for the memory left is no index; the walk is a full one.
      previous_.Close();
    }
    IndexState before;
    if (valid) {
      before = previous_.State();
      walk_.previous = &previous_;
    } else {
      // Only what was found of the volume carries over: an index of another scan log says
      // nothing of this one.
      ReadIndexState(path_, shape_.volume, &before);
    }
    walk_.quick = valid && update.quick_allowed && StampsFollowEntries(shape_.volume) && !before.quick_walks_off &&
                  before.full_walk_time >= update.full_walk_since && before.full_walk_time <= now;
    state_.quick_walks_off = before.quick_walks_off;
    state_.full_walk_time = walk_.quick ? before.full_walk_time : now;
    opened_ = writer_.Open(fresh_);
    if (opened_) walk_.next = &writer_;
    if (walk_.quick) walk_.parts = &parts_;
    return true;
  }

  IndexedWalk* Walk() { return &walk_; }

  // The comparison of the new scan with the scan log, looking only at what a quick walk did not
  // copy where that is the same; kUnproven when the whole comparison must be made.
  PartsComparison CompareChanges(const char* change_list, bool removals) {
    if (!walk_.quick || !walk_.parts) return PartsComparison::kUnproven;
    return AppendChangesOfParts(previous_.ScanLog(), previous_.ScanLogSize(), parts_, change_list, removals,
                                BackslashSeparates());
  }

  // Completes the new index for the new scan, once that is written whole (size bytes), and lets go
  // of the scan log, which the new scan is to replace. A walk that found the stamps lying switches
  // quick walks off for the folder from now on.
  void Finish(std::uint64_t size) {
    previous_.Close();
    if (!opened_) return;
    state_.quick_walks_off = state_.quick_walks_off || walk_.stamps_lied;
    finished_ = writer_.Finish(shape_, size, state_);
  }

  // Once the new scan is the scan log: the new index takes the old one's place.
  void PutInPlace() {
    if (!finished_) return;
    if (MoveFileExA(fresh_, path_, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) opened_ = false;
  }

 private:
  static bool FormName(const char* prefix, const char* stem, const char* kind, const char* suffix,
                       char (&name)[ScanLogNames::kFileNameSize]) {
    const int length = std::snprintf(name, sizeof name, "%s%s%s%s", prefix ? prefix : "", stem, kind, suffix);
    return length > 0 && static_cast<std::size_t>(length) < sizeof name;
  }

  // A byte 0x5C is a backslash wherever it stands, unless the code page has characters of two
  // bytes whose second may be one (UTF-8 has none).
  static bool BackslashSeparates() {
    CPINFO info;
    return GetACP() == CP_UTF8 || (GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1);
  }

  char path_[ScanLogNames::kFileNameSize] = {};
  char fresh_[ScanLogNames::kFileNameSize] = {};
  WalkShape shape_;
  PreviousWalk previous_;
  ScanParts parts_;
  IndexWriter writer_;
  IndexedWalk walk_;
  IndexState state_;
  bool opened_ = false;
  bool finished_ = false;
};

}  // namespace

ScanLogOutcome UpdateScanLog(const char* folder, const char* log_prefix, const ScanLogUpdate& update) {
  ScanLogNames names;
  if (!FormScanLogNames(folder, log_prefix, &names, update.log_kind)) return ScanLogOutcome::kFailed;

  // A log that is there but cannot be opened just now must not pass for a missing one: that
  // would write a first scan over it, and what changed since it was written would go unreported.
  const FilePresence log = ProbeFile(names.log);
  if (log == FilePresence::kUnknown) return ScanLogOutcome::kFailed;
  const bool log_exists = log == FilePresence::kPresent;
  if (log_exists && update.init_mode && !update.rotate_only) return ScanLogOutcome::kKept;
  // What the new scan is measured against: the scan log, or an old previous scan log when the
  // scan log is missing (a purge reports that one), or nothing at all for a first scan.
  const FilePresence previous = log_exists ? FilePresence::kPresent : ProbeFile(names.previous);
  if (previous == FilePresence::kUnknown) return ScanLogOutcome::kFailed;
  const char* baseline = log_exists ? names.log : (previous == FilePresence::kPresent ? names.previous : nullptr);
  // Asked before the new scan makes the log directory: a first scan into a new directory has no
  // empty previous scan to be measured against.
  const bool empty_previous = update.everything_new && LogDirectoryExists(names.log);

  StdioFile fresh;
  if (!OpenLogForWriting(names.fresh, fresh)) return ScanLogOutcome::kFailed;
  std::setvbuf(fresh.Get(), nullptr, _IOFBF, kLogBufferSize);
  WalkResult walk = WalkResult::kComplete;
  IndexedRescan index;
  if (!update.rotate_only) {
    const char* const exempt = update.exempt ? update.exempt->ExemptFolder() : nullptr;
    // Chosen once here, so that the index records the very list the walk matched.
    char patterns[kPatternListSize];
    ChoosePatternList(update.patterns, patterns, sizeof patterns);
    IndexedWalk* const indexed =
        index.Prepare(names, log_prefix, update, log_exists, patterns, exempt) ? index.Walk() : nullptr;
    walk = WalkInto(names, patterns, exempt, baseline, fresh.Get(), indexed);
  }
  const std::uint64_t fresh_size = FileSize(fresh.Get());
  const bool written = FinishFile(fresh);
  if (walk == WalkResult::kUnreachable && written && !log_exists && update.empty_when_unreachable) {
    // Nothing known of the folder yet: it starts from an empty scan, and everything in it is new
    // once it can be listed. A folder with a scan log keeps it.
    if (!fresh.Open(names.fresh, "w") || !FinishFile(fresh) ||
        !MoveFileExA(names.fresh, names.log, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      DeleteFileA(names.fresh);
      return ScanLogOutcome::kFailed;
    }
    return ScanLogOutcome::kUnreachable;
  }
  if (walk != WalkResult::kComplete || !written) {
    DeleteFileA(names.fresh);
    return walk == WalkResult::kUnreachable ? ScanLogOutcome::kUnreachable : ScanLogOutcome::kFailed;
  }

  if (update.change_list && (baseline || empty_previous)) {
    const char* old_scan = empty_previous ? nullptr : baseline;
    PartsComparison compared = index.CompareChanges(update.change_list, update.removals);
    if (compared == PartsComparison::kUnproven) {
      compared = AppendScanLogChanges(old_scan, names.fresh, update.change_list, update.removals)
                     ? PartsComparison::kAppended
                     : PartsComparison::kFailed;
    }
    if (compared != PartsComparison::kAppended) {
      // Not reported, so not replaced: the next rescan is measured against the same old scan.
      DeleteFileA(names.fresh);
      return ScanLogOutcome::kFailed;
    }
  }

  if (!update.rotate_only) index.Finish(fresh_size);

  // Rotation. Until the rename the old scan log stays where it was, so a process killed in
  // between leaves a state the next rescan repeats from; at no moment is the scan log missing.
  if (empty_previous) {
    // The empty scan it was measured against becomes the previous scan log, as the empty scan
    // log made for a first pictures scan always was rotated into it.
    StdioFile empty;
    empty.Open(names.previous, "w");
  } else if (log_exists) {
    // The scan log's bytes take the previous scan log's name as a second name of the same file,
    // which the rename below leaves as its only name: nothing is copied. Where the log folder's
    // file system has no such names, a copy; a failure of both leaves no previous scan log.
    DeleteFileA(names.previous);
    if (!CreateHardLinkA(names.previous, names.log, nullptr)) CopyFileA(names.log, names.previous, FALSE);
  }
  if (!MoveFileExA(names.fresh, names.log, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    // The scan log is held open elsewhere: the changes went out and will go out once more.
    DeleteFileA(names.fresh);
    return ScanLogOutcome::kFailed;
  }
  index.PutInPlace();
  return ScanLogOutcome::kUpdated;
}
