// File-system helpers of the scanning code.
#pragma once

#include "text/bytestring.h"

// True when the path opens for reading as a file; a directory answers false.
bool FileExists(const char* path);

// Creates the directory (backslash-separated, a trailing backslash ignored) and every missing
// ancestor. True when the directory exists at the end.
bool CreateDirectoryChain(ByteString path);
