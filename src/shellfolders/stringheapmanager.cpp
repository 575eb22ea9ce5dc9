#include "shellfolders/stringheapmanager.h"

namespace {

// Constant-initialised, so it is null before any static constructor of the module runs.
const StringHeapManager* g_moduleManager = nullptr;
volatile LONG g_liveBlocks = 0;

HANDLE CurrentStringHeap() {
  return g_moduleManager ? g_moduleManager->Heap() : GetProcessHeap();
}

}  // namespace

StringHeapManager::StringHeapManager() noexcept : heap_(GetProcessHeap()) {
  if (!g_moduleManager) g_moduleManager = this;
}

StringHeapManager::~StringHeapManager() {
  if (g_moduleManager == this) g_moduleManager = nullptr;
}

void* StringHeapManager::Allocate(std::size_t bytes) const noexcept {
  return heap_ ? HeapAlloc(heap_, 0, bytes) : nullptr;
}

void StringHeapManager::Release(void* block) const noexcept {
  if (block && heap_) HeapFree(heap_, 0, block);
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
