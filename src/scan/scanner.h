// Depth-first walk of one folder tree writing a scan-log line per media file.
//
// Each directory is listed once (its media files are written in listing order, then its
// subdirectories are walked one after another), and the exempt folder ("ExemptWatch") and the
// general pattern list are read once per call, not per directory or file. Memory: the names of
// the subdirectories still waiting along the current branch.
//
// Failures: a directory that cannot be listed (access denied, vanished, or a path that does not
// fit the 260-byte path limit) is passed over, its siblings and ancestors are still walked, and
// the answer is false. Write errors on the output file are ignored.
#pragma once

#include <windows.h>

#include <cstdio>

// drive: "C:" or empty; directory: without trailing backslash ("\Music"). True when the walk
// completed (or the directory is exempt); false when some directory could not be listed.
bool ScanFolder(const char* drive, const char* directory, FILE* out, const char* patterns);

// Test seam: the call that opens a directory listing (FindFirstFileA when null). Tests run as
// root under Wine, where a folder of mode 000 still lists, so they fail it through here.
using FindFirstFileFunction = HANDLE(WINAPI*)(LPCSTR, LPWIN32_FIND_DATAA);
void SetFindFirstFileForTesting(FindFirstFileFunction function);
