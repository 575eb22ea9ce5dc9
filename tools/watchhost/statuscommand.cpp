// watchhost status: the settings, the pattern lists and the log folder, as the plug-in sees them.
#include <string>
#include <vector>

#include "statuscommand.h"
#include "formatscheck.h"
#include "output.h"
#include "paths.h"
#include "plugin.h"
#include "statusregistry.h"
#include "usage.h"

namespace {

// A log folder listing stops here; the rest is counted.
constexpr size_t kMaxListedFiles = 50;

void PrintList(const PatternListReport& list) {
  std::string usable;
  for (const std::string& pattern : list.usable) usable += " " + pattern;
  Out("  [%s] %s, for the %s: %zu usable%s\n", list.section, list.key, list.used_for, list.usable.size(),
      usable.empty() ? "" : (":" + usable).c_str());
  for (const std::string& entry : list.unusable) Out("    never matches: %s\n", entry.c_str());
}

void PrintFormatsStatus() {
  const FormatsReport report = CheckFormats(InstalledFormatsPath());
  Out("formats.ini  %s%s\n", report.path.c_str(), report.exists ? "" : " (not there)");
  if (report.exists) {
    PrintList(report.media);
    PrintList(report.images);
  }
  for (const std::string& warning : FormatsWarnings(report)) Out("  warning: %s\n", warning.c_str());
}

void PrintLogFolderStatus(const std::string& log_path, bool known) {
  if (!known) {
    Out("Log folder  (the host's current directory: not known here)\n");
    return;
  }
  // The plug-in's files all begin with LogPath, which names a folder when it ends in '\'.
  const std::string folder = log_path.substr(0, log_path.find_last_of('\\') + 1);
  const std::string prefix = log_path.substr(folder.size());
  std::vector<FileEntry> files;
  if (!ListFolder(folder, (prefix + "*").c_str(), &files)) {
    Out("Log folder  %s (cannot be listed: not there yet?)\n", folder.c_str());
    return;
  }
  Out("Log folder  %s%s: %zu file(s)\n", folder.c_str(),
      prefix.empty() ? "" : (" (the files beginning with " + prefix + ")").c_str(), files.size());
  unsigned long long rest_bytes = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    if (i < kMaxListedFiles) {
      if (files[i].directory) Out("  %-40s (folder)\n", files[i].name.c_str());
      else Out("  %-40s %llu bytes\n", files[i].name.c_str(), static_cast<unsigned long long>(files[i].size));
    } else {
      rest_bytes += files[i].size;
    }
  }
  if (files.size() > kMaxListedFiles) {
    Out("  ... and %zu more file(s), %llu bytes\n", files.size() - kMaxListedFiles, rest_bytes);
  }
}

}  // namespace

int StatusCommand(const std::vector<Argument>& args) {
  std::vector<ParsedOption> parsed;
  bool help = false;
  std::string problem;
  if (!ParseOptions(args, {{"--plugin", "a DLL"}}, &parsed, &help, &problem)) return UsageError("status", problem);
  if (help) return ShowHelp("status");
  std::string plugin;
  for (const ParsedOption& option : parsed) {
    if (!option.rule) {
      ErrWide(L"watchhost: status takes no argument, not '" + option.value.wide + L"'\n");
      Err("(see 'watchhost status --help')\n");
      return 2;
    }
    std::wstring path_problem;
    if (!FullAnsiPath(option.value.wide, "--plugin", &plugin, &path_problem)) {
      ErrWide(L"watchhost: " + path_problem + L"\n");
      Err("(see 'watchhost status --help')\n");
      return 2;
    }
  }
  if (!plugin.empty()) Out("Plug-in  %s: %s\n", plugin.c_str(), PluginVersion(plugin).c_str());
  std::string log_path;
  bool known = false;
  PrintRegistryStatus(&log_path, &known);
  PrintFormatsStatus();
  PrintLogFolderStatus(log_path, known);
  return 0;
}
