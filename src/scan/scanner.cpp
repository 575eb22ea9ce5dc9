#include "scan/scanner.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/directories.h"
#include "platform/directorystamp.h"
#include "platform/handles.h"
#include "scan/asciifold.h"
#include "scan/mediatype.h"
#include "scan/scanparts.h"
#include "scan/walkindex.h"
#include "text/mbtext.h"

namespace {

constexpr std::size_t kPathSize = 260;
// A stamp read this close to its own time (100 ns units: two seconds) may yet change within its
// clock tick and then look the same: its directory is listed again next time.
constexpr std::uint64_t kStampSettleTime = 20000000;

// A directory waiting to be walked; below_link: reached through a link or junction, which may
// lead to a volume whose stamps cannot be trusted; parent_length: the length of its parent's
// directory part in path (kTop for the watched folder itself).
struct PendingDirectory {
  std::string path;
  bool below_link = false;
  std::size_t parent_length = kTop;
  static constexpr std::size_t kTop = static_cast<std::size_t>(-1);
};

// The answers for the last few extensions met: a library holds few kinds of file, and with the
// list fixed for the scan an extension's answer cannot change.
class ExtensionAnswers {
 public:
  // True when the extension's answer is known; then *matches holds it.
  bool Find(const char* extension, bool* matches) const {
    for (const Entry& entry : entries_) {
      if (entry.used && std::strcmp(entry.extension, extension) == 0) {
        *matches = entry.matches;
        return true;
      }
    }
    return false;
  }
  void Remember(const char* extension, bool matches) {
    if (std::strlen(extension) >= sizeof entries_[0].extension) return;
    Entry& entry = entries_[next_];
    next_ = (next_ + 1) % kEntries;
    std::strcpy(entry.extension, extension);
    entry.matches = matches;
    entry.used = true;
  }

 private:
  static constexpr std::size_t kEntries = 8;
  struct Entry {
    char extension[16];
    bool matches;
    bool used;
  };
  Entry entries_[kEntries] = {};
  std::size_t next_ = 0;
};

// What stays the same for every directory of one scan.
struct ScanContext {
  FILE* out = nullptr;
  std::string drive;
  // The exempt folder with its backslash; empty when no folder is exempt. One byte more than the
  // path limit, so a folder of 259 characters still gets its backslash.
  char exempt[kPathSize + 1] = {};
  char patterns[kPatternListSize] = {};
  ExtensionAnswers answers;
  bool complete = true;
  // When asked for: the directories that could not be listed, as their lines would start.
  std::vector<std::string>* unlisted = nullptr;
  // The lines of the directory being listed; one buffer for the whole walk.
  std::string pendingLines;
  // Set when a listing met a link that leads back up.
  bool loop_met = false;
  IndexedWalk* indexed = nullptr;
  DirectoryStampReader stamps;
};

bool IsMedia(ScanContext& context, const char* extension) {
  bool matches = false;
  if (context.answers.Find(extension, &matches)) return matches;
  matches = MatchesPatternList(extension, context.patterns);
  context.answers.Remember(extension, matches);
  return matches;
}

// The exempt folder as the lines of its directory start: with its backslash.
void TakeExemptFolder(const char* folder, char (&exempt)[kPathSize + 1]) {
  std::memset(exempt, 0, sizeof exempt);
  if (!folder || std::strlen(folder) >= kPathSize) return;
  BoundedCopy(exempt, folder, sizeof exempt);
  if (exempt[0] && !EndsWithBackslash(exempt)) BoundedAppend(exempt, "\\", sizeof exempt);
}

bool IsDotEntry(const char* name) {
  return (name[0] == '.' && name[1] == '\0') || (name[0] == '.' && name[1] == '.' && name[2] == '\0');
}

// current + name + CR LF, as a scan log holds it on the disk: current is at most 258 bytes and a
// name 259, so a line read back as text fits the 520-byte line buffer whole.
void AppendLine(std::string& lines, const char* current, std::size_t current_length, const char* name) {
  lines.append(current, current_length);
  lines.append(name);
  lines += "\r\n";
}

// Wide text into the ANSI code page only when every character has its own spelling there. The
// ANSI listing functions put '?' or a look-alike in place of a character the code page lacks
// ("Dvořák" comes back as "Dvorak" under code page 1252, observed under Wine), and a path made
// of such a name opens no file, or another one.
bool ToAnsiExactly(const wchar_t* wide, char* destination, int size) {
  // A UTF-8 code page spells every character, and the call refuses the default-char question.
  const bool utf8 = GetACP() == CP_UTF8;
  BOOL used_default = FALSE;
  const int written = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, wide,
                                          -1, destination, size, nullptr, utf8 ? nullptr : &used_default);
  return written > 0 && !used_default;
}

