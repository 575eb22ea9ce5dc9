#include "scan_test_support.h"

#include <windows.h>

#include <cstdio>

#include "scan/mediatype.h"

namespace {

std::string ExeDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path);
  return text.substr(0, text.rfind('\\'));
}

// The \\?\ form keeps a trailing dot that the plain form would strip.
std::string Verbatim(const std::string& path) { return "\\\\?\\" + path; }

}  // namespace

TempFolder::TempFolder() {
  static int counter = 0;
  char base[MAX_PATH] = {};
  GetTempPathA(sizeof base, base);
  char name[64];
  std::snprintf(name, sizeof name, "wfscan-%lu-%d", GetCurrentProcessId(), ++counter);
  path_ = std::string(base) + name;
  RemoveTree(path_);
  MakeFolder(path_);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

void MakeFolder(const std::string& path) {
  for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryA(path.c_str(), nullptr);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  MakeFolder(path.substr(0, path.rfind('\\')));
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

std::string ReadBytes(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return "<missing>";
  std::string bytes;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  std::fclose(file);
  return bytes;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Touch(const std::string& path) {
  MakeFolder(path.substr(0, path.rfind('\\')));
  HANDLE file = CreateFileA(Verbatim(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  CloseHandle(file);
}

namespace {

std::wstring Widen(const std::string& text) {
  const int count = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(count > 0 ? count : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], count);
  wide.resize(wide.size() - 1);
  return wide;
}

// Wide and verbatim throughout: trees may be deeper than the ANSI functions reach.
void RemoveWideTree(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..") RemoveWideTree(path + L"\\" + name);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace

void RemoveTree(const std::string& path) { RemoveWideTree(Widen(Verbatim(path))); }

void MakeDeepFolder(const std::string& path) {
  const std::wstring wide = Widen(Verbatim(path));
  for (std::size_t at = wide.find(L'\\', 7); at != std::wstring::npos; at = wide.find(L'\\', at + 1)) {
    CreateDirectoryW(wide.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(wide.c_str(), nullptr);
}

void TouchDeep(const std::string& path) {
  HANDLE file = CreateFileW(Widen(Verbatim(path)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  CloseHandle(file);
}

void ScanRegistry::SetUp() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Norvane"); }

void ScanRegistry::TearDown() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Norvane"); }

void SetExemptWatch(const std::string& folder) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Norvane\\Tamblin\\1.0\\Preferences", 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "ExemptWatch", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                 static_cast<DWORD>(folder.size() + 1));
  RegCloseKey(key);
}

FormatsIni::FormatsIni() {
  Remove();
  ForgetImageExtensionsForTesting();
}

FormatsIni::~FormatsIni() {
  Remove();
  ForgetImageExtensionsForTesting();
}

std::string FormatsIni::Path() { return ExeDirectory() + "\\DataCache\\Formats\\formats.ini"; }

void FormatsIni::Write(const std::string& ext1, const std::string& imageext) {
  WriteText("[searchpatterns]\r\next1=" + ext1 + "\r\n[image]\r\nimageext=" + imageext + "\r\n");
}

void FormatsIni::WriteText(const std::string& text) { WriteBytes(Path(), text); }

void FormatsIni::Remove() { RemoveTree(ExeDirectory() + "\\DataCache"); }
