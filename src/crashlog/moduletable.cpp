#include "crashlog/moduletable.h"

#include <psapi.h>

#include <atomic>
#include <cstring>

#include "platform/handles.h"
#include "text/mbtext.h"

namespace {

// A slot is free while its base is 0. A writer fills size and name first and publishes the
// base last; an unlisted module's base goes to 0 first.
struct ListedModule {
  std::atomic<DWORD> base;
  DWORD size;
  char name[kListedNameSize];
};
ListedModule g_modules[kListedModules];
// Slots at and past this one were never used: a look-up stops there.
std::atomic<std::size_t> g_slots_used{0};

// The loader's notice (ntdll's LDR_DLL_NOTIFICATION_DATA; loaded and unloaded share the layout).
struct LoaderUnicodeString {
  USHORT length;
  USHORT maximum_length;
  const wchar_t* buffer;
};
struct LoaderNotice {
  ULONG flags;
  const LoaderUnicodeString* full_name;
  const LoaderUnicodeString* base_name;
  void* base;
  ULONG size;
};
constexpr ULONG kModuleLoaded = 1;
constexpr ULONG kModuleUnloaded = 2;
using NoticeCallback = void CALLBACK(ULONG reason, const LoaderNotice* notice, void* context);
using RegisterNotices = LONG NTAPI(ULONG flags, NoticeCallback* callback, void* context, void** cookie);
using UnregisterNotices = LONG NTAPI(void* cookie);

void* g_notice_cookie = nullptr;

void CALLBACK OnLoaderNotice(ULONG reason, const LoaderNotice* notice, void*) {
  if (notice == nullptr) return;
  const DWORD base = static_cast<DWORD>(reinterpret_cast<std::size_t>(notice->base));
  if (reason == kModuleUnloaded) {
    UnlistModule(base);
    return;
  }
  if (reason != kModuleLoaded) return;
  char name[kListedNameSize] = {};
  const LoaderUnicodeString* text = notice->base_name;
  if (text != nullptr && text->buffer != nullptr && text->length > 0) {
    WideCharToMultiByte(CP_ACP, 0, text->buffer, static_cast<int>(text->length / sizeof(wchar_t)), name,
                        static_cast<int>(sizeof name - 1), nullptr, nullptr);
  }
  ListModule(base, notice->size, name);
}

}  // namespace

void ListModule(DWORD base, DWORD size, const char* name) noexcept {
  if (base == 0) return;
  for (ListedModule& module : g_modules) {
    if (module.base.load(std::memory_order_acquire) == base) return;
  }
  for (std::size_t slot = 0; slot < kListedModules; ++slot) {
    ListedModule& module = g_modules[slot];
    if (module.base.load(std::memory_order_acquire) != 0) continue;
    module.size = size;
    std::memset(module.name, 0, sizeof module.name);
    BoundedCopy(module.name, name != nullptr ? name : "", sizeof module.name);
    if (slot >= g_slots_used.load(std::memory_order_acquire)) g_slots_used.store(slot + 1, std::memory_order_release);
    module.base.store(base, std::memory_order_release);
    return;
  }
}

void UnlistModule(DWORD base) noexcept {
  if (base == 0) return;
  for (ListedModule& module : g_modules) {
    DWORD expected = base;
    module.base.compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
  }
}

bool FindListedModule(DWORD address, const char** name, DWORD* offset) noexcept {
  if (name == nullptr || offset == nullptr) return false;
  const std::size_t used = g_slots_used.load(std::memory_order_acquire);
  for (std::size_t slot = 0; slot < used && slot < kListedModules; ++slot) {
    const ListedModule& module = g_modules[slot];
    const DWORD base = module.base.load(std::memory_order_acquire);
    if (base == 0 || address < base || address - base >= module.size) continue;
    *name = module.name;
    *offset = address - base;
    return true;
  }
  return false;
}

void StartModuleTable(HMODULE process_status) noexcept {
  auto enumerate = FindFunction<decltype(::EnumProcessModules)>(process_status, "EnumProcessModules");
  auto information = FindFunction<decltype(::GetModuleInformation)>(process_status, "GetModuleInformation");
  auto base_name = FindFunction<decltype(::GetModuleBaseNameA)>(process_status, "GetModuleBaseNameA");
  HMODULE modules[kListedModules] = {};
  DWORD bytes = 0;
  if (enumerate != nullptr && information != nullptr &&
      enumerate(GetCurrentProcess(), modules, sizeof modules, &bytes)) {
    DWORD count = bytes / sizeof(HMODULE);
    if (count > kListedModules) count = kListedModules;
    for (DWORD i = 0; i < count; ++i) {
      MODULEINFO info;
      std::memset(&info, 0, sizeof info);
      if (!information(GetCurrentProcess(), modules[i], &info, sizeof info)) continue;
      char name[kListedNameSize] = {};
      if (base_name != nullptr) base_name(GetCurrentProcess(), modules[i], name, sizeof name - 1);
      ListModule(static_cast<DWORD>(reinterpret_cast<std::size_t>(info.lpBaseOfDll)), info.SizeOfImage, name);
    }
  }
  if (g_notice_cookie != nullptr) return;
  auto register_notices = FindFunction<RegisterNotices>(GetModuleHandleA("ntdll.dll"), "LdrRegisterDllNotification");
  if (register_notices != nullptr) register_notices(0, OnLoaderNotice, nullptr, &g_notice_cookie);
}

void StopModuleTable() noexcept {
  if (g_notice_cookie == nullptr) return;
  auto unregister = FindFunction<UnregisterNotices>(GetModuleHandleA("ntdll.dll"), "LdrUnregisterDllNotification");
  if (unregister != nullptr) unregister(g_notice_cookie);
  g_notice_cookie = nullptr;
}