// The extension of the entry's own name (after its last dot), spelt exactly: a short name's
// extension is cut to three characters. False without a dot, or when the code page cannot spell
// it (then no ANSI pattern list names it either).
bool OwnExtension(const WIN32_FIND_DATAW& entry, char (&extension)[kPathSize]) {
  const wchar_t* dot = std::wcsrchr(entry.cFileName, L'.');
  return dot && ToAnsiExactly(dot + 1, extension, kPathSize);
}

// A directory's identity: the same by whatever path (link, junction, mount) it is reached.
struct DirectoryId {
  DWORD volume;
  DWORD indexHigh;
  DWORD indexLow;
  bool operator==(const DirectoryId& other) const {
    return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
  }
};

bool GetDirectoryId(const char* path, DirectoryId* id) {
  // The identity needs no access rights; backup semantics let a directory be opened at all.
  const KernelHandle directory(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!directory.IsOpen() || !GetFileInformationByHandle(directory.Get(), &info)) return false;
  *id = DirectoryId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

// True when the subdirectory name of current, a link or junction, leads back to current or to a
// directory above it: the walk through it would never end (a link to an ancestor, or two links
// side by side, multiply the tree without bound). Only links can close such a loop, so ordinary
// directories cost nothing here; a link costs one open per level of current.
bool LeadsBackUp(const char* current, std::size_t current_length, const char* name) {
  char path[kPathSize] = {};
  // Too long to be opened: its listing fails on its own.
  if (current_length + std::strlen(name) >= kPathSize) return false;
  std::memcpy(path, current, current_length);
  BoundedAppend(path, name, sizeof path);
  DirectoryId target;
  if (!GetDirectoryId(path, &target)) return false;
  // Each one-byte backslash of current ends one directory on the way down from the root; a trail
  // byte 0x5C ends none.
  char ancestor[kPathSize] = {};
  for (const char* p = current; *p; p = MbNext(p)) {
    if (!MbIsSingleByteAt(p, '\\')) continue;
    const std::size_t length = static_cast<std::size_t>(p - current) + 1;
    std::memcpy(ancestor, current, length);
    ancestor[length] = '\0';
    DirectoryId id;
    if (GetDirectoryId(ancestor, &id) && id == target) return true;
  }
  return false;
}

// Lines the walk made itself (not copied from the old scan).
void WriteListed(ScanContext& context, const std::string& lines) {
  std::fwrite(lines.data(), 1, lines.size(), context.out);
  if (context.indexed && context.indexed->parts) context.indexed->parts->AddListed(lines.data(), lines.size());
}

// A directory that will not be listed: the walk is incomplete, and a caller that asked is told.
void NoteUnlisted(ScanContext& context, const std::string& directory) {
  context.complete = false;
  if (context.unlisted) context.unlisted->push_back(context.drive + directory + '\\');
}

// Lists one directory: writes its media files (kept in pendingLines too) and appends the
// directory parts of its subdirectories to children, in listing order. False when it cannot be
// listed, or when the listing stopped before its end: then nothing of it is written and children
// is left as it was, so a share that drops mid-listing never passes for a directory with fewer
// files.
bool ListDirectory(ScanContext& context, const std::string& directory, std::vector<PendingDirectory>& children) {
  context.pendingLines.clear();
  // current: drive + directory + "\", which starts every line of this directory.
  const std::size_t current_length = context.drive.size() + directory.size() + 1;
  // The search text adds "*"; the ANSI functions refuse anything past the path limit, so a
  // directory this deep cannot be listed by us at all.
  if (current_length + 1 >= kPathSize) return false;
  char current[kPathSize] = {};
  std::memcpy(current, context.drive.data(), context.drive.size());
  std::memcpy(current + context.drive.size(), directory.data(), directory.size());
  current[current_length - 1] = '\\';

  if (context.exempt[0] && EqualsIgnoringAsciiCase(context.exempt, current)) return true;

  char search[kPathSize] = {};
  std::memcpy(search, current, current_length);
  search[current_length] = '*';

  // Listed in UTF-16 and spelt in the code page here, where a name it cannot spell is seen.
  wchar_t wide_search[kPathSize] = {};
  if (MultiByteToWideChar(CP_ACP, 0, search, -1, wide_search, static_cast<int>(kPathSize)) <= 0) return false;

  // One listing serves both the files and the subdirectories: with "*" and "*.*" the system
  // returns the same entries, dot-less names included.
  WIN32_FIND_DATAW entry;
  const FindHandle find(FindFirstFileW(wide_search, &entry));
  if (!find.IsOpen()) {
    // The top of a drive has no "." or "..": an empty one lists nothing at all and says "file not
    // found". The directory being there tells it from a folder or drive that is not.
    const DWORD error = GetLastError();
    return (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) && DirectoryExists(current);
  }
  // What this directory gives is kept until its listing has reached its end.
  std::string& lines = context.pendingLines;
  const std::size_t children_before = children.size();
  do {
    // The name a path can reach the entry by: its own, or else its short name (too long a name
    // for the path limit counts as one the code page cannot spell). An entry reachable by
    // neither is left out, a directory with all below it: a line for it would name no file.
    char name[kPathSize];
    const bool own_name = ToAnsiExactly(entry.cFileName, name, kPathSize);
    if (!own_name && !(entry.cAlternateFileName[0] && ToAnsiExactly(entry.cAlternateFileName, name, kPathSize))) {
      continue;
    }
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (IsDotEntry(name)) continue;
      std::string child = directory;
      child += '\\';
      child += name;
      const bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (link && LeadsBackUp(current, current_length, name)) {
        context.loop_met = true;
        continue;
      }
      children.push_back(PendingDirectory{std::move(child), link, directory.size()});
      continue;
    }
    // The extension follows the last dot of the file's own name; a name without one is no media.
    char own_extension[kPathSize];
    const char* extension = nullptr;
    if (own_name) {
      // Byte by byte: '.' is never a trail byte.
      const char* dot = std::strrchr(name, '.');
      if (dot) extension = dot + 1;
    } else if (OwnExtension(entry, own_extension)) {
      extension = own_extension;
    }
    if (extension && IsMedia(context, extension)) AppendLine(lines, current, current_length, name);
  } while (FindNextFileW(find.Get(), &entry));
  // Only "no more files" ends a listing; anything else (a share that dropped, a device error)
  // cut it short, and what it gave so far is not the directory.
  if (GetLastError() != ERROR_NO_MORE_FILES) {
    children.resize(children_before);
    lines.clear();
    return false;
  }
  WriteListed(context, lines);
  return true;
}

