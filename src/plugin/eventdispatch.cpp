#include "plugin/eventdispatch.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr char kTimerEvent[] = "WatchFolders_Timer";
constexpr char kInitLogsEvent[] = "WatchFolders_InitLogs";
constexpr char kChangeNoticePrefix[] = "WatchFolder";
constexpr char kPurgePrefix[] = "Purge";
// "Purge", one separator character whose value does not matter, then the folder path.
constexpr std::size_t kPurgePathOffset = 6;

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when text begins with name (ASCII case ignored); with whole, text must end there too.
// Stops at the first byte that differs, so a short text is never read past its terminator.
bool MatchesName(const char* text, const char* name, bool whole) {
  std::size_t i = 0;
  for (; name[i]; ++i) {
    if (FoldAscii(text[i]) != FoldAscii(name[i])) return false;
  }
  return !whole || text[i] == '\0';
}

}  // namespace

EventRequest ClassifyEvent(const char* event) {
  EventRequest request;
  if (!event) return request;
  if (MatchesName(event, kTimerEvent, true)) {
    request.kind = EventKind::kTimer;
  } else if (MatchesName(event, kInitLogsEvent, true)) {
    request.kind = EventKind::kInitLogs;
  } else if (MatchesName(event, kChangeNoticePrefix, false)) {
    request.kind = EventKind::kChangeNotice;
    request.argument = event;
  } else if (MatchesName(event, kPurgePrefix, false)) {
    // Look no further than the terminator: "Purge" and "Purge:" carry no path.
    if (strnlen(event, kPurgePathOffset + 1) > kPurgePathOffset) {
      request.kind = EventKind::kPurge;
      request.argument = event + kPurgePathOffset;
    }
  }
  return request;
}
