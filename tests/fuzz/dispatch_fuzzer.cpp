// The reading of event strings on any bytes. Every prefix of the input is
// classified from a heap buffer of exactly its length plus the terminator,
// so AddressSanitizer sees any read past the end (a short "Purge" must not
// be read as if it had a path). The kind and the argument must be what a
// plain ASCII case-insensitive reading of the names gives.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "plugin/eventdispatch.h"

namespace {

FUZZ_MODEL std::string Lowered(const std::string& text) {
  std::string lowered = text;
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

FUZZ_MODEL bool Begins(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

void CheckEvent(const std::string& event) {
  const std::unique_ptr<char[]> buffer(new char[event.size() + 1]);
  std::memcpy(buffer.get(), event.c_str(), event.size() + 1);
  const char* text = buffer.get();
  const EventRequest request = ClassifyEvent(text);

  const std::string lowered = Lowered(event);
  EventKind kind = EventKind::kNone;
  const char* argument = nullptr;
  if (lowered == "watchfolders_timer") {
    kind = EventKind::kTimer;
  } else if (lowered == "watchfolders_initlogs") {
    kind = EventKind::kInitLogs;
  } else if (Begins(lowered, "watchfolder")) {
    kind = EventKind::kChangeNotice;
    argument = text;
  } else if (Begins(lowered, "purge") && event.size() > 6) {
    kind = EventKind::kPurge;
    argument = text + 6;
  }
  FUZZ_CHECK(request.kind == kind);
  FUZZ_CHECK(request.argument == argument);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 256) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string event(input.c_str());
  for (std::size_t length = 0; length <= event.size(); ++length) CheckEvent(event.substr(0, length));
  FUZZ_CHECK(ClassifyEvent(nullptr).kind == EventKind::kNone);
  return 0;
}