// The subdirectories of a listed directory as its index record keeps them: by name, and whether
// the listing found each a link (before the walk adds what lies above).
std::vector<IndexedChild> ChildNames(const std::string& directory, const std::vector<PendingDirectory>& children) {
  std::vector<IndexedChild> names;
  names.reserve(children.size());
  for (const PendingDirectory& child : children) {
    names.push_back(IndexedChild{child.path.substr(directory.size() + 1), child.below_link});
  }
  return names;
}

// The directory's line start ("C:\Music\Album\"), the current text LeadsBackUp takes.
std::string LineStart(const ScanContext& context, const std::string& directory) {
  return context.drive + directory + '\\';
}

// The subdirectories a record keeps, as a listing would give them now: a link among them is
// checked again, since where it leads is not the directory's to say, and one that leads back up
// is left out (then true). current: the directory's line start.
bool RecordedChildren(const std::string& directory, const std::string& current, const IndexedDirectory& record,
                      std::vector<PendingDirectory>& children) {
  bool loop = false;
  for (const IndexedChild& child : record.children) {
    if (child.link) {
      if (LeadsBackUp(current.c_str(), current.size(), child.name.c_str())) {
        loop = true;
        continue;
      }
    }
    children.push_back(PendingDirectory{directory + '\\' + child.name, child.link, directory.size()});
  }
  return loop;
}

