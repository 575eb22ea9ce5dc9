// watchhost watch: the command line, the settings and the start-up summary; the loop is in
// watchloop.cpp.
#include <windows.h>

#include <cstring>
#include <string>

#include "changelists.h"
#include "watchcommand.h"
#include "formatscheck.h"
#include "hostregistry.h"
#include "output.h"
#include "paths.h"
#include "pecheck.h"
#include "plugin.h"
#include "usage.h"
#include "watchloop.h"

namespace {

const char kCommand[] = "watch";
// Every this many seconds every folder is rescanned unless --rescan-every says otherwise.
constexpr unsigned kDefaultRescanSeconds = 300;
// The plug-in lists no folder of 259 characters or more with its backslash (its search text
// "<folder>\*" must stay below 260), and passes over one whose "<prefix><stem>scan2.log" is longer
// than 519.
constexpr size_t kMaxFolderWithBackslash = 258;
constexpr size_t kMaxLogFileName = 519;
constexpr size_t kMaxPurgeLogPath = 259;

const std::vector<OptionRule> kOptions = {
    {"--plugin", "a DLL"},       {"--logs", "a folder"},        {"--folder", "a folder"},
    {"--pictures", "a folder"},  {"--exempt", "a folder"},      {"--formats", "a formats.ini file"},
    {"--interval", "a number of seconds"}, {"--rescan-every", "a number of ticks"},
    {"--ticks", "a number of ticks"},      {"--verbose", nullptr}};

struct WatchRequest {
  std::string plugin, formats;
  HostSettings settings;
  WatchOptions options;
  bool rescan_given = false;
};

int WideUsageError(const std::wstring& message) {
  ErrWide(L"watchhost: " + message + L"\n");
  Err("(see 'watchhost watch --help')\n");
  return 2;
}

bool SameFolder(const std::string& a, const std::string& b) {
  return lstrcmpiA(WithBackslash(a).c_str(), WithBackslash(b).c_str()) == 0;
}

// Reads the command line into *request; an exit code other than -1 ends the command.
int ParseRequest(const std::vector<Argument>& args, WatchRequest* request) {
  std::vector<ParsedOption> parsed;
  bool help = false;
  std::string problem;
  if (!ParseOptions(args, kOptions, &parsed, &help, &problem)) return UsageError(kCommand, problem);
  if (help) return ShowHelp(kCommand);
  std::vector<std::string> given;
  for (const ParsedOption& option : parsed) {
    if (!option.rule) {
      const std::wstring& text = option.value.wide;
      const bool looks_like_folder = text.find_first_of(L"\\/:") != std::wstring::npos ||
                                     (option.value.exact && IsDirectory(option.value.ansi));
      return WideUsageError(L"'" + text + L"' stands where an option was expected" +
                            (looks_like_folder ? L"; to watch that folder too, give it its own --folder" : L""));
    }
    const std::string name = option.rule->name;
    if (name != "--folder" && name != "--verbose") {
      for (const std::string& earlier : given) {
        if (earlier == name) return UsageError(kCommand, name + " is given twice");
      }
      given.push_back(name);
    }
    if (name == "--verbose") {
      request->options.verbose = true;
      continue;
    }
    unsigned number = 0;
    if (name == "--interval" || name == "--rescan-every" || name == "--ticks") {
      const bool interval = name == "--interval";
      if (!option.value.exact || !ParseNumber(option.value.ansi, interval ? 86400 : 1000000, &number) ||
          (interval && number == 0)) {
        return WideUsageError(AnsiToWide(name + " takes " + option.rule->value +
                                         (interval ? " from 1 to 86400" : "") + ", not '") +
                              option.value.wide + L"'");
      }
      if (interval) request->options.interval_ms = number * 1000;
      if (name == "--rescan-every") request->options.rescan_every = number, request->rescan_given = true;
      if (name == "--ticks") request->options.max_ticks = number;
      continue;
    }
    std::string path;
    std::wstring path_problem;
    if (!FullAnsiPath(option.value.wide, name.c_str(), &path, &path_problem)) return WideUsageError(path_problem);
    if (name == "--plugin") request->plugin = path;
    if (name == "--formats") request->formats = path;
    if (name == "--logs") request->settings.log_path = WithBackslash(path);
    if (name == "--pictures") request->settings.pictures = path;
    if (name == "--exempt") request->settings.exempt = path;
    if (name == "--folder") {
      for (const std::string& earlier : request->settings.folders) {
        if (SameFolder(earlier, path)) return UsageError(kCommand, "--folder " + path + " is given twice");
      }
      request->settings.folders.push_back(path);
    }
  }
  if (request->plugin.empty()) return UsageError(kCommand, "--plugin is required");
  if (request->settings.log_path.empty()) return UsageError(kCommand, "--logs is required");
  if (request->settings.folders.empty()) return UsageError(kCommand, "at least one --folder is required");
  return -1;
}

// What the plug-in would pass over or cut, refused before anything is written.
int CheckLimits(const WatchRequest& request) {
  const HostSettings& settings = request.settings;
  std::vector<std::string> folders = settings.folders;
  if (!settings.pictures.empty()) folders.push_back(settings.pictures);
  if (settings.folders.size() + 1 > kMaxWatchedFolders) {
    return UsageError(kCommand, Format("at most %zu folders can be watched, the pictures folder included",
                                       kMaxWatchedFolders));
  }
  for (size_t i = 0; i < folders.size(); ++i) {
    const std::string& folder = folders[i];
    const size_t length = WithBackslash(folder).size();
    if (length > kMaxFolderWithBackslash) {
      return UsageError(kCommand, Format("%s is %zu characters long with its backslash; the plug-in cannot scan "
                                         "folders longer than %zu", folder.c_str(), length, kMaxFolderWithBackslash));
    }
    // The pictures folder has logs of its own ("<stem>pictures.scan.log") when it is also a numbered one.
    bool shared = false;
    for (size_t j = 0; i == settings.folders.size() && j < settings.folders.size(); ++j) {
      shared = shared || SameFolder(settings.folders[j], folder);
    }
    const size_t name = settings.log_path.size() + length + std::strlen(shared ? "pictures.scan2.log" : "scan2.log");
    if (name > kMaxLogFileName) {
      return UsageError(kCommand, Format("the scan logs of %s in %s would have names of %zu characters; the plug-in "
                                         "takes at most %zu", folder.c_str(), settings.log_path.c_str(), name,
                                         kMaxLogFileName));
    }
  }
  return -1;
}

bool InstallFormats(const std::string& source, std::string* problem) {
  const std::string target = InstalledFormatsPath();
  if (lstrcmpiA(source.c_str(), target.c_str()) == 0) return true;
  if (!MakeDirectories(target.substr(0, target.find_last_of('\\'))) || !CopyFileA(source.c_str(), target.c_str(), FALSE)) {
    *problem = "cannot install " + source + " as " + target;
    return false;
  }
  return true;
}

void PrintSummary(const WatchRequest& request, const FormatsReport& formats, const std::string& pictures) {
  const HostSettings& settings = request.settings;
  Out("plug-in   %s (%s), %s\n", request.plugin.c_str(), HostMachineName(),
      PluginVersion(request.plugin).c_str());
  Out("formats   %s: %zu media pattern(s), %zu image pattern(s)\n", formats.path.c_str(),
      formats.media.usable.size(), formats.images.usable.size());
  Out("settings  LogPath %s, NumFolders %zu, ExemptWatch %s, SkipFolderScan 0\n", settings.log_path.c_str(),
      settings.folders.size(), settings.exempt.empty() ? "(none)" : settings.exempt.c_str());
  for (size_t i = 0; i < settings.folders.size(); ++i) {
    Out("  WatchFolder%zu  %s%s\n", i, settings.folders[i].c_str(),
        IsDirectory(settings.folders[i]) ? "" : "  (not reachable now)");
  }
  if (!settings.pictures.empty()) {
    Out("pictures  %s (the player's preference PicturesPath, from --pictures)\n", pictures.c_str());
  } else {
    Out("pictures  %s (no --pictures: the player's preference PicturesPath is cleared, so the plug-in takes the "
        "shell's pictures folder)\n", pictures.empty() ? "(the shell gives none)" : pictures.c_str());
  }
  const WatchOptions& options = request.options;
  if (options.rescan_every) {
    Out("rescan    every folder every %u tick(s) (%u s)%s\n", options.rescan_every,
        options.rescan_every * (options.interval_ms / 1000), request.rescan_given ? "" : ", the default");
  } else {
    Out("rescan    no periodic rescan (--rescan-every 0); only folders that cannot be watched at every tick\n");
  }
}

}  // namespace

