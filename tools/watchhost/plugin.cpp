#include "plugin.h"

#include "pecheck.h"

Plugin::~Plugin() {
  if (module_) FreeLibrary(module_);
}

bool Plugin::Load(const std::string& path, std::string* problem) {
  if (!CheckPluginFile(path, problem)) return false;
  module_ = LoadLibraryA(path.c_str());
  if (!module_) {
    *problem = "Windows could not load " + path + " (error " + std::to_string(GetLastError()) +
               "); a DLL it depends on may be missing";
    return false;
  }
  callback_ = reinterpret_cast<EventCallbackFn>(
      reinterpret_cast<void*>(GetProcAddress(module_, "EventCallback")));
  if (!callback_) {
    *problem = path + " does not export EventCallback";
    return false;
  }
  return true;
}

HRESULT Plugin::Send(const std::string& event) const {
  return callback_ ? callback_(event.c_str()) : E_POINTER;
}
