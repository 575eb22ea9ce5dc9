// Checks that a file is a 32-bit Windows DLL exporting EventCallback, before it is loaded, so that
// a wrong file is reported in plain words instead of a loader error code.
#pragma once

#include <string>

// True when the file can be loaded as the plug-in; otherwise *problem says what is wrong.
bool CheckPluginFile(const std::string& path, std::string* problem);
