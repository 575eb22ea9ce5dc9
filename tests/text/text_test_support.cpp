#include "text_test_support.h"

#include <cstdlib>
#include <unordered_map>

#ifdef _WIN32
#include <windows.h>
#endif

#include "text/bytestring.h"
#include "text/bytestringblocks.h"
#include "text/codepage.h"
#include "text/mbtext.h"

#ifdef _WIN32
// The process's code page is the system's, and there is nothing to switch.
bool EnableDoubleByteCodePage() { return GetACP() == 932; }

void RestoreSingleByteCodePage() {}
#else
void UseCodePageStandIn932(bool enabled) { CodePageUseStandIn932(enabled); }

bool EnableDoubleByteCodePage() {
  UseCodePageStandIn932(true);
  return true;
}

void RestoreSingleByteCodePage() { UseCodePageStandIn932(false); }
#endif

bool IsSingleByteCodePage() {
#ifdef _WIN32
  return GetSystemMetrics(SM_DBCSENABLED) == 0;
#else
  return true;
#endif
}

namespace {

struct AllocatorState {
  std::unordered_map<const void*, std::size_t> sizes;
  int allocations = 0;
  int resizes = 0;
  bool failing = false;
};

AllocatorState* g_state = nullptr;

}  // namespace

// This program's own heap functions behind ByteString: the linker takes these and leaves the
// module's out. They record while a TestAllocator is alive and are malloc, realloc and free
// otherwise.
void* AllocateByteStringBlock(std::size_t size) {
  if (!g_state) return std::malloc(size);
  ++g_state->allocations;
  if (g_state->failing) return nullptr;
  void* block = std::malloc(size);
  if (block) g_state->sizes[block] = size;
  return block;
}

void* ResizeByteStringBlock(void* block, std::size_t size) {
  if (!g_state) return std::realloc(block, size);
  ++g_state->resizes;
  if (g_state->failing) return nullptr;
  void* moved = std::realloc(block, size);
  if (moved) {
    g_state->sizes.erase(block);
    g_state->sizes[moved] = size;
  }
  return moved;
}

void ReleaseByteStringBlock(void* block) {
  if (g_state) g_state->sizes.erase(block);
  std::free(block);
}

TestAllocator::TestAllocator() { g_state = new AllocatorState; }

TestAllocator::~TestAllocator() {
  delete g_state;
  g_state = nullptr;
}

std::size_t TestAllocator::BlockSize(const ByteString& s) const {
  auto found = g_state->sizes.find(s.HeapBlock());
  return found == g_state->sizes.end() ? 0 : found->second;
}

int TestAllocator::Calls() const { return g_state->allocations + g_state->resizes; }

int TestAllocator::Allocations() const { return g_state->allocations; }

int TestAllocator::Resizes() const { return g_state->resizes; }

int TestAllocator::LiveBlocks() const { return static_cast<int>(g_state->sizes.size()); }

void TestAllocator::SetFailing(bool failing) { g_state->failing = failing; }
