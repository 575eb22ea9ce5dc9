#include "scan/scanner.h"

#include <cstring>
#include <string>
#include <vector>

#include "prefs/prefs.h"
#include "prefs/regkey.h"
#include "scan/asciifold.h"
#include "scan/mediatype.h"
#include "text/mbtext.h"

namespace {

constexpr std::size_t kPathSize = 260;

FindFirstFileFunction g_findFirstFile = nullptr;

class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() {
    if (IsValid()) FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
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
  // "ExemptWatch" with its backslash; empty when no folder is exempt. One byte more than the
  // registry buffer, so a value of 259 characters still gets its backslash.
  char exempt[kPathSize + 1] = {};
  char patterns[kPatternListSize] = {};
  ExtensionAnswers answers;
  bool complete = true;
};

bool IsMedia(ScanContext& context, const char* extension) {
  bool matches = false;
  if (context.answers.Find(extension, &matches)) return matches;
  matches = MatchesPatternList(extension, context.patterns);
  context.answers.Remember(extension, matches);
  return matches;
}

void ReadExemptFolder(char (&exempt)[kPathSize + 1]) {
  std::memset(exempt, 0, sizeof exempt);
  // CreateOrOpen, as every scan always has: the Preferences key exists after a scan.
  RegKey key;
  if (key.CreateOrOpen(HKEY_CURRENT_USER, kPreferencesKey)) {
    key.ReadString("ExemptWatch", "", exempt, kPathSize);
  }
  if (exempt[0] && !EndsWithBackslash(exempt)) BoundedAppend(exempt, "\\", sizeof exempt);
}

bool IsDotEntry(const char* name) {
  return (name[0] == '.' && name[1] == '\0') || (name[0] == '.' && name[1] == '.' && name[2] == '\0');
}

// current + name + "\n" in one write: current is at most 258 bytes and a name 259.
void WriteLine(FILE* out, const char* current, std::size_t currentLength, const char* name) {
  char line[kPathSize * 2];
  const std::size_t nameLength = std::strlen(name);
  std::memcpy(line, current, currentLength);
  std::memcpy(line + currentLength, name, nameLength);
  line[currentLength + nameLength] = '\n';
  std::fwrite(line, 1, currentLength + nameLength + 1, out);
}

// Lists one directory: writes its media files and appends the directory parts of its
// subdirectories to children, in listing order. False when it cannot be listed.
bool ListDirectory(ScanContext& context, const std::string& directory, std::vector<std::string>& children) {
  // current: drive + directory + "\", which starts every line of this directory.
  const std::size_t currentLength = context.drive.size() + directory.size() + 1;
  // The search text adds "*"; the ANSI functions refuse anything past the path limit, so a
  // directory this deep cannot be listed by us at all.
  if (currentLength + 1 >= kPathSize) return false;
  char current[kPathSize] = {};
  std::memcpy(current, context.drive.data(), context.drive.size());
  std::memcpy(current + context.drive.size(), directory.data(), directory.size());
  current[currentLength - 1] = '\\';

  if (context.exempt[0] && EqualsIgnoringAsciiCase(context.exempt, current)) return true;

  char search[kPathSize] = {};
  std::memcpy(search, current, currentLength);
  search[currentLength] = '*';

  // One listing serves both the files and the subdirectories: with "*" and "*.*" the system
  // returns the same entries, dot-less names included.
  WIN32_FIND_DATAA entry;
  const FindFirstFileFunction findFirst = g_findFirstFile ? g_findFirstFile : &FindFirstFileA;
  FindHandle find(findFirst(search, &entry));
  if (!find.IsValid()) return false;
  do {
    const char* name = entry.cFileName;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!IsDotEntry(name)) {
        std::string child = directory;
        child += '\\';
        child += name;
        children.push_back(std::move(child));
      }
      continue;
    }
    // The extension follows the last dot, found byte by byte; a name without one is no media.
    const char* dot = std::strrchr(name, '.');
    if (dot && IsMedia(context, dot + 1)) WriteLine(context.out, current, currentLength, name);
  } while (FindNextFileA(find.Get(), &entry));
  return true;
}

bool Walk(ScanContext& context, const char* directory) {
  // Directories still to be walked, the next one last; each directory's subdirectories are
  // pushed in reverse so they come off in listing order, each walked whole before the next.
  std::vector<std::string> pending;
  std::vector<std::string> children;
  pending.emplace_back(directory);
  while (!pending.empty()) {
    std::string next = std::move(pending.back());
    pending.pop_back();
    children.clear();
    if (!ListDirectory(context, next, children)) context.complete = false;
    for (auto child = children.rbegin(); child != children.rend(); ++child) pending.push_back(std::move(*child));
  }
  return context.complete;
}

}  // namespace

bool ScanFolder(const char* drive, const char* directory, FILE* out, const char* patterns) {
  if (!drive || !directory || !out) return false;
  try {
    ScanContext context;
    context.out = out;
    context.drive = drive;
    ReadExemptFolder(context.exempt);
    if (patterns) {
      BoundedCopy(context.patterns, patterns, sizeof context.patterns);
    } else {
      ReadGeneralPatternList(context.patterns, sizeof context.patterns);
    }
    return Walk(context, directory);
  } catch (...) {
    // Out of memory for the waiting names: the lines written so far stay, the walk is incomplete.
    return false;
  }
}

void SetFindFirstFileForTesting(FindFirstFileFunction function) { g_findFirstFile = function; }
