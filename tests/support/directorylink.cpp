#include "directorylink.h"

#include <windows.h>

#include "testfiles.h"

bool RunLinuxCommand(const std::string& command_line) {
  std::string line = command_line;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

std::string LinuxPath(const std::string& path) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  const auto unix_name = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!unix_name) return "";
  char* name = unix_name(Widen(path).c_str());
  if (!name) return "";
  const std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

DirectoryLink::DirectoryLink(const std::string& link, const std::string& target)
    : linux_path_(LinuxPath(link)), link_(link) {
  if (linux_path_.empty() || !RunLinuxCommand("Z:\\bin\\ln -s \"" + target + "\" \"" + linux_path_ + "\"")) return;
  // The wait may return before the Linux process is done.
  for (int i = 0; i < 200 && !made_; ++i) {
    const DWORD attributes = GetFileAttributesA(link.c_str());
    made_ = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!made_) Sleep(10);
  }
}

DirectoryLink::~DirectoryLink() {
  if (!made_ || !RunLinuxCommand("Z:\\bin\\rm \"" + linux_path_ + "\"")) return;
  for (int i = 0; i < 200 && GetFileAttributesA(link_.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
}
