#include "scan/compare.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/handles.h"
#include "platform/streams.h"
#include "scan/asciifold.h"
#include "scan/indexedlog.h"
#include "scan/logreader.h"
#include "scan/scanparts.h"

namespace {

// A process killed while appending may have left half a line at the end of the change list. The
// next entry must not be glued to it, or the host would read one name made of two: the torn line
// is ended first (it stays unreadable, but alone).
void EndTornLine(const char* change_list) {
  StdioFile check;
  if (!check.Open(change_list, "rb")) return;
  if (std::fseek(check.Get(), -1, SEEK_END) != 0) return;  // empty
  const int last = std::fgetc(check.Get());
  check.Close();
  if (last == '\n' || last == EOF) return;
  StdioFile end;
  if (!end.Open(change_list, "ab")) return;
  std::fputs(last == '\r' ? "\n" : "\r\n", end.Get());
}

// Where the entries go. The change list is the host's: it is only ever appended to, so a torn
// last line is ended just before the first entry, and not at all when nothing is reported.
struct ChangeListOut {
  std::FILE* file;
  const char* tornLineCheck;  // the change list's name until its last line has been looked at
};

// An entry is always one whole line of its own. A piece without its line end (the last line of a
// log cut short, or the first 519 bytes of a longer line) gets one, so the next entry is never
// glued to it; a piece that holds no name (an empty line, or a NUL where a name should start)
// is no file and is left out.
void WriteEntry(ChangeListOut& out, const char* marker, const char* line, std::size_t length) {
  if (length == 0 || (length == 1 && line[0] == '\n')) return;
  if (out.tornLineCheck) {
    EndTornLine(out.tornLineCheck);
    out.tornLineCheck = nullptr;
  }
  std::fputs(marker, out.file);
  std::fwrite(line, 1, length, out.file);
  if (line[length - 1] != '\n') std::fputc('\n', out.file);
}

bool EqualLines(const char* a, std::size_t a_length, const char* b, std::size_t b_length) {
  if (a_length != b_length || a_length >= kLogLineSize) return false;
  char folded_a[kLogLineSize];
  char folded_b[kLogLineSize];
  FoldAsciiCase(a, a_length, folded_a);
  FoldAsciiCase(b, b_length, folded_b);
  return std::memcmp(folded_a, folded_b, a_length) == 0;
}

// Reads the reference from its start for the one line.
bool ReferenceHolds(std::FILE* reference, const char* line, std::size_t length) {
  std::fseek(reference, 0, SEEK_SET);
  char candidate[kLogLineSize];
  while (std::fgets(candidate, sizeof candidate, reference)) {
    if (EqualLines(candidate, std::strlen(candidate), line, length)) return true;
  }
  return false;
}

// Without memory for an index: every line of source against the whole of reference, read again
// each time through the runtime's own text mode. Slow (the product of the line counts) but it
// needs no memory at all. False when either log could not be read to its end: a line of source
// is written only once the whole of reference has been read for it.
bool AppendMissingByRereading(std::FILE* source, std::FILE* reference, ChangeListOut& out, const char* marker) {
  std::fseek(source, 0, SEEK_SET);
  char line[kLogLineSize];
  while (std::fgets(line, sizeof line, source)) {
    const std::size_t length = std::strlen(line);
    const bool held = ReferenceHolds(reference, line, length);
    if (std::ferror(reference)) return false;
    if (!held) WriteEntry(out, marker, line, length);
  }
  return !std::ferror(source);
}

// Both passes of the comparison without an index, in the runtime's own text mode.
bool AppendChangesByRereading(std::FILE* previous, std::FILE* current, ChangeListOut& out, bool removals) {
  for (std::FILE* file : {previous, current}) {
    std::fseek(file, 0, SEEK_SET);
    UseRuntimeTextMode(file);
  }
  if (!AppendMissingByRereading(current, previous, out, "")) return false;
  return !removals || AppendMissingByRereading(previous, current, out, "-");
}

}  // namespace

bool AppendScanLogChangesByRereading(std::FILE* previous, std::FILE* current, std::FILE* out,
                                     bool removals, const char* torn_line_check) {
  if (!previous || !current || !out) return false;
  ChangeListOut changes{out, torn_line_check};
  return AppendChangesByRereading(previous, current, changes, removals);
}

namespace {

// Appends the differences; false when a log could not be read to its end. A log read short
// would pass for one without its last lines: what is written before the failure shows is true
// (additions found in the new log), and no removal is written until the new log has been read
// whole.
bool AppendChanges(std::FILE* previous, std::FILE* current, ChangeListOut& out, bool removals) {
  if (!previous) {
    // An empty previous scan: every line is new and nothing can be gone.
    LogReader reader(current);
    const char* line;
    std::size_t length;
    while (reader.Next(&line, &length)) WriteEntry(out, "", line, length);
    return !std::ferror(current);
  }
  IndexedLog indexed;
  const bool loaded = indexed.Load(previous);
  if (std::ferror(previous)) return false;
  if (!loaded) return AppendScanLogChangesByRereading(previous, current, out.file, removals, out.tornLineCheck);
  // One pass over the new log: its lines the previous one lacks are additions, and every
  // previous line it holds is marked as still present.
  LogReader reader(current);
  const char* line;
  std::size_t length;
  while (reader.Next(&line, &length)) {
    if (!indexed.MatchAndMark(line, length)) WriteEntry(out, "", line, length);
  }
  if (std::ferror(current)) return false;
  if (!removals) return true;
  indexed.ForEachUnmatched([&out](const char* text, std::size_t text_length) { WriteEntry(out, "-", text, text_length); });
  return true;
}

}  // namespace

