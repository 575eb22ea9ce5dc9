// Directories: whether one is there, and three ways of creating one with its missing parents.
//
// The three creations differ on purpose, each for the callers that depend on it; none reports an
// error code, and each may leave the levels it made when a deeper one fails.
#pragma once

#include <windows.h>

#include <cstddef>

#include "text/bytestring.h"
#include "text/parsedpath.h"

// True when the path names an existing directory (GetFileAttributesA with the directory bit); a
// file, a missing path, null and attributes that cannot be read answer false.
bool DirectoryExists(const char* path);
bool DirectoryExists(const ParsedPath& path);

// The install-path resolver's creation (pictures folder): root first, components split on
// backslashes and trimmed of white space, S_OK when the directory exists afterwards and E_FAIL
// at the first level that cannot be created, or when a path with nothing to create names a root
// that is not there (a missing drive, a bare server).
HRESULT CreateDirectoryPath(const ParsedPath& path);

// The scan logs' creation: a bool, from the directory up one level per missing ancestor
// (backslashes only, a trailing one ignored), each level made only when the one below failed.
// True when the directory exists at the end.
bool CreateDirectoryChain(ByteString path);

// The crash report's creation: no heap and no exceptions, for the crash path; backslashes and
// slashes both separate, every level is attempted whatever became of the one above, and the
// root ("C:\", "\\server\share\", a leading separator) is never created. True when the whole
// path is a directory afterwards; false for null, empty or paths of kFolderChainPathSize bytes
// or more.
constexpr std::size_t kFolderChainPathSize = 1024;
bool CreateFolderChain(const char* folder) noexcept;
