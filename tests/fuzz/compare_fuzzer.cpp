// The scan-log comparison on files it writes. The input holds, split at 0xFF
// bytes (no character of code page 932 uses one), a previous scan log, a new
// scan log and what the change list held before; a first byte of flags picks
// the double-byte stand-in, removals, and an absent previous log. The change
// list afterwards must be its old bytes, then, when there is any entry, a torn
// last line ended and every entry a model written from the log rules gives:
// logs read as the runtime's text mode reads them (CR LF is LF, Ctrl-Z ends
// the file), cut in pieces of a line or 519 bytes, each up to a NUL; lines
// equal when they differ only in the case of one-byte ASCII letters;
// additions in the new log's order, then "-" and the removals in the previous
// log's order; every entry one whole line, none without a name. Where the
// runtime's text mode is no different from binary (no CR, no Ctrl-Z), the
// comparison without an index, by rereading, must write the same bytes. And
// a new scan made of the new log's lines and copies of some previous lines
// (picked by the flags' upper bits) compared by its parts must give what the
// whole comparison gives, or nothing and say so (always under double bytes).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/handles.h"
#include "scan/compare.h"
#include "scan/scanparts.h"
#include "text/mbtext.h"

namespace {

using fuzzmodel::CharStarts;
using fuzzmodel::IsSingleByteChar;

constexpr std::size_t kPieceLength = 519;

// The runtime's text-mode reading, cut in pieces as fgets into 520 bytes cuts it.
FUZZ_MODEL std::vector<std::string> Pieces(const std::string& bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\x1a') break;
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += bytes[i];
  }
  std::vector<std::string> pieces;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t lineEnd = text.find('\n', at);
    std::size_t length = lineEnd == std::string::npos ? text.size() - at : lineEnd - at + 1;
    if (length > kPieceLength) length = kPieceLength;
    pieces.push_back(std::string(text.substr(at, length).c_str()));
    at += length;
  }
  return pieces;
}

FUZZ_MODEL std::string Folded(const std::string& piece, bool doubleByte) {
  const std::vector<char> starts = CharStarts(piece, doubleByte);
  std::string out = piece;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (IsSingleByteChar(starts, i) && out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
  }
  return out;
}

FUZZ_MODEL bool Holds(const std::vector<std::string>& pieces, const std::string& piece, bool doubleByte) {
  const std::string folded = Folded(piece, doubleByte);
  for (const std::string& other : pieces) {
    if (other.size() == piece.size() && Folded(other, doubleByte) == folded) return true;
  }
  return false;
}

FUZZ_MODEL void AddEntry(std::string& out, const char* marker, const std::string& piece) {
  if (piece.empty() || piece == "\n") return;
  out += marker;
  out += piece;
  if (piece.back() != '\n') out += '\n';
}

FUZZ_MODEL std::string Expected(const std::string* previous, const std::string& current, const std::string& before,
                                bool removals, bool doubleByte) {
  std::string out;
  const std::vector<std::string> now = Pieces(current);
  const std::vector<std::string> then = previous ? Pieces(*previous) : std::vector<std::string>();
  for (const std::string& piece : now) {
    if (!Holds(then, piece, doubleByte)) AddEntry(out, "", piece);
  }
  if (removals) {
    for (const std::string& piece : then) {
      if (!Holds(now, piece, doubleByte)) AddEntry(out, "-", piece);
    }
  }
  // The change list is only appended to: its torn last line is ended only before an entry.
  if (out.empty()) return before;
  std::string torn = before;
  if (!torn.empty() && torn.back() != '\n') torn += torn.back() == '\r' ? "\n" : "\r\n";
  return torn + out;
}

constexpr const char* kWorkFiles[] = {"scan2.log", "scan.new", "fldrscan.out"};

char g_workFolder[256];

void RemoveWorkFolder() {
  for (const char* name : kWorkFiles) std::remove((std::string(g_workFolder) + "/" + name).c_str());
  rmdir(g_workFolder);
}

// A folder of this process's own for the three files, in memory where the system has one;
// removed when the run ends.
const std::string& WorkFolder() {
  static const std::string folder = [] {
    const char* tmp = std::getenv("TMPDIR");
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (tmp ? tmp : "/tmp");
    std::snprintf(g_workFolder, sizeof g_workFolder, "%s/wf-compare-XXXXXX", base);
    if (!mkdtemp(g_workFolder)) std::abort();
    std::atexit(RemoveWorkFolder);
    return std::string(g_workFolder);
  }();
  return folder;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(file != nullptr);
  FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
  std::fclose(file);
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  FUZZ_CHECK(file != nullptr);
  char block[4096];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
  std::fclose(file);
  return bytes;
}

