// Directory stamps and volumes as other systems give them, for the plug-in under Wine.
//
// The plug-in reads a directory's stamp with NtQueryFullAttributesFile and its volume's device
// with NtQueryVolumeInformationFile, both found at run time, and asks GetDriveTypeA what kind of
// drive a folder is on. StampModel redirects those in the loaded plug-in (its GetProcAddress and
// GetDriveTypeA imports) to stand-ins that pass the real answer on, changed as g_stamp_rules say:
// - Windows: a query by path on a link, junction or mount point answers the link's own times,
//   which do not move when something changes behind it (Wine answers the target's).
// - Samba's defaults: a share calls itself NTFS, but a directory's change time is its last-write
//   time, which any tool may set back.
// - A server's clock that is behind this machine's.
// - A stamp that stays as it was last answered (a change within the stamp's own tick, or one the
//   system does not count as a change of that directory).
// - A drive or a device that the system reports as remote.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "importpatch.h"

struct StampRules {
  bool links_keep_own_times = false;
  bool change_follows_write = false;
  LONGLONG clock_offset = 0;      // 100 ns units, added to both times
  bool frozen = false;            // every stamp reads as frozen_time
  LONGLONG frozen_time = 0;
  bool remote_drive = false;      // GetDriveTypeA answers DRIVE_REMOTE
  bool remote_device = false;     // the folder's device is a network file system
};

extern StampRules g_stamp_rules;
// Stamps answered to the plug-in since the rules were last reset.
extern int g_stamp_reads;

// Resets the rules, the count and the pins.
void ResetStampRules();
// From now on the directory's stamp reads as it was last answered, or, when it has not been
// asked for yet, as it is first answered.
void PinStamp(const std::string& directory);

// The redirections in one loaded plug-in, for the object's lifetime.
class StampModel {
 public:
  explicit StampModel(HMODULE plugin);
  bool Applied() const { return stamps_->Applied() && drives_->Applied(); }

 private:
  std::unique_ptr<ImportPatch> stamps_;
  std::unique_ptr<ImportPatch> drives_;
};
