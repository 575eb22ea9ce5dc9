// The test programs' own GetMediaFolderPlatform: it answers a table of stand-ins while one is
// set, and the system's functions otherwise. Linking platform_override.cpp into a program
// replaces the module's definition, which is why the shipped module needs no switch.
#pragma once

#include "shellfolders/mediafolderplatform.h"

// Routes the lookup through the given table (which must outlive its use); null restores the
// system's functions. Not to be switched while a lookup runs.
void UseMediaFolderPlatform(const MediaFolderPlatform* platform);
