// What a C runtime stream needs from the system beside its own functions: its bytes on the disk,
// and the runtime's text mode back after a binary open. Portable: elsewhere than Windows the
// first is fsync and the second changes nothing.
#pragma once

#include <cstdio>

// Hands the stream's buffer to the system and asks the system to put the file's bytes on the
// disk. False when the stream had a write error or either step failed: some bytes may be lost.
// A file system that refuses the second step (ERROR_INVALID_FUNCTION, ERROR_NOT_SUPPORTED) is
// no failure: the bytes are the system's by then.
bool FlushToDisk(std::FILE* file);

// Switches a stream opened in binary mode to the runtime's text mode (CR LF read as LF, Ctrl-Z
// ends the file). Where the runtime makes no such difference, nothing changes.
void UseRuntimeTextMode(std::FILE* file);
