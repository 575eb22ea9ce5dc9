#include "crashlog_test_support.h"

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

namespace {

const char kOptionsKey[] = "Software\\Norvane\\Preferences\\CrashLogOptions";
const char kUserDataKey[] = "Software\\Norvane\\Preferences\\UserDataPath";

}  // namespace

std::string HostPath() { return WindowsPath(CRASHLOG_HOST_PATH); }
std::string TestModulePath() { return WindowsPath(CRASHLOG_MODULE_PATH); }
std::string PluginPath() {
#ifdef WATCHFOLDERS_DLL_PATH
  return WindowsPath(WATCHFOLDERS_DLL_PATH);
#else
  return std::string();
#endif
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

int FindLine(const std::vector<std::string>& lines, const std::string& text, int from) {
  for (int i = from < 0 ? 0 : from; i < static_cast<int>(lines.size()); ++i) {
    if (lines[i] == text) return i;
  }
  return -1;
}

std::string CurrentDirectory() {
  char path[1024] = {};
  GetCurrentDirectoryA(sizeof path, path);
  return path;
}

NorvaneKeysScope::NorvaneKeysScope() { DeleteNorvaneKeys(); }
NorvaneKeysScope::~NorvaneKeysScope() { DeleteNorvaneKeys(); }

void SetCrashOptionText(const char* name, const char* text) {
  SetRegString(kOptionsKey, name, text);
}

void SetCrashOptionNumber(const char* name, DWORD number) {
  SetRegBytes(kOptionsKey, name, REG_DWORD, &number, sizeof number);
}

void SetUserDataPath(const char* text) {
  SetRegString(kUserDataKey, nullptr, text);
}

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
  char old[4096] = {};
  const DWORD length = GetEnvironmentVariableA(name, old, sizeof old);
  had_value_ = length > 0 && length < sizeof old;
  if (had_value_) old_value_ = old;
  SetEnvironmentVariableA(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
  SetEnvironmentVariableA(name_.c_str(), had_value_ ? old_value_.c_str() : nullptr);
}

DWORD RunCrashingHost(const std::string& module, const std::string& mode, const std::string& argument,
                      const std::string& report_folder, DWORD timeout_ms, const std::string& host) {
  ScopedEnvironment folder("crashlog_host.exe", report_folder.c_str());
  std::string command = "\"" + (host.empty() ? HostPath() : host) + "\" \"" + module + "\" " + mode;
  if (!argument.empty()) command += " \"" + argument + "\"";
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return 0xFFFFFFFF;
  }
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

FakeException::FakeException(DWORD code, DWORD parameter_count, ULONG_PTR first, ULONG_PTR second) {
  std::memset(&record, 0, sizeof record);
  std::memset(&context, 0, sizeof context);
  record.ExceptionCode = code;
  record.ExceptionAddress = reinterpret_cast<void*>(0x00401234);
  record.NumberParameters = parameter_count;
  record.ExceptionInformation[0] = first;
  record.ExceptionInformation[1] = second;
  context.Eip = 0x00401234;
  pointers.ExceptionRecord = &record;
  pointers.ContextRecord = &context;
}
