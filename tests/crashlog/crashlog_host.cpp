// A host stand-in that loads a module holding the crash handler (the plug-in, or the test
// module built like it) and then crashes on purpose. The report folder comes from the
// environment variable named after this executable, "crashlog_host.exe".
//
//   crashlog_host MODULE MODE [FILE]
//     write-null            write to address 0 on the main thread
//     read-null             clear the top-level filter, then read from address 0
//     divide                integer division by zero
//     raise                 RaiseException with a code that has no name
//     thread FILE           write to address 0 on a second thread; FILE gets the ids of the
//                           main thread and of the crashing one
//     two-threads           two threads write to address 0 at the same moment
//     heap-lock             write to address 0 holding the process heap's lock
//     heap-corrupt          overrun a heap block, so that freeing it faults inside the heap
//     loader-lock           write to address 0 holding the loader lock (Wine's loader catches
//                           what a DllMain raises, so the lock is taken as the loader takes it)
//     stack-overflow        recurse until the stack is gone
//     plugin-call           the plug-in, handling a change notice, reads the registry through a
//                           stand-in that writes to address 0: the crash is below the plug-in's
//                           frames (MODULE must be the plug-in)
//     plugin-overrun        the same read through a stand-in that writes past the plug-in's
//                           buffer, as a broken hook would: the plug-in's stack guard fails
// Exits with 3 when no crash happened, 4 when the module does not load, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "importpatch.h"

namespace {

volatile int* volatile g_null = nullptr;
volatile int g_zero = 0;
volatile LONG g_start = 0;

// Called first by each crashing function so that it is not a leaf: GCC drops the frame
// pointer of a leaf that uses no stack even with -fno-omit-frame-pointer, and the report's
// walk would then skip the crashing function's caller.
__attribute__((noinline)) void KeepFramePointer() { __asm__ volatile("" ::: "memory"); }

__attribute__((noinline)) void CrashByWritingNull() {
  KeepFramePointer();
  *g_null = 1;
}

__attribute__((noinline)) int CrashByReadingNull() {
  KeepFramePointer();
  return *g_null;
}

__attribute__((noinline)) int CrashByDividing(int value) {
  KeepFramePointer();
  return value / g_zero;
}

__attribute__((noinline)) void CrashByRaising() {
  RaiseException(0xE0001234, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

__attribute__((noinline)) void CrashInsideTheHeap() {
  KeepFramePointer();
  HANDLE heap = GetProcessHeap();
  char* block = static_cast<char*>(HeapAlloc(heap, 0, 32));
  char* next = static_cast<char*>(HeapAlloc(heap, 0, 32));
  // Over the next block's header: the free that merges them reads the damage (Wine's heap
  // faults in HeapFree).
  std::memset(block, 0x41, 64);
  HeapFree(heap, 0, block);
  HeapFree(heap, 0, next);
}

volatile int g_depth_limit = 0x7fffffff;
__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  if (depth >= g_depth_limit) return frame[0];
  return Recurse(depth + 1) + frame[0];
}

DWORD WINAPI CrashOnSecondThread(void*) {
  CrashByWritingNull();
  return 0;
}

DWORD WINAPI CrashTogether(void*) {
  while (InterlockedCompareExchange(&g_start, 0, 0) == 0) {
  }
  CrashByWritingNull();
  return 0;
}

LONG WINAPI CrashingQueryValue(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
  CrashByWritingNull();
  return ERROR_SUCCESS;
}

// Writes sixteen bytes more than the room the caller gave.
LONG WINAPI OverrunningQueryValue(HKEY, LPCSTR, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (data != nullptr && size != nullptr) std::memset(data, 0x41, *size + 16);
  if (type != nullptr) *type = REG_DWORD;
  return ERROR_SUCCESS;
}

// Sends the plug-in a change notice, which first reads a DWORD preference, with the plug-in's
// RegQueryValueExA led to the stand-in. The preferences key must exist for the read to happen.
int CallPluginThrough(HMODULE plugin, void* stand_in) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Norvane\\Tamblin\\1.0\\Preferences", 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return 3;
  }
  RegCloseKey(key);
  using EventCallbackFunction = HRESULT __stdcall(const char*);
  auto callback = reinterpret_cast<EventCallbackFunction*>(
      reinterpret_cast<void (*)()>(GetProcAddress(plugin, "EventCallback")));
  ImportPatch patch(plugin, "advapi32.dll", "RegQueryValueExA", stand_in);
  if (callback == nullptr || !patch.Applied()) return 3;
  callback("WatchFolderC:\\Music");
  return 3;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  HMODULE module = LoadLibraryA(argv[1]);
  if (module == nullptr) return 4;
  const char* mode = argv[2];
  if (std::strcmp(mode, "write-null") == 0) {
    CrashByWritingNull();
  } else if (std::strcmp(mode, "read-null") == 0) {
    // As code does that hands a fatal error to the system's handling itself.
    SetUnhandledExceptionFilter(nullptr);
    return CrashByReadingNull() == 0 ? 3 : 5;
  } else if (std::strcmp(mode, "divide") == 0) {
    return CrashByDividing(argc) == 0 ? 3 : 5;
  } else if (std::strcmp(mode, "raise") == 0) {
    CrashByRaising();
  } else if (std::strcmp(mode, "thread") == 0 && argc >= 4) {
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, CrashOnSecondThread, nullptr, CREATE_SUSPENDED, &id);
    if (thread == nullptr) return 3;
    if (FILE* file = std::fopen(argv[3], "w")) {
      std::fprintf(file, "%lu %lu\n", GetCurrentThreadId(), id);
      std::fclose(file);
    }
    ResumeThread(thread);
    WaitForSingleObject(thread, INFINITE);
  } else if (std::strcmp(mode, "two-threads") == 0) {
    HANDLE threads[2] = {};
    for (HANDLE& thread : threads) {
      thread = CreateThread(nullptr, 0, CrashTogether, nullptr, 0, nullptr);
      if (thread == nullptr) return 3;
    }
    InterlockedExchange(&g_start, 1);
    WaitForMultipleObjects(2, threads, TRUE, INFINITE);
  } else if (std::strcmp(mode, "heap-lock") == 0) {
    HeapLock(GetProcessHeap());
    CrashByWritingNull();
  } else if (std::strcmp(mode, "heap-corrupt") == 0) {
    CrashInsideTheHeap();
  } else if (std::strcmp(mode, "loader-lock") == 0) {
    using LockLoader = LONG WINAPI(ULONG flags, ULONG* state, ULONG_PTR* cookie);
    auto lock = reinterpret_cast<LockLoader*>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrLockLoaderLock")));
    ULONG_PTR cookie = 0;
    if (lock == nullptr || lock(0, nullptr, &cookie) != 0) return 3;
    CrashByWritingNull();
  } else if (std::strcmp(mode, "stack-overflow") == 0) {
    return Recurse(0) == 0 ? 3 : 5;
  } else if (std::strcmp(mode, "plugin-call") == 0) {
    return CallPluginThrough(module, reinterpret_cast<void*>(&CrashingQueryValue));
  } else if (std::strcmp(mode, "plugin-overrun") == 0) {
    return CallPluginThrough(module, reinterpret_cast<void*>(&OverrunningQueryValue));
  } else {
    return 2;
  }
  return 3;
}
