// Where the host is installed: the executable of the process that loaded the module (not the
// module itself), whose data files live in the "DataCache" folder beside it. Every call asks the
// system afresh.
#pragma once

#include "text/parsedpath.h"

// Full path of the process executable; an empty path when the system cannot say.
ParsedPath GetProcessImagePath();
// The executable's directory (no trailing separator except at the top of a drive).
ParsedPath GetProcessImageDirectory();
// The executable's directory + "\DataCache" (just "DataCache" when the directory is unknown).
ParsedPath GetDataCacheDirectory();
