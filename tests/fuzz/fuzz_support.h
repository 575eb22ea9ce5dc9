// Shared by the text-layer fuzz harnesses: a check that ends the run with a
// message (libFuzzer records the input as a finding), and a plain model of
// how text splits into characters, single-byte or under code page 932's
// lead-byte table (the native stand-in). The model is written from the
// definitions, not from the code under test, so the two can disagree.
//
// Cost: one pass over the text and a vector of character starts; harnesses
// keep their texts short. Nothing here fails except FUZZ_CHECK, on purpose.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "text/codepage.h"

#define FUZZ_CHECK(condition)                                              \
  do {                                                                     \
    if (!(condition)) FuzzCheckFailed(#condition, __FILE__, __LINE__);     \
  } while (0)

// The models and checks take no part in steering the fuzzer: they are left
// without coverage hooks, which would otherwise cost most of the run time.
#define FUZZ_MODEL __attribute__((no_sanitize("coverage")))

[[noreturn]] inline void FuzzCheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::abort();
}

// Switches the native code-page stand-in to code page 932 or back to
// single-byte; the text functions follow it at their next call.
inline void UseCodePageStandIn932(bool enabled) { CodePageUseStandIn932(enabled); }

namespace fuzzmodel {

// Code page 932's lead bytes.
FUZZ_MODEL inline bool IsLead932(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// What a NUL-terminated consumer sees of a text: the bytes before the first NUL.
FUZZ_MODEL inline std::string CView(const std::string& text) { return std::string(text.c_str()); }

// White space as the trims see it: one byte, below 0x80.
FUZZ_MODEL inline bool IsSpaceByte(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

// For every index of a NUL-free text, and for its end: does a character start
// there (1) or not (0)? Under the double-byte table a lead byte takes the next byte along,
// unless the text ends after it.
FUZZ_MODEL inline std::vector<char> CharStarts(const std::string& text, bool doubleByte) {
  std::vector<char> starts(text.size() + 1, 0);
  std::size_t i = 0;
  while (i < text.size()) {
    starts[i] = 1;
    const bool pair = doubleByte && IsLead932(static_cast<unsigned char>(text[i])) && i + 1 < text.size();
    i += pair ? 2 : 1;
  }
  starts[text.size()] = 1;
  return starts;
}

// True when a one-byte character starts at index i.
FUZZ_MODEL inline bool IsSingleByteChar(const std::vector<char>& starts, std::size_t i) {
  return starts[i] && i + 1 < starts.size() && starts[i + 1];
}

}  // namespace fuzzmodel
