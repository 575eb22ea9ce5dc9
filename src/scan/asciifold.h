// Case folding for the scanning code: scan-log lines and the exempt folder compare equal when
// they differ only in the case of ASCII letters, as the file system sees them.
//
// Only one-byte characters are folded; under a double-byte code page a trail byte that happens
// to be an ASCII letter (0x41-0x5A are valid trail bytes in code page 932) is kept, so two
// different characters never fold together. Costs one pass over the text; nothing fails.
#pragma once

#include <cstddef>

// Writes the folded form of the first length bytes of source to destination (which holds at
// least length bytes; no terminator is added).
void FoldAsciiCase(const char* source, std::size_t length, char* destination);

// True when both NUL-terminated texts are equal once folded.
bool EqualsIgnoringAsciiCase(const char* a, const char* b);
