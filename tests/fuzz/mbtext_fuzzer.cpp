// The multibyte searches and the fixed-buffer copies on any bytes. Searches
// are compared with a character-by-character model, single-byte and under the
// double-byte stand-in. BoundedCopy and BoundedAppend write into heap
// buffers of exactly the size they are told, so AddressSanitizer sees any
// byte written past the end; the buffer afterwards must hold what strncpy
// into the room left would give, terminated.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "text/mbtext.h"

namespace {

using fuzzmodel::CharStarts;
using fuzzmodel::IsLead932;
using fuzzmodel::IsSingleByteChar;

void CheckSearches(const std::string& text, const std::string& pattern, char byte, bool doubleByte) {
  const char* s = text.c_str();
  const std::vector<char> starts = CharStarts(text, doubleByte);

  // First and last one-byte character equal to the byte; NUL finds the end.
  std::size_t first = std::string::npos, last = std::string::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsSingleByteChar(starts, i) || text[i] != byte) continue;
    if (first == std::string::npos) first = i;
    last = i;
  }
  if (byte == '\0') first = last = text.size();
  const char* found = MbFindChar(s, byte);
  FUZZ_CHECK(first == std::string::npos ? found == nullptr : found == s + first);
  found = MbFindLastChar(s, byte);
  FUZZ_CHECK(last == std::string::npos ? found == nullptr : found == s + last);

  // A match starts and ends on character boundaries. Single-byte, an empty
  // pattern matches at the start (as strstr does); double-byte, an empty
  // text has no match at all.
  std::size_t match = std::string::npos;
  if (!(doubleByte && text.empty())) {
    for (std::size_t i = 0; i <= text.size() && match == std::string::npos; ++i) {
      if (!starts[i] || i + pattern.size() > text.size()) continue;
      if (text.compare(i, pattern.size(), pattern) == 0 && starts[i + pattern.size()]) match = i;
    }
  }
  found = MbFindString(s, pattern.c_str());
  FUZZ_CHECK(match == std::string::npos ? found == nullptr : found == s + match);

  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (!starts[i]) continue;
    std::size_t next = i + 1;
    while (next < text.size() && !starts[next]) ++next;
    FUZZ_CHECK(MbNext(s + i) == s + next);
    FUZZ_CHECK(MbIsSingleByteAt(s + i, text[i]) == (i == text.size() || next == i + 1));
  }
  FUZZ_CHECK(MbNext(static_cast<const char*>(nullptr)) == nullptr);
  FUZZ_CHECK(!MbIsSingleByteAt(nullptr, byte));
  FUZZ_CHECK(MbFindChar(nullptr, byte) == nullptr && MbFindLastChar(nullptr, byte) == nullptr);
  FUZZ_CHECK(MbFindString(nullptr, s) == nullptr && MbFindString(s, nullptr) == nullptr);
  FUZZ_CHECK(MbIsLeadByte(static_cast<unsigned char>(byte)) == (doubleByte && IsLead932(static_cast<unsigned char>(byte))));
}

// The buffer's bytes once start bytes of it are kept and source is copied
// after them with strncpy into the room left, the last byte forced to NUL.
FUZZ_MODEL std::string CopiedImage(const std::string& buffer, std::size_t start, const std::string& source) {
  std::string image = buffer;
  const std::size_t room = buffer.size() - start;
  const std::size_t copied = source.size() < room ? source.size() : room;
  image.replace(start, copied, source, 0, copied);
  for (std::size_t i = start + copied; i < image.size(); ++i) image[i] = '\0';
  image.back() = '\0';
  return image;
}

void CheckBounded(FuzzedDataProvider& in, const std::string& source) {
  const std::size_t size = in.ConsumeIntegralInRange<std::size_t>(0, 80);
  std::string before = in.ConsumeBytesAsString(size);
  before.resize(size, 'x');
  const std::unique_ptr<char[]> buffer(new char[size ? size : 1]);
  std::memcpy(buffer.get(), before.data(), size);
  const std::string sourceText(source.c_str());

  std::string want = before;
  if (in.ConsumeBool()) {
    FUZZ_CHECK(BoundedCopy(buffer.get(), source.c_str(), size) == buffer.get());
    if (size > 0) want = CopiedImage(before, 0, sourceText);
  } else {
    FUZZ_CHECK(BoundedAppend(buffer.get(), source.c_str(), size) == buffer.get());
    if (size > 0) {
      const std::size_t used = strnlen(before.c_str(), size);
      if (used == size) {
        want.back() = '\0';
      } else {
        want = CopiedImage(before, used, sourceText);
      }
    }
  }
  FUZZ_CHECK(std::memcmp(buffer.get(), want.data(), size) == 0);

  // Null arguments and a size of 0 leave the buffer alone.
  BoundedCopy(buffer.get(), nullptr, size);
  BoundedAppend(buffer.get(), nullptr, size);
  BoundedCopy(buffer.get(), source.c_str(), 0);
  BoundedAppend(buffer.get(), source.c_str(), 0);
  FUZZ_CHECK(BoundedCopy(nullptr, source.c_str(), size) == nullptr);
  FUZZ_CHECK(BoundedAppend(nullptr, source.c_str(), size) == nullptr);
  FUZZ_CHECK(std::memcmp(buffer.get(), want.data(), size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool doubleByte = in.ConsumeBool();
  UseCodePageStandIn932(doubleByte);
  const char byte = static_cast<char>(in.ConsumeIntegral<unsigned char>());
  const std::string pattern(in.ConsumeRandomLengthString(16).c_str());
  const std::string source = in.ConsumeRandomLengthString(120);
  CheckBounded(in, source);
  const std::string text(in.ConsumeRemainingBytesAsString().c_str());
  CheckSearches(text, pattern, byte, doubleByte);
  UseCodePageStandIn932(false);
  return 0;
}
