#include "shellfolders/mediafolderplatform.h"

#include "shellfolders/registrystring.h"

namespace {

const MediaFolderPlatform* g_override = nullptr;

// Built on first use: the addresses of imported functions are not link-time constants.
const MediaFolderPlatform& SystemPlatform() {
  static const MediaFolderPlatform platform = {
      &ReadRegistryStringW, &::LoadLibraryA,   &::FreeLibrary,     &::GetProcAddress,
      &::SHGetFolderPathA,  &::CoInitialize,   &::CoUninitialize,  &::CoCreateInstance,
      &::CoTaskMemFree,
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
