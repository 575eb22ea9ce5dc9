#include "text/codepage.h"

#ifdef _WIN32

#include <windows.h>
#include <mbctype.h>
#include <atomic>
#include <mbstring.h>

bool CodePageIsDoubleByte() {
  // A process's ANSI code page never changes: the system is asked once. -1 until then. Threads
  // that meet a first use together each ask and store the same answer; the value stands alone,
  // so relaxed order is enough.
  static std::atomic<int> double_byte{-1};
  int value = double_byte.load(std::memory_order_relaxed);
  if (value < 0) {
    value = GetSystemMetrics(SM_DBCSENABLED) != 0 ? 1 : 0;
    double_byte.store(value, std::memory_order_relaxed);
  }
  return value != 0;
}

const char* CodePageCharNext(const char* p) { return CharNextA(p); }

bool CodePageIsLeadByte(unsigned char character) { return _ismbblead(character) != 0; }

bool CodePageIsSpace(unsigned int character) { return _ismbcspace(character) != 0; }

void CodePageLowerInPlace(char* text) {
  // CharLowerA takes a pointer below 0x10000 for a single character; a real
  // text pointer never is, but a null one would be, so keep it out.
  if (text) CharLowerA(text);
}

#else

namespace {

bool g_standIn932 = false;

bool IsLead932(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace

bool CodePageIsDoubleByte() { return g_standIn932; }

const char* CodePageCharNext(const char* p) {
  // The same stepping as CharNextA: a lead byte takes the next byte along
  // unless that byte is the terminating NUL.
  if (!*p) return p;
  if (CodePageIsLeadByte(static_cast<unsigned char>(p[0])) && p[1]) return p + 2;
  return p + 1;
}

bool CodePageIsLeadByte(unsigned char byte) { return g_standIn932 && IsLead932(byte); }

bool CodePageIsSpace(unsigned int character) {
  return character == ' ' || (character >= '\t' && character <= '\r');
}

void CodePageLowerInPlace(char* text) {
  if (!text) return;
  for (char* p = text; *p; p = const_cast<char*>(CodePageCharNext(p))) {
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  }
}

void CodePageUseStandIn932(bool enabled) { g_standIn932 = enabled; }

#endif
