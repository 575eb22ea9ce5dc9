// Whether a path text names a place of its own, by its first characters. Two rules, each kept
// for the callers that depend on it; neither touches the file system.
#pragma once

// A path that names a fixed place: "X:" with a separator after it, or two separators and a
// server name ("\\server...", the "\\?\" forms included); either separator counts. The pictures
// folder must be one, so that it never lands below whatever the current directory is.
bool IsFullyQualified(const char* path);

// A component that PathAppendA takes as a path of its own, replacing the one it is appended to:
// "X:" (with or without a separator after it) or two backslashes. The crash report's folder is
// joined by that rule.
bool HasDriveOrUncPrefix(const char* path);
