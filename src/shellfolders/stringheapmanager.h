// StringHeapManager: the heap behind every WideString block, which is the process heap.
//
// The module defines one static instance as its very first static object, so the manager is in
// place before any other static object can hold a wide string and leaves only after the last
// of them. A program without that instance (test programs, tools) and code that runs outside
// the instance's lifetime still get blocks from the same process heap, so a block may be
// allocated on one side of the instance's lifetime and released on the other.
//
// Cost: one HeapAlloc or HeapFree per block, no lock of our own (the process heap serialises).
// Failure: AllocateStringBlock answers null; nothing throws and nothing is reported.
#pragma once

#include <windows.h>

#include <cstddef>

class StringHeapManager {
 public:
  // Takes the process heap; the first instance alive becomes the module's manager.
  StringHeapManager() noexcept;
  // Stops being the module's manager; blocks still held stay valid (the heap is the process's).
  ~StringHeapManager();
  StringHeapManager(const StringHeapManager&) = delete;
  StringHeapManager& operator=(const StringHeapManager&) = delete;

  HANDLE Heap() const noexcept { return heap_; }

 private:
  HANDLE heap_;
};

// The module's manager, or null while none is alive.
const StringHeapManager* GetModuleStringHeapManager() noexcept;

// Block functions of WideString: through the module's manager when one is alive, else straight
// to the process heap. Null blocks are ignored by the release.
void* AllocateStringBlock(std::size_t bytes) noexcept;
void ReleaseStringBlock(void* block) noexcept;

// Blocks handed out and not yet released: the count the block functions keep, read by the tests'
// leak checks.
long LiveStringBlocks() noexcept;
