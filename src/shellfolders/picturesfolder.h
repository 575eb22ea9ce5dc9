// Finds the user's pictures folder: the player's "PicturesPath" preference when it names a
// usable folder, else the shell's default pictures location; makes sure the folder exists
// (creating missing parents); hands it back as a UTF-16 file-system path.
//
// Cost: one registry read and several shell resolutions (each loading shell32 and initialising
// COM for its own duration) per call; the folder and its parents may be created. Nothing is
// cached, so a changed preference or a deleted folder takes effect at the next call.
//
// Failure: nothing is reported; a candidate that cannot be used gives way to the next, and when
// none is left the result is E_FAIL with the output exactly as passed. Every platform contact
// goes through GetMediaFolderPlatform(), so the policy runs the same against stand-ins.
#pragma once

#include <windows.h>

#include "shellfolders/widestring.h"

enum class MediaFolderKind : int { Music = 0, Videos = 1, Pictures = 2 };

// The player keeps each preference as a key of its own below this key (under HKCU); the text
// is the key's default value.
extern const char kPlayerPreferencesKey[];
extern const char kPicturesPreferenceName[];

// The pictures folder. S_OK with the folder in the output (as the shell reports it, or the
// candidate's own text when the shell cannot resolve it), or E_FAIL with the output untouched.
HRESULT GetPicturesFolder(WideString& folder);

// The preference when it is usable, else the kind's default location; the output receives the
// candidate as read or as the shell named it, not its resolved form. E_INVALIDARG for a null or
// empty name; otherwise S_OK or E_FAIL (output untouched).
HRESULT GetMediaFolderPreference(const char* name, MediaFolderKind kind, WideString& folder);

// The text of the player's preference (a REG_SZ default value), passed through the ANSI code
// page. An empty value is still S_OK. E_INVALIDARG for a null or empty name; E_FAIL (output
// untouched) when it cannot be read.
HRESULT ReadPlayerPreference(const char* name, WideString& text);

// The shell's default location of the kind: its known folder, its CSIDL folder, or the
// documents folder. E_FAIL (output untouched) for an unknown kind or when all three fail.
HRESULT GetDefaultMediaFolder(MediaFolderKind kind, WideString& folder);

// S_OK when the path, converted to the ANSI code page, is a directory or could be created
// with its missing parents; otherwise E_FAIL. Only fully qualified paths (X:\ or \\server\...)
// that fit in MAX_PATH and hold no wildcard ('*', '?') are tested: a relative path would land in
// whatever directory the host happens to be in, and an overlong one would leave a trail of
// half-made levels. Levels are split on backslashes only: a missing level written after a
// forward slash is not created.
HRESULT EnsureFolderExists(const WideString& path);
