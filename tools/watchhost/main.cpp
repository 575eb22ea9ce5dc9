// watchhost: a reference host for the watch-folders plug-in. It writes the settings a player
// writes, loads the DLL, sends the events a player sends and prints what the player would read
// from the change lists. Exit codes: 0 done, 1 the work failed, 2 the command line is wrong.
#include <string>
#include <vector>

#include "commandline.h"
#include "output.h"
#include "sendcommand.h"
#include "statuscommand.h"
#include "usage.h"
#include "watchcommand.h"

int main() {
  // The arguments in UTF-16, as typed; the C runtime's argv would be the code page's best fit.
  std::vector<Argument> args = CommandLineArguments();
  if (args.empty()) return UsageError("", "no command given");
  const Argument command = args.front();
  args.erase(args.begin());
  const std::string& name = command.ansi;
  if (name == "--help" || name == "-h" || name == "help") {
    const std::string topic = args.empty() ? "" : args.front().ansi;
    if (!topic.empty() && !CommandHelp(topic)) return UsageError("", "no command '" + topic + "'");
    return ShowHelp(topic);
  }
  if (name == "watch") return WatchCommand(args);
  if (name == "send") return SendCommand(args, false);
  if (name == "purge") return SendCommand(args, true);
  if (name == "status") return StatusCommand(args);
  if (command.wide.compare(0, 2, L"--") == 0) return UsageError("", "a command comes first, not the option " + name);
  ErrWide(L"watchhost: unknown command '" + command.wide + L"' (watch, send, purge or status)\n");
  Err("(see 'watchhost --help')\n");
  return 2;
}
