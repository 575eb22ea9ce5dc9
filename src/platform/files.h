// Whether a file is there, as the scanning code asks it: by opening it for reading.
#pragma once

// True when the path opens for reading as a file; a directory, a file nobody may read and a file
// held open without sharing answer false, and callers rely on that.
bool FileExists(const char* path);

// Whether a file is there, for a caller that must not take "cannot tell" for "missing": a scan
// log that is there but cannot be opened just now (held by another process, a share that does
// not answer) is kUnknown, not kMissing.
enum class FilePresence { kPresent, kMissing, kUnknown };
FilePresence ProbeFile(const char* path);
