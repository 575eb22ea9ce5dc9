// Everything watchhost prints goes through here. Its text is in the ANSI code page, as the
// plug-in's paths and change lists are; it reaches the reader as a console's own characters
// (WriteConsoleW) or, written to a pipe or file (a Unix terminal or pipe under Wine), as UTF-8.
// Lines from the watch loop and the progress thread never interleave within a line.
#pragma once

#include <string>

#define WATCHHOST_PRINTF(format_index) __attribute__((format(gnu_printf, format_index, format_index + 1)))

// To standard output.
void Out(const char* format, ...) WATCHHOST_PRINTF(1);
// To standard error.
void Err(const char* format, ...) WATCHHOST_PRINTF(1);
// To standard output, after the local time as "hh:mm:ss ".
void Stamped(const char* format, ...) WATCHHOST_PRINTF(1);

// printf into a std::string.
std::string Format(const char* format, ...) WATCHHOST_PRINTF(1);

// Wide text to standard error as it is, for names the ANSI code page cannot spell.
void ErrWide(const std::wstring& text);

// ANSI text as UTF-16, as the code page reads it.
std::wstring AnsiToWide(const std::string& ansi);
