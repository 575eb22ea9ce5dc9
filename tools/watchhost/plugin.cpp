#include "plugin.h"

#include "pecheck.h"

namespace {

std::string SystemMessage(DWORD error) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
      0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message(text ? text : "", length);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

}  // namespace

std::string LoadErrorHint(DWORD error) {
  switch (error) {
    case ERROR_DLL_INIT_FAILED:
      return "its initialisation failed: DllMain returned FALSE, or a static object's constructor failed";
    case ERROR_MOD_NOT_FOUND:
      return "a DLL it depends on is missing";
    case ERROR_PROC_NOT_FOUND:
      return "a DLL it depends on lacks a function it imports (an older version of that DLL?)";
    case ERROR_BAD_EXE_FORMAT:
      return "it is not a valid image for this host";
    default: {
      const std::string message = SystemMessage(error);
      return message.empty() ? "no explanation from the system" : message;
    }
  }
}

std::string PluginVersion(const std::string& path) {
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
  std::string block(size, '\0');
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, &block[0]) ||
      !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size) || !fixed ||
      fixed_size < sizeof *fixed) {
    return "no version resource";
  }
  std::string version = "version " + std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                        std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                        std::to_string(HIWORD(fixed->dwFileVersionLS));
  if (LOWORD(fixed->dwFileVersionLS) != 0) version += "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
  return version;
}

bool Plugin::Load(const std::string& path, std::string* problem) {
  if (!CheckPluginFile(path, problem)) return false;
  module_.Reset(LoadLibraryA(path.c_str()));
  if (!module_.Valid()) {
    const DWORD error = GetLastError();
    *problem = "Windows could not load " + path + " (error " + std::to_string(error) + "): " + LoadErrorHint(error);
    return false;
  }
  callback_ = reinterpret_cast<EventCallbackFn>(
      reinterpret_cast<void*>(GetProcAddress(module_.Get(), "EventCallback")));
  if (!callback_) {
    *problem = path + " does not export EventCallback";
    return false;
  }
  return true;
}

HRESULT Plugin::Send(const std::string& event) const {
  return callback_ ? callback_(event.c_str()) : E_POINTER;
}
