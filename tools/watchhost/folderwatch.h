// One folder watched with the system's change notifications, its whole subtree included.
//
// A notification only covers the folder it was set up on: when that folder is deleted, or
// replaced by a new one of the same name, the handle goes quiet for good. So the watch remembers
// which folder it was set up on (volume and file index) and tells when the path now leads
// elsewhere or nowhere, so that the caller can set it up again.
#pragma once

#include <windows.h>

#include <string>

#include "handles.h"

class FolderWatch {
 public:
  FolderWatch(std::string path, std::string notice) : path_(std::move(path)), notice_(std::move(notice)) {}

  const std::string& path() const { return path_; }
  // The event that marks the folder dirty: "WatchFolder<i>" or "WatchFolderPicture".
  const std::string& notice() const { return notice_; }

  // Sets the watch up unless it is; true when it is armed. On failure *error is the system's code.
  bool Arm(DWORD* error);
  bool Armed() const { return handle_.Valid(); }
  void Disarm() { handle_.Reset(); }
  HANDLE handle() const { return handle_.Get(); }
  // After the handle signalled: waits for the next change. False (and disarmed) when it cannot.
  bool Continue();
  // True when the path still leads to the folder the watch was set up on.
  bool StillSameFolder() const;

 private:
  struct Identity {
    DWORD volume = 0, high = 0, low = 0;
    bool operator==(const Identity& other) const {
      return volume == other.volume && high == other.high && low == other.low;
    }
  };
  bool ReadIdentity(Identity* identity) const;

  std::string path_;
  std::string notice_;
  ChangeHandle handle_;
  Identity identity_;
};
