#include "uncshare.h"

#include <windows.h>

#include <cstdio>

#include "testfiles.h"

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