bool AppendScanLogChanges(const char* previous_log, const char* current_log, const char* change_list,
                          bool removals) {
  if (!current_log || !change_list) return false;
  StdioFile previous;
  if (previous_log && !previous.Open(previous_log, "rb")) return false;
  StdioFile current;
  if (!current.Open(current_log, "rb")) return false;
  StdioFile changes;
  if (!changes.Open(change_list, "a")) return false;

  ChangeListOut out{changes.Get(), change_list};
  if (!AppendChanges(previous.Get(), current.Get(), out, removals)) return false;
  // The caller replaces the scan log once this answers true, and the next comparison starts from
  // that: the entries must be on the disk by then, not in a buffer a killed process takes along.
  return FlushToDisk(changes.Get());
}

namespace {

// The previous scan's bytes outside the copied ranges, in its order, into rest. kUnproven when
// the ranges overlap, run past the end, or start where a line does not end, or when the rest is
// too large; kFailed when it cannot be read.
PartsComparison ReadRest(std::FILE* previous, std::uint64_t previous_size, const ScanParts& parts, std::string* rest) {
  std::vector<ScanParts::Range> ranges = parts.Copied();
  std::sort(ranges.begin(), ranges.end(),
            [](const ScanParts::Range& a, const ScanParts::Range& b) { return a.offset < b.offset; });
  std::uint64_t at = 0;
  std::uint64_t rest_size = 0;
  for (const ScanParts::Range& range : ranges) {
    if (range.offset < at || range.size > previous_size || range.offset > previous_size - range.size) {
      return PartsComparison::kUnproven;
    }
    rest_size += range.offset - at;
    at = range.offset + range.size;
  }
  rest_size += previous_size - at;
  if (rest_size > kMaxRest) return PartsComparison::kUnproven;
  rest->reserve(static_cast<std::size_t>(rest_size));
  at = 0;
  const auto take = [&](std::uint64_t end) {
    if (end == at) return true;
    const std::size_t size = static_cast<std::size_t>(end - at);
    const std::size_t before = rest->size();
    rest->resize(before + size);
    return at <= 0x7FFFFFFF && std::fseek(previous, static_cast<long>(at), SEEK_SET) == 0 &&
           std::fread(&(*rest)[before], 1, size, previous) == size;
  };
  for (const ScanParts::Range& range : ranges) {
    if (!take(range.offset)) return PartsComparison::kFailed;
    // A copied range must start a line, as it does in the new scan.
    if (!rest->empty() && rest->back() != '\n') return PartsComparison::kUnproven;
    at = range.offset + range.size;
  }
  return take(previous_size) ? PartsComparison::kAppended : PartsComparison::kFailed;
}

// Adds the folded directory part (up to its last backslash) of every line of text to parts;
// false when a line is longer than a line buffer takes whole or a NUL or Ctrl-Z byte shows.
bool CollectDirectoryParts(const std::string& text, std::unordered_set<std::string>* parts) {
  if (std::memchr(text.data(), '\0', text.size()) || std::memchr(text.data(), 0x1A, text.size())) return false;
  LogReader reader(text.data(), text.size());
  const char* line;
  std::size_t length;
  char folded[kLogLineSize];
  while (reader.Next(&line, &length)) {
    // A piece that fills the buffer without its line end is the start of a longer line.
    if (length == kLogLineSize - 1 && line[length - 1] != '\n') return false;
    std::size_t directory = length;
    while (directory > 0 && line[directory - 1] != '\\') --directory;
    FoldAsciiCase(line, directory, folded);
    parts->emplace(folded, directory);
  }
  return true;
}

}  // namespace

PartsComparison AppendChangesOfParts(std::FILE* previous, std::uint64_t previous_size, const ScanParts& parts,
                                     const char* change_list, bool removals, bool backslash_separates) {
  if (!previous || !change_list || !parts.Usable() || !backslash_separates) return PartsComparison::kUnproven;
  try {
    std::string rest;
    const PartsComparison read = ReadRest(previous, previous_size, parts, &rest);
    if (read != PartsComparison::kAppended) return read;
    // A line outside the copied ranges can equal one inside only when their directory parts are
    // equal: every line inside is its range's line start and a name without a backslash.
    std::unordered_set<std::string> directories;
    if (!CollectDirectoryParts(rest, &directories) || !CollectDirectoryParts(parts.Listed(), &directories)) {
      return PartsComparison::kUnproven;
    }
    char folded[kLogLineSize];
    for (std::size_t i = 0; i < parts.Copied().size(); ++i) {
      std::size_t length = 0;
      const char* start = parts.LineStart(i, &length);
      if (length >= kLogLineSize) return PartsComparison::kUnproven;
      FoldAsciiCase(start, length, folded);
      if (directories.count(std::string(folded, length))) return PartsComparison::kUnproven;
    }
    IndexedLog indexed;
    LogReader rest_reader(rest.data(), rest.size());
    if (!indexed.Load(rest_reader)) return PartsComparison::kUnproven;

    StdioFile changes;
    if (!changes.Open(change_list, "a")) return PartsComparison::kFailed;
    ChangeListOut out{changes.Get(), change_list};
    LogReader reader(parts.Listed().data(), parts.Listed().size());
    const char* line;
    std::size_t length;
    while (reader.Next(&line, &length)) {
      if (!indexed.MatchAndMark(line, length)) WriteEntry(out, "", line, length);
    }
    if (removals) {
      indexed.ForEachUnmatched(
          [&out](const char* text, std::size_t text_length) { WriteEntry(out, "-", text, text_length); });
    }
    return FlushToDisk(changes.Get()) ? PartsComparison::kAppended : PartsComparison::kFailed;
  } catch (...) {
    // Out of memory for the rest or the directories: the whole comparison needs less.
    return PartsComparison::kUnproven;
  }
}
