#include "shellfolders_test_support.h"

#include <shellapi.h>

#include <vector>

namespace {

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

}  // namespace

TempFolder::TempFolder() {
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  std::string root = base;
  if (!root.empty() && root.back() == '\\') root.pop_back();
  for (unsigned attempt = 0;; ++attempt) {
    path_ = root + "\\wfshell_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(GetTickCount() + attempt);
    if (CreateDirectoryA(path_.c_str(), nullptr)) break;
  }
}

TempFolder::~TempFolder() { RemoveTree(path_); }

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeDirectory(const std::string& path) { ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path; }

void MakeFile(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  CloseHandle(file);
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int units = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> buffer(static_cast<std::size_t>(units));
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer.data(), units);
  return std::wstring(buffer.data());
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::vector<char> buffer(static_cast<std::size_t>(bytes));
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer.data(), bytes, nullptr, nullptr);
  return std::string(buffer.data());
}

void DeleteNorvaneKeys() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Norvane"); }

const wchar_t kPicturesPreferenceKeyW[] =
    L"Software\\Norvane\\Brisola\\12.0\\Preferences\\PicturesPath";

void SetDefaultValue(const wchar_t* subKey, DWORD type, const void* data, DWORD bytes) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, subKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, L"", 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
  RegCloseKey(key);
}

void SetPicturesPreference(const std::string& text) {
  const std::wstring wide = Widen(text);
  SetDefaultValue(kPicturesPreferenceKeyW, REG_SZ, wide.c_str(),
                  static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}
