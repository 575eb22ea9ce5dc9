// watchhost: a reference host for the watch-folders plug-in. It writes the settings a player
// writes, loads the DLL, sends the events a player sends and prints what the player would read
// from the change lists. Exit codes: 0 done, 1 the work failed, 2 the command line is wrong.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "changelists.h"
#include "hostregistry.h"
#include "plugin.h"
#include "watchloop.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  watchhost watch --plugin <dll> --logs <dir> --folder <dir> [--folder <dir> ...]\n"
    "                  [--pictures <dir>] [--exempt <dir>] [--formats <ini>]\n"
    "                  [--interval <seconds>] [--rescan-every <ticks>] [--ticks <n>] [--verbose]\n"
    "      Writes the host's settings, installs formats.ini for the plug-in, sends\n"
    "      WatchFolders_InitLogs, then watches the folders: a change sends the folder's notice,\n"
    "      and every interval (default 5 s) WatchFolders_Timer is sent and the change lists are\n"
    "      printed as '+ <path>' / '- <path>' and emptied. --rescan-every marks every folder\n"
    "      dirty every n ticks; --ticks stops after n ticks. Ctrl+C stops it.\n"
    "  watchhost send --plugin <dll> <event>\n"
    "      Sends one event string and prints what it added to the change lists.\n"
    "  watchhost purge --plugin <dll> <folder>\n"
    "      Sends Purge:<folder> and prints the removals it reported.\n"
    "  watchhost status\n"
    "      Prints the settings and every Dirty flag from the registry.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "watchhost: %s\n\n%s", message.c_str(), kUsage);
  return 2;
}

int Failure(const std::string& message) {
  std::fprintf(stderr, "watchhost: %s\n", message.c_str());
  return 1;
}

std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof(full), full, nullptr);
  return length && length < sizeof(full) ? std::string(full, length) : path;
}

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path.push_back('\\');
  return path;
}

bool IsDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectories(const std::string& path) {
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryA(path.c_str(), nullptr);
  return IsDirectory(path);
}

std::string ExeDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
  std::string text(path);
  return text.substr(0, text.find_last_of('\\') + 1);
}

bool ParseCount(const std::string& text, unsigned* value) {
  char* end = nullptr;
  unsigned long parsed = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end || parsed > 100000) return false;
  *value = static_cast<unsigned>(parsed);
  return true;
}

// The plug-in reads formats.ini from DataCache\Formats beside the host's executable.
bool InstallFormats(const std::string& source, std::string* problem) {
  const std::string folder = ExeDirectory() + "DataCache\\Formats";
  if (!MakeDirectories(folder) ||
      !CopyFileA(source.c_str(), (folder + "\\formats.ini").c_str(), FALSE)) {
    *problem = "cannot install " + source + " as " + folder + "\\formats.ini";
    return false;
  }
  return true;
}

std::string ClassicPicturesFolder() {
  char path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_MYPICTURES, nullptr, 0, path)) ? path : "";
}

// Prints the entries that an event added to the change lists, leaving the lists as they are.
void PrintAddedEntries(const std::string& log_path, const std::vector<ChangeEntry>& before) {
  std::vector<ChangeEntry> after = ReadChangeLists(log_path, false);
  std::vector<ChangeEntry> added;
  size_t seen[2] = {0, 0};
  for (const ChangeEntry& entry : before) ++seen[entry.list == "fldrscan2.out"];
  size_t index[2] = {0, 0};
  for (const ChangeEntry& entry : after) {
    const int list = entry.list == "fldrscan2.out";
    if (index[list]++ >= seen[list]) added.push_back(entry);
  }
  PrintChanges(added);
  if (added.empty()) std::printf("(no changes reported)\n");
}

