// Scan-log names on any folder and log prefix, single-byte or under the
// double-byte stand-in. FlattenPath writes into a heap buffer of exactly the
// source's size, so AddressSanitizer sees a byte written past it; every '\'
// and ':' must become '_' byte by byte (a trail byte 0x5C too: the names of
// existing logs were made that way). FormScanLogNames must refuse, leaving
// the names untouched, exactly when the folder is empty or a name would not
// fit its buffer, and otherwise give the folder with one trailing backslash
// (a trail byte 0x5C is no backslash) and the three log names.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "scan/scanlog.h"
#include "text/mbtext.h"

namespace {

using fuzzmodel::CharStarts;
using fuzzmodel::IsSingleByteChar;

FUZZ_MODEL std::string Flattened(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c == '\\' || c == ':') c = '_';
  }
  return out;
}

FUZZ_MODEL bool EndsWithOneByteBackslash(const std::string& text, bool doubleByte) {
  if (text.empty() || text.back() != '\\') return false;
  return IsSingleByteChar(CharStarts(text, doubleByte), text.size() - 1);
}

void CheckFlatten(const std::string& source) {
  const std::unique_ptr<char[]> in(new char[source.size() + 1]);
  std::memcpy(in.get(), source.c_str(), source.size() + 1);
  const std::unique_ptr<char[]> out(new char[source.size() + 1]);
  FUZZ_CHECK(FlattenPath(in.get(), out.get()));
  FUZZ_CHECK(std::memcmp(out.get(), Flattened(source).c_str(), source.size() + 1) == 0);
  FUZZ_CHECK(!FlattenPath(nullptr, out.get()) && !FlattenPath(in.get(), nullptr));
}

void CheckNames(const std::string& folder, const std::string* prefix, bool doubleByte) {
  const std::unique_ptr<char[]> folderText(new char[folder.size() + 1]);
  std::memcpy(folderText.get(), folder.c_str(), folder.size() + 1);
  std::unique_ptr<char[]> prefixText;
  if (prefix) {
    prefixText.reset(new char[prefix->size() + 1]);
    std::memcpy(prefixText.get(), prefix->c_str(), prefix->size() + 1);
  }
  ScanLogNames names;
  std::memset(&names, 0xA5, sizeof names);
  const bool formed = FormScanLogNames(folderText.get(), prefixText.get(), &names);

  const std::string p = prefix ? *prefix : std::string();
  const std::string withBackslash = folder + (EndsWithOneByteBackslash(folder, doubleByte) ? "" : "\\");
  const bool fits = !folder.empty() && withBackslash.size() < ScanLogNames::kStemSize &&
                    p.size() + withBackslash.size() + std::strlen("scan2.log") < ScanLogNames::kFileNameSize;
  FUZZ_CHECK(formed == fits);
  if (!formed) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&names);
    for (std::size_t i = 0; i < sizeof names; ++i) FUZZ_CHECK(bytes[i] == 0xA5);
    return;
  }
  const std::string stem = Flattened(withBackslash);
  FUZZ_CHECK(names.folder == withBackslash);
  FUZZ_CHECK(names.stem == stem);
  FUZZ_CHECK(names.log == p + stem + "scan.log");
  FUZZ_CHECK(names.previous == p + stem + "scan2.log");
  FUZZ_CHECK(names.fresh == p + stem + "scan.new");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 2048) return 0;
  FuzzedDataProvider in(data, size);
  const bool doubleByte = in.ConsumeBool();
  const bool withPrefix = in.ConsumeBool();
  UseCodePageStandIn932(doubleByte);
  const std::string folder(in.ConsumeRandomLengthString(600).c_str());
  const std::string prefix(in.ConsumeRemainingBytesAsString().c_str());
  CheckFlatten(folder);
  CheckNames(folder, withPrefix ? &prefix : nullptr, doubleByte);
  ScanLogNames names;
  FUZZ_CHECK(!FormScanLogNames(nullptr, prefix.c_str(), &names));
  FUZZ_CHECK(!FormScanLogNames(folder.c_str(), prefix.c_str(), nullptr));
  UseCodePageStandIn932(false);
  return 0;
}
