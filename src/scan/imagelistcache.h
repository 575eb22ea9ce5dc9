// Where the image list is kept once formats.ini has been read: one block for the life of the
// module. The host calls us one event at a time, so no lock guards it.
//
// Defined alone in imagelistcache.cpp so that a test program can define both functions itself
// (to forget the list between tests that write different formats.ini files); the linker then
// leaves that file out.
#pragma once

// The kept list, or null while none has been kept.
const char* CachedImageList();
// Keeps the list for the rest of the module's life; block comes from malloc or calloc.
void KeepImageList(char* block);
