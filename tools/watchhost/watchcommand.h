// watchhost watch: writes the host's settings, loads the plug-in and runs the watch loop.
#pragma once

#include <vector>

#include "commandline.h"

// The arguments after "watch"; returns the exit code.
int WatchCommand(const std::vector<Argument>& args);
