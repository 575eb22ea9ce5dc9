#include "testsupport.h"

#include <algorithm>
#include <cstdio>

const char kNorvaneKey[] = "Software\\Norvane";

void RegistryTest::SetUp() { RegDeleteTreeA(HKEY_CURRENT_USER, kNorvaneKey); }

void RegistryTest::TearDown() { RegDeleteTreeA(HKEY_CURRENT_USER, kNorvaneKey); }

TempFolder::TempFolder(const char* tag) {
  static unsigned counter = 0;
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  char name[MAX_PATH] = {};
  std::snprintf(name, sizeof(name), "%swf-%s-%lu-%u", temp, tag, GetCurrentProcessId(), ++counter);
  path_ = name;
  DeleteTree(path_);
  CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { DeleteTree(path_); }

UncShare::UncShare() {
  char prefix[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  char server[32] = {};
  std::snprintf(server, sizeof(server), "wfsrv%lu", GetCurrentProcessId());
  const std::string unc_root = WindowsPath(prefix) + "\\dosdevices\\unc";
  CreateDirectoryA(unc_root.c_str(), nullptr);
  server_folder_ = unc_root + "\\" + server;
  local_ = server_folder_ + "\\share";
  unc_ = std::string("\\\\") + server + "\\share";
  DeleteTree(server_folder_);
  CreateDirectoryA(server_folder_.c_str(), nullptr);
  CreateDirectoryA(local_.c_str(), nullptr);
  available_ = IsDirectory(unc_);
}

UncShare::~UncShare() {
  if (!server_folder_.empty()) DeleteTree(server_folder_);
}

bool DeleteTree(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path.c_str()) != FALSE;
  }
  for (const std::string& name : ListFolder(path)) DeleteTree(path + "\\" + name);
  return RemoveDirectoryA(path.c_str()) != FALSE;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

std::string ReadFileBytes(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return "<missing>";
  std::string bytes;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, n);
  std::fclose(file);
  return bytes;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

void SetRegBytes(const std::string& subkey, const char* name, DWORD type, const void* data,
                 DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  EXPECT_EQ(ERROR_SUCCESS,
            RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
  RegCloseKey(key);
}

void SetRegString(const std::string& subkey, const char* name, const std::string& text,
                  DWORD type) {
  SetRegBytes(subkey, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void SetRegDword(const std::string& subkey, const char* name, DWORD value) {
  SetRegBytes(subkey, name, REG_DWORD, &value, sizeof(value));
}

bool KeyExists(const std::string& subkey) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

long long GetRegDword(const std::string& subkey, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return -1;
  }
  DWORD type = 0, value = 0, size = sizeof(value);
  const LONG status =
      RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && type == REG_DWORD ? value : -1;
}

std::string ProgramDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text = path;
  return text.substr(0, text.find_last_of('\\'));
}

std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string windows = "Z:" + path;
  std::replace(windows.begin(), windows.end(), '/', '\\');
  return windows;
}
