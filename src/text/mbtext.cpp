#include "text/mbtext.h"

#include <cstring>

#include "text/codepage.h"

namespace {

bool DoubleByte() { return CodePageIsDoubleByte(); }

}  // namespace

const char* MbNext(const char* p) {
  if (!p) return nullptr;
  if (!DoubleByte()) return p + 1;
  const char* next = CodePageCharNext(p);
  return next == p ? p + 1 : next;
}

bool MbIsSingleByteAt(const char* p, char byte) {
  if (!p) return false;
  if (!DoubleByte()) return *p == byte;
  return MbNext(p) == p + 1 && *p == byte;
}

const char* MbFindChar(const char* text, char byte) {
  if (!text) return nullptr;
  if (!DoubleByte()) return std::strchr(text, byte);
  for (const char* p = text;; p = MbNext(p)) {
    if (MbIsSingleByteAt(p, byte)) return p;
    if (!*p) return nullptr;
  }
}

const char* MbFindLastChar(const char* text, char byte) {
  if (!text) return nullptr;
  if (!DoubleByte()) return std::strrchr(text, byte);
  const char* last = nullptr;
  for (const char* p = text;; p = MbNext(p)) {
    if (MbIsSingleByteAt(p, byte)) last = p;
    if (!*p) return last;
  }
}

const char* MbFindString(const char* text, const char* pattern) {
  if (!text || !pattern) return nullptr;
  if (!DoubleByte()) return std::strstr(text, pattern);
  if (!*text) return nullptr;
  const std::size_t text_length = std::strlen(text);
  const std::size_t pattern_length = std::strlen(pattern);
  for (const char* candidate = text; *candidate; candidate = MbNext(candidate)) {
    const std::size_t remaining = text_length - static_cast<std::size_t>(candidate - text);
    if (remaining < pattern_length) return nullptr;
    if (std::memcmp(candidate, pattern, pattern_length) != 0) continue;
    // A match that ends inside a double-byte character is no match.
    const char* end = candidate + pattern_length;
    const char* p = candidate;
    while (p < end) p = MbNext(p);
    if (p == end) return candidate;
  }
  return nullptr;
}

namespace {

bool EndsWithChar(const char* text, char byte) {
  if (!text || !*text) return false;
  const char* last = MbFindLastChar(text, byte);
  return last && last[1] == '\0';
}

}  // namespace

bool EndsWithBackslash(const char* text) { return EndsWithChar(text, '\\'); }

bool EndsWithSeparator(const char* text) { return EndsWithChar(text, '\\') || EndsWithChar(text, '/'); }

bool MbIsLeadByte(unsigned char byte) { return DoubleByte() && CodePageIsLeadByte(byte); }

char* BoundedCopy(char* destination, const char* source, std::size_t size) {
  if (!destination || !source || size == 0) return destination;
  std::strncpy(destination, source, size);
  destination[size - 1] = '\0';
  return destination;
}

char* BoundedAppend(char* destination, const char* source, std::size_t size) {
  if (!destination || !source || size == 0) return destination;
  const void* nul = std::memchr(destination, '\0', size);
  if (!nul) {
    destination[size - 1] = '\0';
    return destination;
  }
  const std::size_t used = static_cast<std::size_t>(static_cast<const char*>(nul) - destination);
  BoundedCopy(destination + used, source, size - used);
  return destination;
}
