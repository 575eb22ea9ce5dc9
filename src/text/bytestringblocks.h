// The heap functions behind ByteString's blocks: malloc, realloc and free. A block given out by
// the first two is handed back to the third.
//
// They are defined alone in bytestringblocks.cpp so that a test program can define them itself
// (to count allocations or make chosen ones fail); the linker then leaves that file out. A
// program's own definitions must hand out memory that malloc, realloc and free also accept,
// since strings made before or after a test may meet its blocks.
#pragma once

#include <cstddef>

// Null when the memory cannot be had.
void* AllocateByteStringBlock(std::size_t size);
// As realloc: null, with the block left as it was, when the memory cannot be had.
void* ResizeByteStringBlock(void* block, std::size_t size);
void ReleaseByteStringBlock(void* block);
