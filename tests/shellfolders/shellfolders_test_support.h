// Helpers of the shell-folder tests beyond the shared ones: the player's pictures-folder
// preference in the registry.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "testfiles.h"
#include "testregistry.h"

// The player's preference key of the pictures folder.
extern const wchar_t kPicturesPreferenceKeyW[];
// Sets the default value of a key below HKCU (created when missing) to data of the given
// type and exact byte count.
void SetDefaultValue(const wchar_t* subKey, DWORD type, const void* data, DWORD bytes);
// REG_SZ with its terminator.
void SetPicturesPreference(const std::string& text);
