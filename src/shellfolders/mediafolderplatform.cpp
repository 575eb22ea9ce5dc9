// Nothing else may be defined here: a test program that defines GetMediaFolderPlatform itself
// leaves this file out of its link, and with it anything else it held.
#include "shellfolders/mediafolderplatform.h"

const MediaFolderPlatform& GetMediaFolderPlatform() { return SystemMediaFolderPlatform(); }