int Watch(const std::vector<std::string>& args) {
  HostSettings settings;
  std::string plugin_path, formats = ExeDirectory() + "formats.ini";
  WatchOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& flag = args[i];
    if (flag == "--verbose") {
      options.verbose = true;
      continue;
    }
    if (i + 1 >= args.size()) return UsageError(flag + " needs a value");
    const std::string& value = args[++i];
    unsigned number = 0;
    if (flag == "--plugin") plugin_path = value;
    else if (flag == "--logs") settings.log_path = WithBackslash(FullPath(value));
    else if (flag == "--folder") settings.folders.push_back(FullPath(value));
    else if (flag == "--pictures") settings.pictures = FullPath(value);
    else if (flag == "--exempt") settings.exempt = FullPath(value);
    else if (flag == "--formats") formats = value;
    else if (flag == "--interval" && ParseCount(value, &number) && number > 0) options.interval_ms = number * 1000;
    else if (flag == "--rescan-every" && ParseCount(value, &number)) options.rescan_every = number;
    else if (flag == "--ticks" && ParseCount(value, &number)) options.max_ticks = number;
    else return UsageError("unknown option or bad value: " + flag + " " + value);
  }
  if (plugin_path.empty()) return UsageError("--plugin is required");
  if (settings.log_path.empty()) return UsageError("--logs is required");
  if (settings.folders.empty()) return UsageError("at least one --folder is required");
  for (const std::string& folder : settings.folders) {
    if (!IsDirectory(folder)) std::fprintf(stderr, "watchhost: warning: %s is not reachable now\n", folder.c_str());
  }

  // The plug-in is checked before anything is written, so a wrong file changes nothing.
  std::string problem;
  Plugin plugin;
  if (!plugin.Load(plugin_path, &problem)) return Failure(problem);
  if (!MakeDirectories(settings.log_path.substr(0, settings.log_path.size() - 1))) {
    return Failure("cannot create the log folder " + settings.log_path);
  }
  if (!InstallFormats(formats, &problem) || !WriteHostSettings(settings, &problem)) {
    return Failure(problem);
  }

  options.log_path = settings.log_path;
  for (size_t i = 0; i < settings.folders.size(); ++i) {
    options.folders.push_back({settings.folders[i], "WatchFolder" + std::to_string(i)});
  }
  const std::string pictures = settings.pictures.empty() ? ClassicPicturesFolder() : settings.pictures;
  if (!pictures.empty()) options.folders.push_back({pictures, "WatchFolderPicture"});

  std::printf("watching %zu folder(s), logs in %s, every %u s\n", settings.folders.size(),
              settings.log_path.c_str(), options.interval_ms / 1000);
  std::fflush(stdout);
  plugin.Send("WatchFolders_InitLogs");
  PrintChanges(ReadChangeLists(settings.log_path, true));
  const int code = RunWatchLoop(plugin, options);
  std::printf("stopped\n");
  return code;
}

int SendOne(const std::vector<std::string>& args, bool purge) {
  std::string plugin_path, operand;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--plugin" && i + 1 < args.size()) plugin_path = args[++i];
    else if (operand.empty()) operand = args[i];
    else return UsageError("unexpected argument: " + args[i]);
  }
  if (plugin_path.empty()) return UsageError("--plugin is required");
  if (operand.empty()) return UsageError(purge ? "which folder?" : "which event?");

  std::string problem;
  Plugin plugin;
  if (!plugin.Load(plugin_path, &problem)) return Failure(problem);
  const std::string log_path = ReadHostSettings().log_path;
  const std::vector<ChangeEntry> before = ReadChangeLists(log_path, false);
  const std::string event = purge ? "Purge:" + FullPath(operand) : operand;
  const HRESULT result = plugin.Send(event);
  std::printf("sent %s: EventCallback returned 0x%08lx\n", event.c_str(),
              static_cast<unsigned long>(result));
  PrintAddedEntries(log_path, before);
  return 0;
}

int Status() {
  const HostSettings settings = ReadHostSettings();
  std::printf("LogPath      %s\n", settings.log_path.c_str());
  std::printf("NumFolders   %zu\n", settings.folders.size());
  for (size_t i = 0; i < settings.folders.size(); ++i) {
    std::printf("  WatchFolder%zu  %s\n", i, settings.folders[i].c_str());
  }
  std::printf("ExemptWatch  %s\n", settings.exempt.c_str());
  std::printf("PicturesPath %s\n", settings.pictures.c_str());
  for (const DirtyFlag& flag : ReadDirtyFlags()) {
    if (flag.present) std::printf("Dirty        %-20s %lu\n", flag.name.c_str(), flag.value);
    else std::printf("Dirty        %-20s (not set)\n", flag.name.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return UsageError("no command given");
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::printf("%s", kUsage);
    return 0;
  }
  if (command == "watch") return Watch(args);
  if (command == "send") return SendOne(args, false);
  if (command == "purge") return SendOne(args, true);
  if (command == "status") return Status();
  return UsageError("unknown command: " + command);
}
