#include "shellfolders/stringheapmanager.h"

namespace {

// Constant-initialised, so it is null before any static constructor of the module runs.
const StringHeapManager* g_moduleManager = nullptr;
volatile LONG g_liveBlocks = 0;

HANDLE CurrentStringHeap() {
  const StringHeapManager* const manager = GetModuleStringHeapManager();
  return manager ? manager->Heap() : GetProcessHeap();
}

}  // namespace

StringHeapManager::StringHeapManager() noexcept : heap_(GetProcessHeap()) {
  if (!g_moduleManager) g_moduleManager = this;
}

StringHeapManager::~StringHeapManager() {
  if (g_moduleManager == this) g_moduleManager = nullptr;
}

const StringHeapManager* GetModuleStringHeapManager() noexcept { return g_moduleManager; }

void* AllocateStringBlock(std::size_t bytes) noexcept {
  const HANDLE heap = CurrentStringHeap();
  void* block = heap ? HeapAlloc(heap, 0, bytes) : nullptr;
  if (block) InterlockedIncrement(&g_liveBlocks);
  return block;
}

void ReleaseStringBlock(void* block) noexcept {
  if (!block) return;
  InterlockedDecrement(&g_liveBlocks);
  HeapFree(CurrentStringHeap(), 0, block);
}

long LiveStringBlocks() noexcept { return g_liveBlocks; }
