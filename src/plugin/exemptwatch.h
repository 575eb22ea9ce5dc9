// The host's "ExemptWatch" setting (below the Preferences key) for the walks of one refresh
// event: read when the first walk asks for it, then the same for the rest of the event.
#pragma once

#include "scan/scanlog.h"

class ExemptWatchSetting final : public ExemptFolderSource {
 public:
  // Opens the Preferences key with RegKey::CreateOrOpen, so it exists after any walk, and reads
  // the value into 260 bytes: missing, of another type or too long, no folder is exempt.
  const char* ExemptFolder() override;

 private:
  static constexpr unsigned long kBufferSize = 260;
  char folder_[kBufferSize] = {};
  bool read_ = false;
};
