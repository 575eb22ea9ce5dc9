#include "testfiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

// A full drive path in the \\?\ form, which reaches past the ANSI path limit and keeps a
// trailing dot; any other path as it is.
std::wstring WidePath(const std::string& path) {
  const bool drivePath = path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
                         path.find('/') == std::string::npos;
  return Widen(drivePath ? "\\\\?\\" + path : path);
}

// A directory link is removed, never followed: what it points at belongs to someone else, and a
// link may lead back up the tree.
void DeleteWideTree(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
    return;
  }
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") DeleteWideTree(path + L"\\" + name);
      } while (FindNextFileW(find, &entry));
      FindClose(find);
    }
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace

TempFolder::TempFolder(const char* tag) {
  static unsigned counter = 0;
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  char name[MAX_PATH] = {};
  std::snprintf(name, sizeof name, "%swf-%s-%lu-%u", temp, tag, GetCurrentProcessId(), ++counter);
  path_ = name;
  DeleteTree(path_);
  MakeFolder(path_);
}

TempFolder::~TempFolder() { DeleteTree(path_); }

bool WriteBytes(const std::string& path, const std::string& bytes) {
  const std::size_t lastBackslash = path.rfind('\\');
  if (lastBackslash != std::string::npos && !IsDirectory(path.substr(0, lastBackslash))) {
    MakeFolder(path.substr(0, lastBackslash));
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    ADD_FAILURE() << "cannot write " << path;
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  EXPECT_TRUE(written && closed) << "cannot write " << path;
  return written && closed;
}

std::string ReadBytes(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return "<missing>";
  std::string bytes;
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  std::fclose(file);
  return bytes;
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFolder(const std::string& path) {
  // Past the drive ("C:\") or the share ("\\server\share\"), each level in turn.
  const std::size_t start = path.compare(0, 2, "\\\\") == 0 ? path.find('\\', path.find('\\', 2) + 1) : 3;
  for (std::size_t at = path.find('\\', start); at != std::string::npos; at = path.find('\\', at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryA(path.c_str(), nullptr);
  EXPECT_TRUE(IsDirectory(path)) << "cannot create " << path;
}

bool DeleteTree(const std::string& path) {
  const std::wstring wide = WidePath(path);
  DeleteWideTree(wide);
  return GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ProgramDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string text = path;
  return text.substr(0, text.find_last_of('\\'));
}

std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string windows = "Z:" + path;
  std::replace(windows.begin(), windows.end(), '/', '\\');
  return windows;
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int units = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (units <= 0) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<std::size_t>(units));
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer.data(), units);
  return std::wstring(buffer.data());
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::vector<char> buffer(static_cast<std::size_t>(bytes));
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer.data(), bytes, nullptr, nullptr);
  return std::string(buffer.data());
}

std::string ScanLogStem(std::string folder) {
  const char* last = nullptr;
  for (const char* p = folder.c_str(); *p; p = CharNextA(p)) last = p;
  if (!(last && *last == '\\' && last + 1 == folder.c_str() + folder.size())) folder += '\\';
  for (char& c : folder) {
    if (c == '\\' || c == ':') c = '_';
  }
  return folder;
}

std::string UnmappedDrive() {
  const DWORD drives = GetLogicalDrives();
  for (int letter = 'Q'; letter <= 'Y'; ++letter) {
    if (!(drives & (1u << (letter - 'A')))) return std::string(1, static_cast<char>(letter)) + ":";
  }
  return std::string();
}
