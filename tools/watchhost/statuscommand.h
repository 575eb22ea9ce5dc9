// watchhost status: every setting with its type and what the plug-in makes of it, every Dirty
// flag, the media patterns of the installed formats.ini and the files of the log folder.
#pragma once

#include <vector>

#include "commandline.h"

// The arguments after "status"; returns the exit code.
int StatusCommand(const std::vector<Argument>& args);
