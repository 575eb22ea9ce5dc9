// Appends the differences between a folder's old scan and its new scan to a change list.
//
// Additions (lines of the scan log that the previous one lacks) come first in scan-log order,
// then, when asked, removals ("-" and the line) in previous-log order. Lines are equal when
// they differ only in ASCII letter case, line end included; a line longer than 519 bytes is
// taken as pieces of 519 bytes. Cost: linear in the two logs; the previous log is held in
// memory (see IndexedLog) and the new one streamed past it. Should that memory be refused, the
// comparison still comes out the same, by rereading one log for every line of the other.
//
// Failures: nothing is written when either log or the change list cannot be opened. A log that
// cannot be read to its end ends the comparison with false: additions found up to then are
// written, removals only once the new log has been read whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The comparison between two named scan logs, for a refresh that writes its new scan under a
// temporary name: appends to the change list (its full path) the lines of current_log that
// previous_log lacks and, with removals, "-" and the lines of previous_log that current_log
// lacks; previous_log null stands for an empty previous scan. The change list is flushed to the
// disk and closed before the answer: true only when both logs were read whole and every entry
// was written, so a caller may then let the new scan replace the old one. False, with nothing
// written, when a file cannot be opened; false after a read or write error, when some entries
// may be on the disk.
bool AppendScanLogChanges(const char* previous_log, const char* current_log, const char* change_list,
                          bool removals);

// The comparison the one above falls back to when memory for the previous log's index is refused:
// the same entries in the same order, with no memory beyond two line buffers, by rereading one log
// for every line of the other (cost: the product of the line counts). previous and current are
// scan logs opened for reading in binary mode; they are rewound and switched to the runtime's
// text mode. The entries are appended to out, a change list open for appending in text mode;
// torn_line_check, when given, names that change list, whose torn last line is ended before the
// first entry. False when a log could not be read to its end (a line is written only once the
// other log has been read whole for it); false, doing nothing, when any file is null.
bool AppendScanLogChangesByRereading(std::FILE* previous, std::FILE* current, std::FILE* out,
                                     bool removals, const char* torn_line_check = nullptr);

class ScanParts;

// The most of a previous scan that AppendChangesOfParts reads outside the copied ranges.
constexpr std::size_t kMaxRest = std::size_t{8} << 20;

enum class PartsComparison {
  kAppended,  // as AppendScanLogChanges answering true
  kUnproven,  // nothing written: only the whole comparison can tell
  kFailed,    // as AppendScanLogChanges answering false
};

// The comparison for a new scan made of parts (see ScanParts) of previous, a scan log open in
// binary mode and previous_size bytes long: appends exactly what AppendScanLogChanges would for
// the two whole scans, but reads only the previous scan's bytes outside the copied ranges and
// compares them with the walk's own. That is the same comparison wherever no line outside the
// copied ranges can equal one inside them, and this is proved from the lines' directory parts
// (all before the last backslash); kUnproven, with nothing written, where it cannot be: parts
// given up, more than kMaxRest bytes outside the copied ranges, a line longer than a line buffer
// takes whole, a NUL or Ctrl-Z byte, text in which a backslash byte can be part of a character
// (backslash_separates false: a double-byte code page), a line whose directory part is a copied
// range's line start in other letters, or ranges that do not split the scan into whole lines.
// The caller falls back to AppendScanLogChanges then. Cost: the bytes outside the copied ranges
// and one look at each copied range's line start.
PartsComparison AppendChangesOfParts(std::FILE* previous, std::uint64_t previous_size, const ScanParts& parts,
                                     const char* change_list, bool removals, bool backslash_separates);
