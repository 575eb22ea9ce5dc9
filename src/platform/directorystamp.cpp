#include "platform/directorystamp.h"

#include <cstring>
#include <cwchar>

#include "platform/handles.h"
#include "platform/ntfilequery.h"

namespace {

using namespace ntfilequery;

constexpr std::size_t kPathSize = 260;

// True when the folder's path names a fixed drive ("C:\...") and the device behind the open
// folder, reached through whatever links lie on its path, is a local disk that cannot be removed.
bool OnLocalFixedDisk(const char* folder, HANDLE directory) {
  if (!(folder[0] && folder[1] == ':' && folder[2] == '\\')) return false;  // UNC and the like
  const char root[4] = {folder[0], ':', '\\', '\0'};
  if (GetDriveTypeA(root) != DRIVE_FIXED) return false;
  const auto query =
      FindFunction<QueryVolumeInformation>(GetModuleHandleW(L"ntdll.dll"), "NtQueryVolumeInformationFile");
  IoStatus status = {};
  DeviceInformation device = {};
  if (!query || query(directory, &status, &device, sizeof device, kDeviceInformationClass) < 0) return false;
  return !(device.characteristics & (kRemovableMedia | kRemoteDevice)) && device.device_type != kNetworkDevice &&
         device.device_type != kNetworkFileSystem;
}

// The system's own name of a fully qualified path: "\??\C:\Music", "\??\UNC\server\share".
// False for anything else, and for a name that does not fit.
bool SystemPathName(const char* path, wchar_t (&name)[kPathSize + 8], std::size_t* length) {
  wchar_t wide[kPathSize] = {};
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, static_cast<int>(kPathSize)) <= 0) return false;
  std::size_t wide_length = std::wcslen(wide);
  const wchar_t* rest = wide;
  const wchar_t* prefix = L"\\??\\";
  if (wide[0] == L'\\' && wide[1] == L'\\') {
    // "\\?\" and "\\.\" name devices and raw paths: not asked here.
    if (wide[2] == L'?' || wide[2] == L'.' || wide[2] == L'\0') return false;
    prefix = L"\\??\\UNC\\";
    rest = wide + 2;
    wide_length -= 2;
  } else if (!(wide[0] && wide[1] == L':' && wide[2] == L'\\')) {
    return false;
  }
  // The top of a drive keeps its backslash ("C:\"); any other directory is named without one.
  if (wide_length > 3 && rest[wide_length - 1] == L'\\') --wide_length;
  if (rest == wide && wide_length == 2) return false;
  const std::size_t prefix_length = std::wcslen(prefix);
  if (prefix_length + wide_length >= kPathSize + 8) return false;
  std::wmemcpy(name, prefix, prefix_length);
  std::wmemcpy(name + prefix_length, rest, wide_length);
  name[prefix_length + wide_length] = L'\0';
  *length = prefix_length + wide_length;
  return true;
}

}  // namespace

DirectoryStampReader::DirectoryStampReader() {
  // ntdll is in every process from its start; nothing is loaded here.
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  query_ = FindFunction<Query>(ntdll, "NtQueryFullAttributesFile");
}

bool DirectoryStampReader::Read(const char* path, DirectoryStamp* stamp, bool* link) const {
  if (!query_ || !path || !stamp) return false;
  wchar_t name[kPathSize + 8];
  std::size_t length = 0;
  if (!SystemPathName(path, name, &length)) return false;
  CountedWideText text{static_cast<USHORT>(length * sizeof(wchar_t)),
                       static_cast<USHORT>((length + 1) * sizeof(wchar_t)), name};
  QueryAttributes attributes{sizeof(QueryAttributes), nullptr, &text, kCaseInsensitive, nullptr, nullptr};
  OpenFileInformation information;
  std::memset(&information, 0, sizeof information);
  if (query_(&attributes, &information) < 0) return false;
  if (!(information.file_attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (information.file_attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    if (link) *link = true;
    return false;
  }
  stamp->write_time = static_cast<std::uint64_t>(information.last_write_time.QuadPart);
  stamp->change_time = static_cast<std::uint64_t>(information.change_time.QuadPart);
  return true;
}

std::uint64_t CurrentStampTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

bool ReadVolumeIdentity(const char* folder, VolumeIdentity* volume) {
  if (!folder || !volume) return false;
  VolumeIdentity found;
  // Asked of the folder itself, so that a folder reached through a mount point is measured on
  // the volume it lies on. The query by handle also reads no device: some systems (Wine) warn
  // on every query by root path that they cannot read the label.
  const KernelHandle directory(CreateFileA(folder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!directory.IsOpen()) return false;
  const auto by_handle = FindFunction<decltype(::GetVolumeInformationByHandleW)>(
      GetModuleHandleW(L"kernel32.dll"), "GetVolumeInformationByHandleW");
  if (by_handle) {
    wchar_t file_system[sizeof found.file_system] = {};
    if (!by_handle(directory.Get(), nullptr, 0, &found.serial, nullptr, nullptr, file_system,
                   static_cast<DWORD>(sizeof found.file_system))) {
      return false;
    }
    // File-system names are ASCII.
    for (std::size_t i = 0; i + 1 < sizeof found.file_system && file_system[i]; ++i) {
      found.file_system[i] = file_system[i] < 0x80 ? static_cast<char>(file_system[i]) : '?';
    }
  } else {
    // Systems before the query by handle.
    char root[kPathSize] = {};
    if (!GetVolumePathNameA(folder, root, static_cast<DWORD>(sizeof root)) ||
        !GetVolumeInformationA(root, nullptr, 0, &found.serial, nullptr, nullptr, found.file_system,
                               static_cast<DWORD>(sizeof found.file_system))) {
      return false;
    }
  }
  found.local_fixed = OnLocalFixedDisk(folder, directory.Get());
  *volume = found;
  return true;
}

bool StampsFollowEntries(const VolumeIdentity& volume) {
  return volume.local_fixed &&
         (std::strcmp(volume.file_system, "NTFS") == 0 || std::strcmp(volume.file_system, "ReFS") == 0);
}
