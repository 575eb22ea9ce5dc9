#include "scan_test_support.h"

#include <windows.h>

#include <cstdlib>

#include "scan/imagelistcache.h"
#include "scan/mediatype.h"

namespace {

// The \\?\ form keeps a trailing dot that the plain form would strip.
std::string Verbatim(const std::string& path) { return "\\\\?\\" + path; }

}  // namespace

void Touch(const std::string& path) {
  MakeFolder(path.substr(0, path.rfind('\\')));
  HANDLE file = CreateFileA(Verbatim(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  CloseHandle(file);
}

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

void SetExemptWatch(const std::string& folder) {
  SetRegString("Software\\Norvane\\Tamblin\\1.0\\Preferences", "ExemptWatch", folder);
}

ScanLogOutcome UpdateWithoutChangeList(const char* folder, const char* log_prefix, bool init_mode,
                                      bool rotate_only, const char* patterns) {
  ScanLogUpdate update;
  update.init_mode = init_mode;
  update.rotate_only = rotate_only;
  update.patterns = patterns;
  return UpdateScanLog(folder, log_prefix, update);
}

// This program's own keeper of the image list (the linker leaves the module's out), so that
// each FormatsIni starts with none kept.
namespace {

char* g_imageList = nullptr;

void ForgetImageList() {
  std::free(g_imageList);
  g_imageList = nullptr;
}

}  // namespace

const char* CachedImageList() { return g_imageList; }

void KeepImageList(char* block) { g_imageList = block; }

FormatsIni::FormatsIni() {
  Remove();
  ForgetImageList();
}

FormatsIni::~FormatsIni() {
  Remove();
  ForgetImageList();
}

std::string FormatsIni::Path() { return ProgramDirectory() + "\\DataCache\\Formats\\formats.ini"; }

void FormatsIni::Write(const std::string& ext1, const std::string& imageext) {
  WriteText("[searchpatterns]\r\next1=" + ext1 + "\r\n[image]\r\nimageext=" + imageext + "\r\n");
}

void FormatsIni::WriteText(const std::string& text) { WriteBytes(Path(), text); }

void FormatsIni::Remove() { DeleteTree(ProgramDirectory() + "\\DataCache"); }
