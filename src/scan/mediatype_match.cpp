#include "scan/mediatype.h"

#include <cstring>

#include "text/codepage.h"
#include "text/mbtext.h"

namespace {

// "*." + the extension + NUL.
constexpr std::size_t kSearchPatternSize = 257;

}  // namespace

bool MatchesPatternList(const char* extension, const char* list) {
  if (!extension || !list) return false;
  const std::size_t extension_length = std::strlen(extension);
  if (extension_length > kSearchPatternSize - 3) return false;
  char pattern[kSearchPatternSize] = {'*', '.'};
  std::memcpy(pattern + 2, extension, extension_length + 1);
  // Only the pattern is lowered: a list entry written in capitals never matches. The code
  // page's lowering of plain ASCII is the ASCII one, without the call through the system.
  bool ascii = true;
  for (char* p = pattern; *p; ++p) {
    if (static_cast<unsigned char>(*p) >= 0x80) {
      ascii = false;
      break;
    }
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  }
  if (!ascii) CodePageLowerInPlace(pattern);
  const std::size_t pattern_length = std::strlen(pattern);
  for (const char* hit = std::strstr(list, pattern); hit; hit = std::strstr(hit + pattern_length, pattern)) {
    const char after = hit[pattern_length];
    if (after == '\0' || after == ';') return true;
  }
  return false;
}

void ChoosePatternList(const char* patterns, char* destination, std::size_t size) {
  if (patterns) {
    BoundedCopy(destination, patterns, size);
  } else {
    ReadGeneralPatternList(destination, size);
  }
}
