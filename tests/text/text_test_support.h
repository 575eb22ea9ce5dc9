// Helpers shared by the text tests: switching the code page between
// single-byte and code page 932, and an allocator behind ByteString that
// records block sizes and can be told to fail.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>

class ByteString;

// Code page 932's katakana SO: a double-byte character whose trail byte is
// 0x5C, the backslash. A macro so that it joins neighbouring literals.
#define SO_932 "\x83\x5C"

// Natively switches the code-page stand-in to code page 932 and forgets the
// cached double-byte flag; returns true. Under Windows the code page cannot
// be switched: returns true when it already is 932 (the ja_JP pass).
bool EnableDoubleByteCodePage();

// Natively switches the stand-in back to single-byte and forgets the cached
// flag; under Windows does nothing.
void RestoreSingleByteCodePage();

#ifndef _WIN32
// Natively: the stand-in switched and the cached flag forgotten.
void UseCodePageStandIn932(bool enabled);
#endif

// True when the text functions now work byte by byte.
bool IsSingleByteCodePage();

// Tests that need code page 932; skipped where it cannot be had.
class DoubleByteCodePage : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!EnableDoubleByteCodePage()) GTEST_SKIP() << "code page 932 is not the ANSI code page";
  }
  void TearDown() override { RestoreSingleByteCodePage(); }
};

// Tests that rely on bytes from 0x80 up being characters of their own.
class SingleByteCodePage : public ::testing::Test {
 protected:
  void SetUp() override {
    RestoreSingleByteCodePage();
    if (!IsSingleByteCodePage()) GTEST_SKIP() << "the ANSI code page is double-byte";
  }
  void TearDown() override { RestoreSingleByteCodePage(); }
};

// Routes ByteString's heap blocks through a recording allocator for its
// lifetime. Blocks come from malloc, so strings may outlive it.
class TestAllocator {
 public:
  TestAllocator();
  ~TestAllocator();
  TestAllocator(const TestAllocator&) = delete;
  TestAllocator& operator=(const TestAllocator&) = delete;

  // Bytes of the heap block behind s as last allocated or resized; 0 for
  // the inline form or a block made before this allocator was installed.
  std::size_t BlockSize(const ByteString& s) const;
  // allocate and resize calls so far, failed ones included.
  int Calls() const;
  int Allocations() const;
  int Resizes() const;
  // Blocks handed out and not yet released.
  int LiveBlocks() const;
  // While set, every allocate and resize fails.
  void SetFailing(bool failing);
};
