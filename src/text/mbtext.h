// Character-aware searching of NUL-terminated ANSI text, and copying into
// fixed-size buffers.
//
// When the system runs a double-byte code page (asked once, then cached for
// the life of the module) the Mb functions step one character at a time, so
// a byte inside a double-byte character (0x5C as a trail byte, say) is never
// taken for a separator or a match. Otherwise they are the plain byte-wise
// runtime functions. Each costs one pass over the text at most.
//
// Nothing here allocates or fails loudly: a null text gives a null or false
// result, and the bounded functions leave an unusable buffer untouched.
#pragma once

#include <cstddef>

// Next character start; one byte on at the NUL. Null gives null.
const char* MbNext(const char* p);
inline char* MbNext(char* p) { return const_cast<char*>(MbNext(static_cast<const char*>(p))); }

// True when the character at p is one byte long and equals the byte.
bool MbIsSingleByteAt(const char* p, char byte);

// First / last one-byte character equal to the byte, or null. Searching for
// NUL finds the terminator, as strchr and strrchr do.
const char* MbFindChar(const char* text, char byte);
const char* MbFindLastChar(const char* text, char byte);

// First match of the pattern that starts and ends on character boundaries,
// or null. With a double-byte code page an empty text gives null.
const char* MbFindString(const char* text, const char* pattern);

// True when the last character of the text is a one-byte backslash (a trail
// byte 0x5C is not); false for null or empty text.
bool EndsWithBackslash(const char* text);
// The same for a backslash or a slash.
bool EndsWithSeparator(const char* text);

// True when the byte starts a double-byte character; never true when the
// code page is single-byte.
bool MbIsLeadByte(unsigned char byte);

// Copies at most size - 1 bytes, pads the rest with NULs and terminates the
// buffer. Does nothing when any argument is null or size is 0. Returns the
// destination.
char* BoundedCopy(char* destination, const char* source, std::size_t size);

// Appends what fits after the current text of a buffer of the given total
// size and keeps it terminated. A buffer with no NUL inside its size is
// terminated at its last byte. Does nothing when any argument is null or
// size is 0. Returns the destination.
char* BoundedAppend(char* destination, const char* source, std::size_t size);
