// The double-byte flag the multibyte text functions keep: -1 until first asked, then 1 when the
// ANSI code page is double-byte and 0 when it is not. A process's ANSI code page never changes,
// so the system is asked once. Only the native build's code-page stand-in can change under it:
// a native program that switches the stand-in sets the flag back to -1 to have it asked again.
#pragma once

extern int g_mbDoubleByte;