// One directory of a walk with a directory index: an unchanged directory of a quick walk gives
// the lines and subdirectories its record keeps; any other is listed, and in a full walk one
// whose stamp says unchanged is checked against its record. Every directory that gives lines is
// recorded in the new index, so the records' places follow the new scan's order. A directory
// found to be a link itself (the watched folder, or one made a junction or mount point where it
// stood) is never taken from a record, nor is anything below it; one that now leads back up is
// left out as its parent's listing would leave it out.
void VisitIndexed(ScanContext& context, PendingDirectory& directory, std::vector<PendingDirectory>& children) {
  IndexedWalk& indexed = *context.indexed;
  // The line start names the directory for its stamp too (a trailing backslash is ignored there).
  const std::string current = LineStart(context, directory.path);
  DirectoryStamp stamp;
  bool link = false;
  // Read before the listing: a change made while it runs shows as a new stamp next time.
  const bool stamped = !directory.below_link && context.stamps.Read(current.c_str(), &stamp, &link);
  if (link) {
    if (directory.parent_length != PendingDirectory::kTop) {
      const std::string parent = LineStart(context, directory.path.substr(0, directory.parent_length));
      if (LeadsBackUp(parent.c_str(), parent.size(), directory.path.c_str() + directory.parent_length + 1)) return;
    }
    directory.below_link = true;
  }
  const std::uint64_t newest = stamp.write_time > stamp.change_time ? stamp.write_time : stamp.change_time;
  const bool settled = stamped && newest + kStampSettleTime <= CurrentStampTime();
  const IndexedDirectory* before = indexed.previous ? indexed.previous->Find(directory.path) : nullptr;
  const bool unchanged = settled && before && before->trusted && before->stamp == stamp;
  std::string& lines = context.pendingLines;
  if (unchanged && indexed.quick && indexed.previous->ReadLines(*before, &lines)) {
    std::fwrite(lines.data(), 1, lines.size(), context.out);
    if (indexed.parts) {
      indexed.parts->AddCopied(before->lines_offset, before->lines_size, current);
    }
    const bool loop = RecordedChildren(directory.path, current, *before, children);
    if (indexed.next) indexed.next->Add(directory.path, stamp, !loop, lines, ChildNames(directory.path, children));
    return;
  }
  context.loop_met = false;
  if (!ListDirectory(context, directory.path, children)) {
    NoteUnlisted(context, directory.path);
    return;
  }
  const std::vector<IndexedChild> names = ChildNames(directory.path, children);
  if (unchanged && !indexed.quick) {
    // What a quick walk would have given here: the record's lines and subdirectories.
    std::string recorded;
    if (indexed.previous->ReadLines(*before, &recorded) && (recorded != lines || before->children != names)) {
      indexed.stamps_lied = true;
    }
  }
  // A directory with a link back up is listed every time: whether a link leads back up depends
  // on more than the directory's own entries.
  if (indexed.next) indexed.next->Add(directory.path, stamp, settled && !context.loop_met, lines, names);
}

bool Walk(ScanContext& context, const char* directory) {
  // Directories still to be walked, the next one last; each directory's subdirectories are
  // pushed in reverse so they come off in listing order, each walked whole before the next.
  std::vector<PendingDirectory> pending;
  std::vector<PendingDirectory> children;
  pending.push_back(PendingDirectory{directory});
  while (!pending.empty()) {
    PendingDirectory next = std::move(pending.back());
    pending.pop_back();
    children.clear();
    if (context.indexed) {
      VisitIndexed(context, next, children);
    } else if (!ListDirectory(context, next.path, children)) {
      NoteUnlisted(context, next.path);
    }
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
      child->below_link = child->below_link || next.below_link;
      pending.push_back(std::move(*child));
    }
  }
  return context.complete;
}

}  // namespace

bool ScanFolder(const char* drive, const char* directory, FILE* out, const char* patterns,
                const char* exempt_folder, std::vector<std::string>* unlisted, IndexedWalk* indexed) {
  if (!drive || !directory || !out) return false;
  try {
    ScanContext context;
    context.out = out;
    context.unlisted = unlisted;
    context.indexed = indexed;
    context.drive = drive;
    TakeExemptFolder(exempt_folder, context.exempt);
    ChoosePatternList(patterns, context.patterns, sizeof context.patterns);
    return Walk(context, directory);
  } catch (...) {
    // Out of memory for the waiting names: the lines written so far stay, the walk is incomplete.
    // Where it stopped is unknown, so the list of failures is emptied rather than left short.
    if (unlisted) unlisted->clear();
    return false;
  }
}
