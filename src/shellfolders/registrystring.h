// The UTF-16 registry read behind the player's preferences, and its ANSI wrapper.
//
// Cost: one key open, two value queries and one close per read; nothing is cached.
//
// Failure: the result is the Win32 error code of the step that failed; a value of any type
// other than REG_SZ (REG_EXPAND_SZ included, which is never expanded) gives
// ERROR_DATATYPE_MISMATCH, and memory that cannot be had gives ERROR_NOT_ENOUGH_MEMORY. The
// output is written only on ERROR_SUCCESS; otherwise it keeps what it held.
#pragma once

#include <windows.h>

#include "shellfolders/widestring.h"
#include "text/bytestring.h"

// Reads the REG_SZ value of root\sub_key (an empty or null name selects the key's default
// value). The text ends at the first NUL within the data, or after the data when it holds
// none; an odd last byte is dropped. A value of size 0 gives the empty string.
LSTATUS ReadRegistryStringW(HKEY root, const wchar_t* sub_key, const wchar_t* value_name,
                            WideString& out);

// The same read with ANSI key and value names (null counts as empty) and an ANSI result, both
// converted through the ANSI code page. Reads through GetMediaFolderPlatform().
LSTATUS ReadRegistryString(HKEY root, const char* sub_key, const char* value_name, ByteString& out);
