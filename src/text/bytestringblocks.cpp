// Nothing else may be defined here: a test program that defines these functions itself leaves
// this file out of its link, and with it anything else it held.
#include "text/bytestringblocks.h"

#include <cstdlib>

void* AllocateByteStringBlock(std::size_t size) { return std::malloc(size); }

void* ResizeByteStringBlock(void* block, std::size_t size) { return std::realloc(block, size); }

void ReleaseByteStringBlock(void* block) { std::free(block); }
