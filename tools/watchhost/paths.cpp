#include "paths.h"

#include <windows.h>
#include <shlobj.h>

#include "commandline.h"
#include "handles.h"
#include "output.h"

bool FullAnsiPath(const std::wstring& typed, const char* option, std::string* path, std::wstring* problem) {
  std::wstring full(32768, L'\0');
  const DWORD length = GetFullPathNameW(typed.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
  if (typed.empty() || length == 0 || length >= full.size()) {
    *problem = AnsiToWide(std::string(option) + " '") + typed + L"' is not a path";
    return false;
  }
  full.resize(length);
  if (ToAnsiExactly(full, path)) return true;
  *problem = AnsiToWide(std::string(option) + " '") + full +
             AnsiToWide("' cannot be spelt in the ANSI code page (" + AnsiCodePageName() +
                        "), and the plug-in's settings, events and change lists are ANSI text");
  wchar_t short_path[MAX_PATH];
  std::string short_ansi;
  const DWORD short_length = GetShortPathNameW(full.c_str(), short_path, MAX_PATH);
  if (short_length > 0 && short_length < MAX_PATH && ToAnsiExactly(short_path, &short_ansi)) {
    *problem += L"; give its short name " + std::wstring(short_path) + L" instead";
  }
  return false;
}

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path.push_back('\\');
  return path;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectories(const std::string& path) {
  // Each level from the root down; the ones that are there already fail harmlessly.
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryA(path.c_str(), nullptr);
  return IsDirectory(path);
}

std::string ExeDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
  const std::string text(path);
  return text.substr(0, text.find_last_of('\\') + 1);
}

std::string InstalledFormatsPath() { return ExeDirectory() + "DataCache\\Formats\\formats.ini"; }

std::string ShellPicturesFolder() {
  PWSTR known = nullptr;
  std::string path;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Pictures, 0, nullptr, &known)) && known) {
    ToAnsiExactly(known, &path);
  }
  CoTaskMemFree(known);
  char classic[MAX_PATH] = {};
  if (path.empty() && SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_MYPICTURES, nullptr, 0, classic))) path = classic;
  if (path.empty() && SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, classic))) path = classic;
  return path;
}

bool ListFolder(const std::string& folder, const char* pattern, std::vector<FileEntry>* entries) {
  WIN32_FIND_DATAA found;
  FindHandle find(FindFirstFileA((WithBackslash(folder) + pattern).c_str(), &found));
  if (!find.Valid()) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND && IsDirectory(folder);
  }
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const uint64_t size = static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
    const uint64_t written =
        static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32 | found.ftLastWriteTime.dwLowDateTime;
    entries->push_back({name, size, written, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileA(find.Get(), &found));
  return true;
}