// The change list after one comparison that starts from the old bytes (none: no file at all).
std::string Compare(const std::string* previous, const std::string& before, bool removals) {
  const std::string& folder = WorkFolder();
  const std::string changes = folder + "/fldrscan.out";
  if (before.empty()) {
    std::remove(changes.c_str());
  } else {
    WriteFile(changes, before);
  }
  const std::string previousLog = folder + "/scan2.log";
  const bool compared = AppendScanLogChanges(previous ? previousLog.c_str() : nullptr, (folder + "/scan.new").c_str(),
                                             changes.c_str(), removals);
  FUZZ_CHECK(compared);
  return ReadFile(changes);
}

// The entries the comparison without an index appends to an empty change list.
std::string Reread(bool removals) {
  const std::string& folder = WorkFolder();
  const std::string changes = folder + "/fldrscan.out";
  std::remove(changes.c_str());
  {
    StdioFile previous, current, out;
    FUZZ_CHECK(previous.Open((folder + "/scan2.log").c_str(), "rb"));
    FUZZ_CHECK(current.Open((folder + "/scan.new").c_str(), "rb"));
    FUZZ_CHECK(out.Open(changes.c_str(), "a"));
    AppendScanLogChangesByRereading(previous.Get(), current.Get(), out.Get(), removals);
  }
  return ReadFile(changes);
}

// A line a walk could have written and a quick walk copies: a line start up to its last
// backslash, a name, its line end, no NUL or Ctrl-Z, short enough for a line buffer.
bool Copyable(const std::string& line) {
  const bool crlf = line.size() >= 2 && line[line.size() - 2] == '\r';
  return !line.empty() && line.back() == '\n' && line.size() - (crlf ? 1 : 0) <= 519 &&
         line.find('\0') == std::string::npos &&
         line.find('\x1a') == std::string::npos;
}

// A new scan made of the fuzzed new scan's lines as listed ones, then copies of the copyable
// lines of the previous scan that choice picks: the comparison of its parts either writes
// nothing and says it cannot tell, or writes exactly what the whole comparison writes.
void CheckParts(const std::string& previous, const std::string& listed, const std::string& before, bool removals,
                bool doubleByte, unsigned choice) {
  const std::string& folder = WorkFolder();
  ScanParts parts;
  parts.AddListed(listed.data(), listed.size());
  std::string scan = listed;
  std::size_t at = 0;
  for (unsigned line_number = 0; at < previous.size(); ++line_number) {
    const std::size_t end = previous.find('\n', at);
    const std::string line = previous.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
    if (Copyable(line) && ((choice >> (line_number % 5)) & 1)) {
      parts.AddCopied(at, line.size(), line.substr(0, line.rfind('\\') + 1));
      scan += line;
    }
    at += line.size();
  }
  WriteFile(folder + "/scan.new", scan);
  const std::string whole = Compare(&previous, before, removals);
  const std::string changes = folder + "/fldrscan.out";
  if (before.empty()) {
    std::remove(changes.c_str());
  } else {
    WriteFile(changes, before);
  }
  PartsComparison result;
  {
    StdioFile file;
    FUZZ_CHECK(file.Open((folder + "/scan2.log").c_str(), "rb"));
    result = AppendChangesOfParts(file.Get(), previous.size(), parts, changes.c_str(), removals, !doubleByte);
  }
  FUZZ_CHECK(result != PartsComparison::kFailed);
  if (result == PartsComparison::kAppended) {
    FUZZ_CHECK(ReadFile(changes) == whole);
  } else {
    FUZZ_CHECK(before.empty() ? access(changes.c_str(), F_OK) != 0 : ReadFile(changes) == before);
  }
  FUZZ_CHECK(!doubleByte || result == PartsComparison::kUnproven);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 8192) return 0;
  const unsigned flags = data[0];
  const bool doubleByte = flags & 1;
  const bool removals = flags & 2;
  const bool noPrevious = flags & 4;
  std::vector<std::string> parts(1);
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == 0xFF && parts.size() < 3) {
      parts.emplace_back();
    } else {
      parts.back() += static_cast<char>(data[i]);
    }
  }
  parts.resize(3);
  const std::string* previous = noPrevious ? nullptr : &parts[0];
  const std::string& current = parts[1];
  const std::string& before = parts[2];

  UseCodePageStandIn932(doubleByte);
  const std::string& folder = WorkFolder();
  WriteFile(folder + "/scan2.log", parts[0]);
  WriteFile(folder + "/scan.new", current);
  const std::string want = Expected(previous, current, before, removals, doubleByte);
  FUZZ_CHECK(Compare(previous, before, removals) == want);

  const std::string logs = parts[0] + current;
  if (previous && logs.find_first_of("\r\x1a") == std::string::npos) {
    FUZZ_CHECK(Reread(removals) == Expected(previous, current, "", removals, doubleByte));
  }
  if (previous) CheckParts(parts[0], current, before, removals, doubleByte, flags >> 3);
  UseCodePageStandIn932(false);
  return 0;
}
