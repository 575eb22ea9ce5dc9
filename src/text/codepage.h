// The few code-page services the text layer needs from the platform: is the
// ANSI code page double-byte, where does the next character start, is a byte
// a lead byte, is a character white space, and lower-casing in place.
//
// Under Windows each call forwards to USER32 or the C runtime and costs what
// that call costs. Elsewhere (the native test build) a stand-in answers: a
// single-byte code page by default, or code page 932's lead-byte table once a
// test switches it on. None of these calls fail; lower-casing a null text
// does nothing.
#pragma once

// True when the system reports double-byte character sets (SM_DBCSENABLED); under Windows the
// system is asked once per process.
bool CodePageIsDoubleByte();

// Start of the character after the one at p; p itself when p is at the NUL.
const char* CodePageCharNext(const char* p);

// True when the byte starts a double-byte character in the ANSI code page.
bool CodePageIsLeadByte(unsigned char byte);

// True when the character code is white space. Codes above 0xFF are
// double-byte character codes, as the C runtime's classification takes them.
bool CodePageIsSpace(unsigned int character);

// Lower-cases the NUL-terminated text in place without touching trail bytes.
void CodePageLowerInPlace(char* text);

#ifndef _WIN32
// Native stand-in only: switches code page 932's lead-byte table on or off.
// Under Windows the code page belongs to the system and there is no switch.
void CodePageUseStandIn932(bool enabled);
#endif