int WatchCommand(const std::vector<Argument>& args) {
  WatchRequest request;
  request.formats = ExeDirectory() + "formats.ini";
  int code = ParseRequest(args, &request);
  if (code < 0) code = CheckLimits(request);
  if (code >= 0) return code;
  WatchOptions& options = request.options;
  if (!request.rescan_given) {
    const unsigned seconds = options.interval_ms / 1000;
    options.rescan_every = (kDefaultRescanSeconds + seconds - 1) / seconds;
  }
  HostSettings& settings = request.settings;
  if (settings.log_path.size() > kMaxPurgeLogPath) {
    Err("watchhost: warning: the log folder's path is %zu characters long; a purge reads at most %zu and does "
        "nothing\n", settings.log_path.size(), kMaxPurgeLogPath);
  }

  // The plug-in is checked before anything is written, so a wrong file changes nothing.
  std::string problem;
  Plugin plugin;
  if (!plugin.Load(request.plugin, &problem)) return Failure(problem);
  if (!MakeDirectories(settings.log_path.substr(0, settings.log_path.size() - 1))) {
    return Failure("cannot create the log folder " + settings.log_path);
  }
  std::vector<std::string> notes;
  if (!InstallFormats(request.formats, &problem) || !WriteHostSettings(settings, &notes, &problem)) {
    return Failure(problem);
  }
  const FormatsReport formats = CheckFormats(InstalledFormatsPath());
  for (const std::string& warning : FormatsWarnings(formats)) Err("watchhost: warning: %s\n", warning.c_str());
  for (const std::string& note : notes) Out("note      %s\n", note.c_str());
  const std::string pictures = settings.pictures.empty() ? ShellPicturesFolder() : settings.pictures;
  PrintSummary(request, formats, pictures);

  options.log_path = settings.log_path;
  options.numbered = settings.folders.size();
  for (size_t i = 0; i < settings.folders.size(); ++i) {
    options.folders.push_back({settings.folders[i], "WatchFolder" + std::to_string(i)});
  }
  if (!pictures.empty()) options.folders.push_back({pictures, "WatchFolderPicture"});
  code = RunWatchLoop(plugin, options);
  Out("stopped\n");
  return code;
}
