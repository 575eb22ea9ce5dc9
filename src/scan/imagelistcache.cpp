// Nothing else may be defined here: a test program that defines these functions itself leaves
// this file out of its link, and with it anything else it held.
#include "scan/imagelistcache.h"

namespace {

char* g_imageList = nullptr;

}  // namespace

const char* CachedImageList() { return g_imageList; }

void KeepImageList(char* block) { g_imageList = block; }
