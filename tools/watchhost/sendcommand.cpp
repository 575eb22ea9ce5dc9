#include "sendcommand.h"

#include <windows.h>

#include <string>

#include "changelists.h"
#include "hostregistry.h"
#include "output.h"
#include "paths.h"
#include "plugin.h"
#include "usage.h"

namespace {

const std::vector<OptionRule> kOptions = {{"--plugin", "a DLL"}};

// Prints the entries that an event added to the change lists, leaving the lists as they are.
void PrintAddedEntries(const std::string& log_path, const std::vector<ChangeEntry>& before) {
  const std::vector<ChangeEntry> after = ReadChangeLists(log_path, false);
  std::vector<ChangeEntry> added;
  size_t seen[2] = {0, 0};
  for (const ChangeEntry& entry : before) ++seen[entry.list == "fldrscan2.out"];
  size_t index[2] = {0, 0};
  for (const ChangeEntry& entry : after) {
    const int list = entry.list == "fldrscan2.out";
    if (index[list]++ >= seen[list]) added.push_back(entry);
  }
  PrintChanges(added);
  if (added.empty()) Out("(no changes reported)\n");
}

}  // namespace

int SendCommand(const std::vector<Argument>& args, bool purge) {
  const char* command = purge ? "purge" : "send";
  std::vector<ParsedOption> parsed;
  bool help = false;
  std::string problem;
  if (!ParseOptions(args, kOptions, &parsed, &help, &problem)) return UsageError(command, problem);
  if (help) return ShowHelp(command);
  std::string plugin_path;
  const Argument* operand = nullptr;
  for (const ParsedOption& option : parsed) {
    std::wstring path_problem;
    if (option.rule && !FullAnsiPath(option.value.wide, "--plugin", &plugin_path, &path_problem)) {
      ErrWide(L"watchhost: " + path_problem + L"\n");
      return 2;
    }
    if (option.rule) continue;
    if (operand) {
      ErrWide(L"watchhost: " + AnsiToWide(command) + L" takes one " + (purge ? L"folder" : L"event") +
              L"; '" + option.value.wide + L"' is one too many\n");
      return 2;
    }
    operand = &option.value;
  }
  if (plugin_path.empty()) return UsageError(command, "--plugin is required");
  if (!operand) return UsageError(command, purge ? "which folder? (purge --plugin <dll> <folder>)"
                                                 : "which event? (send --plugin <dll> <event>)");
  std::string event;
  std::wstring event_problem;
  if (purge) {
    std::string folder;
    if (!FullAnsiPath(operand->wide, "the folder", &folder, &event_problem)) {
      ErrWide(L"watchhost: " + event_problem + L"\n");
      return 2;
    }
    event = "Purge:" + folder;
  } else if (!operand->exact) {
    ErrWide(L"watchhost: the event '" + operand->wide + L"' cannot be spelt in the ANSI code page (" +
            AnsiToWide(AnsiCodePageName()) + L"), and the plug-in takes ANSI events\n");
    return 2;
  } else {
    event = operand->ansi;
  }

  Plugin plugin;
  if (!plugin.Load(plugin_path, &problem)) return Failure(problem);
  const std::string log_path = ReadLogPath();
  const std::vector<ChangeEntry> before = ReadChangeLists(log_path, false);
  const HRESULT result = plugin.Send(event);
  Out("sent %s: EventCallback returned 0x%08lx\n", event.c_str(), static_cast<unsigned long>(result));
  PrintAddedEntries(log_path, before);
  return 0;
}
