// The help of each command, and how command-line errors and failures are told.
// Exit codes: 0 done, 1 the work failed, 2 the command line is wrong.
#pragma once

#include <string>

// The help of one command ("watch", "send", "purge", "status"), or of all for an empty name.
// Null for an unknown command.
const char* CommandHelp(const std::string& command);

// Prints the help of the command to standard output; returns 0.
int ShowHelp(const std::string& command);
// "watchhost: <message>" and where to find the command's help, to standard error; returns 2.
int UsageError(const std::string& command, const std::string& message);
// "watchhost: <message>" to standard error; returns 1.
int Failure(const std::string& message);
