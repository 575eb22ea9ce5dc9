// Checks that a file is a Windows DLL of this host's own machine type (x86 for the 32-bit host,
// x64 for the 64-bit one) exporting EventCallback, before it is loaded, so that a wrong file is
// reported in plain words instead of a loader error code.
#pragma once

#include <string>

// True when the file can be loaded as the plug-in; otherwise *problem says what is wrong.
bool CheckPluginFile(const std::string& path, std::string* problem);

// "x86" or "x64": the machine type of this host, and so of the DLLs it can load.
const char* HostMachineName();
