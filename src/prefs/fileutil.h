// File-system helpers of the scanning code.
#pragma once

#include "text/bytestring.h"

// True when the path opens for reading as a file; a directory answers false.
bool FileExists(const char* path);

// Whether a file is there, for a caller that must not take "cannot tell" for "missing": a scan
// log that is there but cannot be opened just now (held by another process, a share that does
// not answer) is kUnknown, not kMissing.
enum class FilePresence { kPresent, kMissing, kUnknown };
FilePresence ProbeFile(const char* path);

// True when the path names a directory; "already exists" from CreateDirectoryA also answers for a
// file of that name, which is no directory to write into.
bool IsExistingDirectory(const char* path);

// Creates the directory (backslash-separated, a trailing backslash ignored) and every missing
// ancestor. True when the directory exists at the end.
bool CreateDirectoryChain(ByteString path);
