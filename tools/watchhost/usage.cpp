#include "usage.h"

#include <cstring>

#include "output.h"

namespace {

const char kWatch[] =
    "watchhost watch --plugin <dll> --logs <dir> --folder <dir> [--folder <dir> ...]\n"
    "                [--pictures <dir>] [--exempt <dir>] [--formats <ini>]\n"
    "                [--interval <seconds>] [--rescan-every <ticks>] [--ticks <n>] [--verbose]\n"
    "    Writes every setting the host owns (a setting not given is cleared: no --pictures clears\n"
    "    the player's pictures preference, so the plug-in takes the shell's pictures folder),\n"
    "    installs formats.ini for the plug-in (--formats, default the sample beside watchhost.exe),\n"
    "    sends WatchFolders_InitLogs and rescans the folders that have scan logs of an earlier run.\n"
    "    Then it watches the folders and their subfolders: a change sends the folder's notice, and\n"
    "    every --interval seconds (default 5) WatchFolders_Timer is sent and the change lists are\n"
    "    printed as '+ <path>' / '- <path>' and emptied. Every folder is rescanned every\n"
    "    --rescan-every ticks (default: every 300 s worth of ticks; 0: never), and a folder that\n"
    "    cannot be watched at every tick. Each tick ends with a summary line, and while an event\n"
    "    runs a line every 3 s tells how far it has got. --ticks stops after n ticks; Ctrl+C stops it.\n"
    "    Options take their value as the next argument or after '=' (--interval=2).\n";
const char kSend[] =
    "watchhost send --plugin <dll> <event>\n"
    "    Sends one event string and prints what it added to the change lists.\n";
const char kPurge[] =
    "watchhost purge --plugin <dll> <folder>\n"
    "    Sends Purge:<folder> and prints the removals it reported.\n";
const char kStatus[] =
    "watchhost status [--plugin <dll>]\n"
    "    Shows what the plug-in will find: every setting with its type (and what the plug-in makes\n"
    "    of a missing or wrong one), every Dirty flag, the media patterns of the installed\n"
    "    formats.ini and the files in the log folder; with --plugin, first the DLL's version.\n";

}  // namespace

const char* CommandHelp(const std::string& command) {
  static const std::string all = std::string("usage:\n") + kWatch + kSend + kPurge + kStatus +
                                 "watchhost <command> --help shows one command's help.\n";
  if (command.empty()) return all.c_str();
  if (command == "watch") return kWatch;
  if (command == "send") return kSend;
  if (command == "purge") return kPurge;
  if (command == "status") return kStatus;
  return nullptr;
}

int ShowHelp(const std::string& command) {
  const char* help = CommandHelp(command);
  Out("%s", help ? help : CommandHelp(""));
  return 0;
}

int UsageError(const std::string& command, const std::string& message) {
  Err("watchhost: %s\n", message.c_str());
  if (command.empty()) {
    Err("(see 'watchhost --help')\n");
  } else {
    Err("(see 'watchhost %s --help')\n", command.c_str());
  }
  return 2;
}

int Failure(const std::string& message) {
  Err("watchhost: %s\n", message.c_str());
  return 1;
}
