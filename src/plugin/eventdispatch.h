// What an event string from the host asks for, read without acting on it.
//
// Names compare with ASCII letter case ignored, the two whole names first since they begin
// like a notice: "WatchFolders_Timer" (a refresh), "WatchFolders_InitLogs" (a refresh in init
// mode), then any string beginning "WatchFolder" (a change notice; the whole string names the
// WatchFolders subkey), then "Purge", one separator character of any value and a folder path.
// Anything else, "Purge" without a path and a null string among it, asks for nothing.
//
// Reads no byte past the string's terminator; nothing fails.
#pragma once

enum class EventKind { kNone, kTimer, kInitLogs, kChangeNotice, kPurge };

struct EventRequest {
  EventKind kind = EventKind::kNone;
  // The subkey a notice names (the event itself), or the folder a purge names (inside the event).
  const char* argument = nullptr;
};

EventRequest ClassifyEvent(const char* event);
