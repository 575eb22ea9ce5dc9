#include "plugin/exemptwatch.h"

#include "prefs/prefs.h"
#include "prefs/regkey.h"

const char* ExemptWatchSetting::ExemptFolder() {
  if (!read_) {
    read_ = true;
    RegKey key;
    if (key.CreateOrOpen(HKEY_CURRENT_USER, kPreferencesKey)) {
      key.ReadString("ExemptWatch", "", folder_, kBufferSize);
    }
  }
  return folder_;
}
