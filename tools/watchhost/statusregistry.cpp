#include <windows.h>

#include <algorithm>
#include <map>

#include "hostregistry.h"
#include "output.h"
#include "paths.h"
#include "registrykey.h"
#include "statusregistry.h"

namespace {

// What the plug-in reads of each string: the buffers it reads them into, less the terminator.
constexpr size_t kExemptLimit = 259;
constexpr size_t kLogPathLimit = 511;
constexpr size_t kPurgeLogPathLimit = 259;
constexpr size_t kFolderWithBackslashLimit = 258;

void Row(const char* name, const std::string& text) { Out("  %-20s %s\n", name, text.c_str()); }

std::string Shown(const RegistryValue& value) {
  DWORD number = 0;
  if (value.AsDword(&number)) return Format("REG_DWORD %lu", static_cast<unsigned long>(number));
  const std::string type = RegistryTypeName(value.type);
  if (value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ) {
    return type + " \"" + value.Text() + "\"";
  }
  return type + Format(" (%zu bytes)", value.data.size());
}

std::string WrongType(const RegistryValue& value, const char* expected, const std::string& effect) {
  return Shown(value) + " -- wrong type, " + expected + " expected: " + effect;
}

// A REG_DWORD setting: its value, or what a missing or wrong one stands for.
std::string DwordRow(const RegistryValue& value, const std::string& missing, const std::string& wrong) {
  DWORD number = 0;
  if (!value.present) return "(not set: " + missing + ")";
  if (!value.AsDword(&number)) return WrongType(value, "REG_DWORD", wrong);
  return Shown(value);
}

// folder_usable: whether the timer event would rescan the folder of a flag of 1.
std::string DirtyRow(const RegistryValue& value, bool folder_usable) {
  DWORD dirty = 0;
  if (!value.present) return "Dirty (not set: 0)";
  if (!value.AsDword(&dirty)) return "Dirty " + WrongType(value, "REG_DWORD", "read as 0");
  if (dirty == 1) return "Dirty " + Shown(value) + (folder_usable ? " (rescanned at the next timer event)" : "");
  if (dirty != 0) return "Dirty " + Shown(value) + " (only 1 means dirty: not rescanned)";
  return "Dirty " + Shown(value);
}

// *usable: whether the plug-in takes the folder.
std::string FolderRow(const RegistryValue& value, bool* usable) {
  *usable = false;
  if (!value.present) return "Folder (not set: passed over)";
  if (value.type != REG_SZ) return "Folder " + WrongType(value, "REG_SZ", "passed over");
  const std::string folder = value.Text();
  if (folder.empty()) return "Folder REG_SZ \"\" (empty: passed over)";
  if (WithBackslash(folder).size() > kFolderWithBackslashLimit) {
    return Format("Folder REG_SZ \"%s\" -- %zu characters with its backslash, at most %zu: not scanned", folder.c_str(),
                  WithBackslash(folder).size(), kFolderWithBackslashLimit);
  }
  *usable = true;
  return "Folder " + Shown(value) + (IsDirectory(folder) ? "" : " (not reachable now)");
}

void PrintPreferences() {
  Out("Preferences  HKCU\\%s\n", kPreferencesKey);
  RegistryKey key;
  key.Open(kPreferencesKey);
  const RegistryValue skip = key.Query("SkipFolderScan");
  DWORD number = 0;
  std::string row = DwordRow(skip, "0, change notices mark folders dirty", "the plug-in reads 0");
  if (skip.AsDword(&number) && number != 0) {
    row += " -- non-zero: the plug-in never changes a Dirty flag, so change notices are ignored and nothing is "
           "reported (a flag already 1 stays 1, and its folder is rescanned at every timer event)";
  }
  Row("SkipFolderScan", row);
  const RegistryValue exempt = key.Query("ExemptWatch");
  if (!exempt.present) {
    row = "(not set: no folder is exempt)";
  } else if (exempt.type != REG_SZ) {
    row = WrongType(exempt, "REG_SZ", "no folder is exempt");
  } else if (exempt.Text().size() > kExemptLimit) {
    row = Format("REG_SZ of %zu characters -- at most %zu are read: no folder is exempt", exempt.Text().size(),
                 kExemptLimit);
  } else {
    row = Shown(exempt) + (exempt.Text().empty() ? " (empty: no folder is exempt)" : " (skipped with its subtree)");
  }
  Row("ExemptWatch", row);
}

void PrintLogPath(const RegistryKey& key, std::string* log_path, bool* known) {
  const RegistryValue value = key.Query("LogPath");
  const std::string text = value.Text();
  *known = false;
  std::string row;
  if (!value.present) {
    row = "(not set: the scan logs and change lists go to the host's current directory)";
  } else if (value.type != REG_SZ) {
    row = WrongType(value, "REG_SZ", "the plug-in does nothing at all (no refresh, no purge)");
  } else if (text.size() > kLogPathLimit) {
    row = Format("REG_SZ of %zu characters -- at most %zu are read: the plug-in does nothing at all", text.size(),
                 kLogPathLimit);
  } else {
    row = Shown(value);
    *known = true;
    *log_path = text;
    if (text.empty()) row += " (empty: the host's current directory)", *known = false;
    else if (text.back() != '\\') row += " -- no trailing '\\': it is a prefix, the files are named " + text + "fldrscan.out";
    if (text.size() > kPurgeLogPathLimit) row += Format(" -- longer than %zu: a purge does nothing", kPurgeLogPathLimit);
  }
  Row("LogPath", row);
}

void PrintWatchFolders(std::string* log_path, bool* log_path_known) {
  Out("WatchFolders  HKCU\\%s\n", kWatchFoldersKey);
  RegistryKey key;
  key.Open(kWatchFoldersKey);
  PrintLogPath(key, log_path, log_path_known);
  const RegistryValue count_value = key.Query("NumFolders");
  DWORD count = 0;
  count_value.AsDword(&count);
  // The entries that exist, by number; the plug-in visits those below NumFolders, up to the last.
  std::map<unsigned long, std::string> entries;
  std::vector<std::string> others;
  for (const std::string& name : key.Subkeys()) {
    unsigned long number = 0;
    if (ParseNumberedEntry(name, &number)) entries[number] = name;
    else if (lstrcmpiA(name.c_str(), "WatchFolderPicture") != 0) others.push_back(name);
  }
  unsigned long bound = 0;
  for (const auto& entry : entries) {
    if (entry.first < count) bound = entry.first + 1;
  }
  std::string row = DwordRow(count_value, "0, no numbered folder is visited",
                             "the plug-in reads 0 and visits no numbered folder");
  if (count_value.AsDword(&count) && bound < count) {
    row += bound ? Format(" (the plug-in visits WatchFolder0 to WatchFolder%lu, the last entry there is)", bound - 1)
                 : " (no WatchFolder<i> entry is there: nothing to visit)";
  }
  Row("NumFolders", row);
  const RegistryValue quick = key.Query("QuickRescan");
  DWORD quick_number = 1;
  row = DwordRow(quick, "rescans may be quick: only directories whose times moved are listed again",
                 "the plug-in reads 1: rescans may be quick");
  if (quick.AsDword(&quick_number) && quick_number == 0) row += " -- 0: every rescan lists every directory";
  Row("QuickRescan", row);
  unsigned long next = 0;
  for (const auto& entry : entries) {
    if (entry.first >= bound) break;
    if (entry.first > next) {
      Out("  WatchFolder%lu%s: no key, passed over\n", next,
          entry.first - 1 > next ? Format(" to WatchFolder%lu", entry.first - 1).c_str() : "");
    }
    RegistryKey folder;
    folder.Open(std::string(kWatchFoldersKey) + "\\" + entry.second);
    bool usable = false;
    const std::string folder_row = FolderRow(folder.Query("Folder"), &usable);
    Row(entry.second.c_str(), folder_row + ", " + DirtyRow(folder.Query("Dirty"), usable));
    next = entry.first + 1;
  }
  for (const auto& entry : entries) {
    if (entry.first >= bound) Row(entry.second.c_str(), "beyond NumFolders: not visited");
  }
  RegistryKey pictures;
  pictures.Open(std::string(kWatchFoldersKey) + "\\WatchFolderPicture");
  Row("WatchFolderPicture", DirtyRow(pictures.Query("Dirty"), true));
  for (const std::string& name : others) Row(name.c_str(), "not a folder entry (made by a notice of that name)");
}

void PrintPicturesPreference() {
  Out("Pictures  HKCU\\%s\n", kPicturesPreferenceKey);
  RegistryKey key;
  key.Open(kPicturesPreferenceKey);
  const RegistryValue value = key.Query("");
  const std::string shell = ShellPicturesFolder();
  const std::string fallback = "the plug-in takes the shell's pictures folder" +
                               (shell.empty() ? std::string() : ", " + shell + " here");
  std::string row;
  if (!value.present) {
    row = "(not set: " + fallback + ")";
  } else if (value.type != REG_SZ) {
    row = WrongType(value, "REG_SZ (REG_EXPAND_SZ is not expanded)", fallback);
  } else if (value.Text().empty()) {
    row = "REG_SZ \"\" (empty: " + fallback + ")";
  } else {
    row = Shown(value) + (IsDirectory(value.Text()) ? "" : " (not there: the plug-in creates it, or when it cannot, "
                                                            "takes the shell's pictures folder)");
  }
  Row("(default)", row);
}

}  // namespace

void PrintRegistryStatus(std::string* log_path, bool* log_path_known) {
  PrintPreferences();
  PrintWatchFolders(log_path, log_path_known);
  PrintPicturesPreference();
}
