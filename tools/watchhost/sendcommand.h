// watchhost send and purge: one event, and what it added to the change lists.
#pragma once

#include <vector>

#include "commandline.h"

// The arguments after "send" or "purge"; returns the exit code.
int SendCommand(const std::vector<Argument>& args, bool purge);
