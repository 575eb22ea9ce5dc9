#include "shellfolders/mediafolderplatform.h"

#include "shellfolders/registrystring.h"

// Built on first use: the addresses of imported functions are not link-time constants.
const MediaFolderPlatform& SystemMediaFolderPlatform() {
  static const MediaFolderPlatform platform = {
      &ReadRegistryStringW, &::LoadLibraryA,   &::FreeLibrary,     &::GetProcAddress,
      &::SHGetFolderPathA,  &::CoInitialize,   &::CoUninitialize,  &::CoCreateInstance,
      &::CoTaskMemFree,
  };
  return platform;
}
