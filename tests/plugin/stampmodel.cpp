#include "stampmodel.h"

#include <cstring>
#include <cwctype>
#include <map>

#include "platform/ntfilequery.h"

StampRules g_stamp_rules;
int g_stamp_reads = 0;

namespace {

using namespace ntfilequery;

QueryFullAttributes* g_query_stamp = nullptr;
QueryVolumeInformation* g_query_volume = nullptr;
UINT(WINAPI* g_drive_type)(LPCSTR) = nullptr;

struct Times {
  LARGE_INTEGER write;
  LARGE_INTEGER change;
};
struct Pin {
  bool set;
  Times times;
};
std::map<std::wstring, Times> g_answered;  // by system name, lower case, no trailing backslash
std::map<std::wstring, Pin> g_pinned;

std::wstring Key(std::wstring name) {
  while (name.size() > 7 && name.back() == L'\\') name.pop_back();
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
  return name;
}

LONG WINAPI ModelQueryStamp(QueryAttributes* attributes, OpenFileInformation* information) {
  const LONG status = g_query_stamp(attributes, information);
  if (status < 0 || !information || !attributes || !attributes->object_name) return status;
  ++g_stamp_reads;
  const StampRules& rules = g_stamp_rules;
  Times times{information->last_write_time, information->change_time};
  if (rules.frozen) times.write.QuadPart = times.change.QuadPart = rules.frozen_time;
  if (rules.links_keep_own_times && (information->file_attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // The link's own times: made long ago, never changed since.
    times.write.QuadPart = times.change.QuadPart = 126000000000000000LL;
  }
  if (rules.change_follows_write) times.change = times.write;
  times.write.QuadPart += rules.clock_offset;
  times.change.QuadPart += rules.clock_offset;
  const CountedWideText& name = *attributes->object_name;
  const std::wstring key = Key(std::wstring(name.buffer, name.length / sizeof(wchar_t)));
  const auto pinned = g_pinned.find(key);
  if (pinned != g_pinned.end()) {
    if (!pinned->second.set) pinned->second = Pin{true, times};
    times = pinned->second.times;
  }
  g_answered[key] = times;
  information->last_write_time = times.write;
  information->change_time = times.change;
  return status;
}

LONG WINAPI ModelQueryVolume(HANDLE file, IoStatus* status, void* information, ULONG length, ULONG type) {
  const LONG result = g_query_volume(file, status, information, length, type);
  if (result >= 0 && g_stamp_rules.remote_device && type == kDeviceInformationClass &&
      length >= sizeof(DeviceInformation)) {
    auto* device = static_cast<DeviceInformation*>(information);
    device->device_type = kNetworkFileSystem;
    device->characteristics |= kRemoteDevice;
  }
  return result;
}

UINT WINAPI ModelDriveType(LPCSTR root) { return g_stamp_rules.remote_drive ? DRIVE_REMOTE : g_drive_type(root); }

FARPROC WINAPI ModelGetProcAddress(HMODULE module, LPCSTR name) {
  const FARPROC found = GetProcAddress(module, name);
  if (!found || IS_INTRESOURCE(name)) return found;
  if (std::strcmp(name, "NtQueryFullAttributesFile") == 0) {
    g_query_stamp = reinterpret_cast<QueryFullAttributes*>(reinterpret_cast<void*>(found));
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&ModelQueryStamp));
  }
  if (std::strcmp(name, "NtQueryVolumeInformationFile") == 0) {
    g_query_volume = reinterpret_cast<QueryVolumeInformation*>(reinterpret_cast<void*>(found));
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&ModelQueryVolume));
  }
  return found;
}

}  // namespace

void ResetStampRules() {
  g_stamp_rules = StampRules();
  g_stamp_reads = 0;
  g_answered.clear();
  g_pinned.clear();
}

void PinStamp(const std::string& directory) {
  wchar_t wide[MAX_PATH] = {};
  if (MultiByteToWideChar(CP_ACP, 0, directory.c_str(), -1, wide, MAX_PATH) <= 0) return;
  const std::wstring key = Key(L"\\??\\" + std::wstring(wide));
  const auto answered = g_answered.find(key);
  g_pinned[key] = answered == g_answered.end() ? Pin{false, {}} : Pin{true, answered->second};
}

StampModel::StampModel(HMODULE plugin)
    : stamps_(std::make_unique<ImportPatch>(plugin, "kernel32.dll", "GetProcAddress",
                                            reinterpret_cast<void*>(&ModelGetProcAddress))),
      drives_(std::make_unique<ImportPatch>(plugin, "kernel32.dll", "GetDriveTypeA",
                                            reinterpret_cast<void*>(&ModelDriveType))) {
  g_drive_type = &GetDriveTypeA;
}
