// Media-type matching on any extension and pattern list, single-byte or under
// the double-byte stand-in. The extension and the list sit in heap buffers of
// exactly their size, so AddressSanitizer sees any read past them. The answer
// must be a plain search of the list for "*." and the lowered extension, ended
// by the list's end or a ';', on the list's first 1,023 bytes when a walk
// chooses it (ChoosePatternList), whether the list is handed over or read as
// the general list of formats.ini (the stand-in below); an extension over 254
// bytes matches nothing; the case of an extension's ASCII letters never
// changes the answer.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "scan/mediatype.h"
#include "text/mbtext.h"

namespace {

using fuzzmodel::CharStarts;
using fuzzmodel::IsSingleByteChar;

// What formats.ini holds as the general list in this run.
std::string g_generalList;

FUZZ_MODEL std::unique_ptr<char[]> ExactCopy(const std::string& text) {
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

// The extension's one-byte ASCII letters lowered (or raised), trail bytes kept.
FUZZ_MODEL std::string WithCase(const std::string& extension, bool doubleByte, bool upper) {
  const std::vector<char> starts = CharStarts(extension, doubleByte);
  std::string out = extension;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (!IsSingleByteChar(starts, i)) continue;
    char& c = out[i];
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// An occurrence not followed by the end or ';' is passed over whole: the next search starts
// after it (only a pattern with a '*' of its own, which no file name has, can overlap itself).
FUZZ_MODEL bool ListHolds(const std::string& list, const std::string& extension, bool doubleByte) {
  if (extension.size() > 254) return false;
  const std::string pattern = "*." + WithCase(extension, doubleByte, false);
  for (std::size_t at = list.find(pattern); at != std::string::npos; at = list.find(pattern, at + pattern.size())) {
    const std::size_t after = at + pattern.size();
    if (after == list.size() || list[after] == ';') return true;
  }
  return false;
}

// As a walk matches: the list chosen into its buffer, then searched.
bool WalkMatches(const char* extension, const char* patterns) {
  char chosen[kPatternListSize];
  ChoosePatternList(patterns, chosen, sizeof chosen);
  return MatchesPatternList(extension, chosen);
}

void Check(const std::string& extension, const std::string& list, bool doubleByte) {
  const auto ext = ExactCopy(extension);
  const auto patterns = ExactCopy(list);
  const std::string kept = list.substr(0, kPatternListSize - 1);
  const bool whole = ListHolds(list, extension, doubleByte);
  const bool cut = ListHolds(kept, extension, doubleByte);

  FUZZ_CHECK(MatchesPatternList(ext.get(), patterns.get()) == whole);
  FUZZ_CHECK(WalkMatches(ext.get(), patterns.get()) == cut);
  g_generalList = list;
  FUZZ_CHECK(WalkMatches(ext.get(), nullptr) == cut);

  const auto raised = ExactCopy(WithCase(extension, doubleByte, true));
  FUZZ_CHECK(MatchesPatternList(raised.get(), patterns.get()) == whole);
  FUZZ_CHECK(!MatchesPatternList(nullptr, patterns.get()) && !MatchesPatternList(ext.get(), nullptr));
  FUZZ_CHECK(!WalkMatches(nullptr, patterns.get()));
}

}  // namespace

// The general list of formats.ini, as the real reader gives it: the buffer zeroed, then as much
// of the list as fits, terminated.
void ReadGeneralPatternList(char* destination, std::size_t size) {
  if (!destination || size == 0) return;
  std::memset(destination, 0, size);
  std::memcpy(destination, g_generalList.data(), std::min(g_generalList.size(), size - 1));
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  FuzzedDataProvider in(data, size);
  const bool doubleByte = in.ConsumeBool();
  UseCodePageStandIn932(doubleByte);
  const std::string extension(in.ConsumeRandomLengthString(300).c_str());
  const std::string list(in.ConsumeRemainingBytesAsString().c_str());
  Check(extension, list, doubleByte);
  UseCodePageStandIn932(false);
  return 0;
}
