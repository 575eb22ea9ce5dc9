#include "scan/asciifold.h"

#include <cstdint>
#include <cstring>

#include "text/mbtext.h"

namespace {

char FoldByte(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Four ASCII bytes at once (every byte below 0x80, so no sum carries into its neighbour).
std::uint32_t FoldAsciiWord(std::uint32_t word) {
  const std::uint32_t at_least_a = word + 0x3F3F3F3Fu;   // high bit set from 'A' (0x41) up
  const std::uint32_t above_z = word + 0x25252525u;     // high bit set above 'Z' (0x5A)
  const std::uint32_t upper = at_least_a & ~above_z & 0x80808080u;
  return word | (upper >> 2);
}

// Lead bytes of every double-byte code page are 0x81 or above: ASCII never needs the question.
bool StartsDoubleByte(char c) {
  return static_cast<unsigned char>(c) >= 0x80 && MbIsLeadByte(static_cast<unsigned char>(c));
}

}  // namespace

void FoldAsciiCase(const char* source, std::size_t length, char* destination) {
  std::size_t i = 0;
  while (i < length) {
    if (i + 4 <= length) {
      std::uint32_t word;
      std::memcpy(&word, source + i, 4);
      if ((word & 0x80808080u) == 0) {
        word = FoldAsciiWord(word);
        std::memcpy(destination + i, &word, 4);
        i += 4;
        continue;
      }
    }
    const char c = source[i];
    if (StartsDoubleByte(c) && i + 1 < length && source[i + 1] != '\0') {
      destination[i] = c;
      destination[i + 1] = source[i + 1];
      i += 2;
    } else {
      destination[i] = FoldByte(c);
      ++i;
    }
  }
}

bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
  if (!a || !b) return false;
  const std::size_t length = std::strlen(a);
  if (std::strlen(b) != length) return false;
  std::size_t i = 0;
  while (i < length) {
    if (StartsDoubleByte(a[i]) && a[i + 1] != '\0') {
      // Both must hold the same double-byte character, byte for byte.
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      i += 2;
    } else {
      if (FoldByte(a[i]) != FoldByte(b[i])) return false;
      ++i;
    }
  }
  return true;
}
