#include "shellfolders/mediafolderplatform.h"

#include "shellfolders/registrystring.h"

namespace {

const MediaFolderPlatform* g_override = nullptr;

// Built on first use: the addresses of imported functions are not link-time constants.
// ILFree comes in by name through the MinGW import library; shell32 exports it both by name and
// as ordinal 155 on every system that has the newer shell functions (and under Wine 8).
const MediaFolderPlatform& SystemPlatform() {
  static const MediaFolderPlatform platform = {
      &ReadRegistryStringW, &::LoadLibraryA,   &::FreeLibrary,    &::GetProcAddress,
      &::SHGetFolderPathA,  &::ILFree,         &::CoInitialize,   &::CoUninitialize,
      &::CoCreateInstance,  &::CoTaskMemFree,
  };
  return platform;
}

}  // namespace

const MediaFolderPlatform& GetMediaFolderPlatform() {
  return g_override ? *g_override : SystemPlatform();
}

void SetMediaFolderPlatformForTesting(const MediaFolderPlatform* platform) {
  g_override = platform;
}
