#include "crashlog_test_support.h"

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

namespace {

const char kOptionsKey[] = "Software\\Norvane\\Preferences\\CrashLogOptions";
const char kUserDataKey[] = "Software\\Norvane\\Preferences\\UserDataPath";

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

void SetValue(const char* subkey, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(key);
}

}  // namespace

std::string WindowsPath(const char* built_path) {
  std::string path = built_path != nullptr ? built_path : "";
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string HostPath() { return WindowsPath(CRASHLOG_HOST_PATH); }
std::string TestModulePath() { return WindowsPath(CRASHLOG_MODULE_PATH); }
std::string PluginPath() {
#ifdef WATCHFOLDERS_DLL_PATH
  return WindowsPath(WATCHFOLDERS_DLL_PATH);
#else
  return std::string();
#endif
}

TempFolder::TempFolder() {
  static int counter = 0;
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  char name[64] = {};
  std::snprintf(name, sizeof name, "crashlog-%lu-%d-%lu", GetCurrentProcessId(), ++counter, GetTickCount());
  path_ = std::string(temp) + name;
  CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadWholeFile(const std::string& path) {
  std::string bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
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

NorvaneKeysScope::NorvaneKeysScope() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Norvane"); }
NorvaneKeysScope::~NorvaneKeysScope() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Norvane"); }

void SetCrashOptionText(const char* name, const char* text) {
  SetValue(kOptionsKey, name, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1));
}

void SetCrashOptionNumber(const char* name, DWORD number) {
  SetValue(kOptionsKey, name, REG_DWORD, &number, sizeof number);
}

void SetUserDataPath(const char* text) {
  SetValue(kUserDataKey, nullptr, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1));
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
                      const std::string& report_folder, DWORD timeout_ms) {
  ScopedEnvironment folder("crashlog_host.exe", report_folder.c_str());
  std::string command = "\"" + HostPath() + "\" \"" + module + "\" " + mode;
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
