// The plug-in's one export and the change-notice handler.
#pragma once

#include <windows.h>

extern "C" HRESULT __stdcall EventCallback(const char* event);

// Sets or clears the "Dirty" flag of the named WatchFolders subkey ("WatchFolder3",
// "WatchFolderPicture"); nothing is written while "SkipFolderScan" is set.
HRESULT SetFolderDirty(const char* name, bool dirty);
