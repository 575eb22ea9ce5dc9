// The structures and constants of the two native queries behind directory stamps and volume
// identity, NtQueryFullAttributesFile and NtQueryVolumeInformationFile, as the system's headers
// for drivers declare them (the headers for programs do not).
#pragma once

#include <windows.h>

namespace ntfilequery {

struct CountedWideText {  // UNICODE_STRING
  USHORT length;          // in bytes, without a terminator
  USHORT maximum_length;
  wchar_t* buffer;
};
struct QueryAttributes {  // OBJECT_ATTRIBUTES
  ULONG length;
  HANDLE root_directory;
  CountedWideText* object_name;
  ULONG attributes;
  void* security_descriptor;
  void* security_quality_of_service;
};
struct OpenFileInformation {  // FILE_NETWORK_OPEN_INFORMATION
  LARGE_INTEGER creation_time;
  LARGE_INTEGER last_access_time;
  LARGE_INTEGER last_write_time;
  LARGE_INTEGER change_time;
  LARGE_INTEGER allocation_size;
  LARGE_INTEGER end_of_file;
  ULONG file_attributes;
};
constexpr ULONG kCaseInsensitive = 0x40;  // OBJ_CASE_INSENSITIVE

// What the system says of the device behind an open file (FILE_FS_DEVICE_INFORMATION).
struct DeviceInformation {
  ULONG device_type;
  ULONG characteristics;
};
struct IoStatus {  // IO_STATUS_BLOCK
  LONG status;
  ULONG_PTR information;
};
constexpr ULONG kDeviceInformationClass = 4;  // FileFsDeviceInformation
constexpr ULONG kRemovableMedia = 0x1;        // FILE_REMOVABLE_MEDIA
constexpr ULONG kRemoteDevice = 0x10;         // FILE_REMOTE_DEVICE
constexpr ULONG kNetworkDevice = 0x12;        // FILE_DEVICE_NETWORK
constexpr ULONG kNetworkFileSystem = 0x14;    // FILE_DEVICE_NETWORK_FILE_SYSTEM

using QueryFullAttributes = LONG WINAPI(QueryAttributes* attributes, OpenFileInformation* information);
using QueryVolumeInformation = LONG WINAPI(HANDLE file, IoStatus* status, void* information, ULONG length,
                                           ULONG type);

}  // namespace ntfilequery
