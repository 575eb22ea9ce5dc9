// Loading the inspection libraries, the thread, module and process enumerations with their
// process-status fall-backs, thread contexts, the mini-dump and the release.
#include "crashlog/crashreportwriter.h"

#include <dbghelp.h>
#include <psapi.h>

#include <cstddef>
#include <cstring>

#include "text/mbtext.h"

static_assert(sizeof(THREADENTRY32) == 28, "THREADENTRY32 is 28 bytes");
static_assert(sizeof(MODULEENTRY32) == 548, "MODULEENTRY32 is 548 bytes (ANSI)");
static_assert(sizeof(PROCESSENTRY32) == 296, "PROCESSENTRY32 is 296 bytes (ANSI)");
static_assert(sizeof(CONTEXT) == 716, "the 32-bit x86 CONTEXT is 716 bytes");
static_assert(sizeof(MODULEINFO) == 12, "MODULEINFO is 12 bytes");

const CrashReportWriter::LibraryNames CrashReportWriter::kSystemLibraries = {
    "kernel32.dll", "psapi.dll", "dbghelp.dll"};

namespace {

constexpr DWORD kSnapshotFlags = TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD | TH32CS_SNAPMODULE;
constexpr DWORD kExtraSymbolOptions = SYMOPT_LOAD_LINES | SYMOPT_OMAP_FIND_NEAREST;
constexpr DWORD kMaxListed = 256;  // modules and processes of the process-status fall-backs

void RegisterModule(CrashReportWriter& writer, const MODULEENTRY32& module, void*) {
  auto load = FindFunction<decltype(::SymLoadModule)>(writer.DebugHelpLibrary(), "SymLoadModule");
  if (load == nullptr) return;
  load(GetCurrentProcess(), nullptr, module.szExePath, module.szModule,
       static_cast<DWORD>(reinterpret_cast<std::size_t>(module.modBaseAddr)), module.modBaseSize);
}

void UnregisterModule(CrashReportWriter& writer, const MODULEENTRY32& module, void*) {
  auto unload =
      FindFunction<decltype(::SymUnloadModule)>(writer.DebugHelpLibrary(), "SymUnloadModule");
  if (unload == nullptr) return;
  unload(GetCurrentProcess(), static_cast<DWORD>(reinterpret_cast<std::size_t>(module.modBaseAddr)));
}

// Tool-help enumeration over the held snapshot: First, then Next until it fails, the size
// field set again before every call. Returns the first call's result.
template <typename Entry>
int WalkSnapshot(CrashReportWriter& writer, HANDLE snapshot, HMODULE kernel, const char* first_name,
                 const char* next_name, bool (*wanted)(const Entry&, DWORD),
                 CrashReportWriter::Visitor<Entry> visitor, void* context) {
  using Step = BOOL WINAPI(HANDLE, Entry*);
  Step* first = FindFunction<Step>(kernel, first_name);
  Step* next = FindFunction<Step>(kernel, next_name);
  if (snapshot == nullptr || first == nullptr || next == nullptr) return 0;
  const DWORD process_id = GetCurrentProcessId();
  Entry entry;
  std::memset(&entry, 0, sizeof entry);
  entry.dwSize = sizeof entry;
  const BOOL started = first(snapshot, &entry);
  if (!started) return 0;
  BOOL more = started;
  while (more) {
    if (wanted == nullptr || wanted(entry, process_id)) visitor(writer, entry, context);
    entry.dwSize = sizeof entry;
    more = next(snapshot, &entry);
  }
  return started;
}

bool OwnedByProcess(const THREADENTRY32& entry, DWORD process_id) {
  return entry.th32OwnerProcessID == process_id;
}

}  // namespace

HMODULE LoadDebugHelpLibrary(const char* file_name) noexcept {
  if (file_name == nullptr) return nullptr;
  // A debug-help library shipped beside the executable wins over the system's.
  char path[1024] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path - 1);
  char* last_separator = (length > 0) ? const_cast<char*>(MbFindLastChar(path, '\\')) : nullptr;
  if (last_separator != nullptr) {
    last_separator[1] = '\0';
    BoundedAppend(path, file_name, sizeof path);
    if (HMODULE beside = LoadLibraryA(path)) return beside;
  }
  return LoadLibraryA(file_name);
}

CrashReportWriter::CrashReportWriter(const LibraryNames& names) noexcept : names_(names) {}

CrashReportWriter::~CrashReportWriter() { Close(); }

void CrashReportWriter::SetSymbolSearchPath(const char* path) noexcept {
  symbol_search_path_ = path;
  auto set_path = FindFunction<decltype(::SymSetSearchPath)>(debug_help_.Get(), "SymSetSearchPath");
  if (set_path != nullptr) set_path(GetCurrentProcess(), path);
}

bool CrashReportWriter::PrepareInspection() noexcept {
  if (!kernel_.IsOpen()) kernel_.Load(names_.kernel);
  if (!process_status_.IsOpen()) process_status_.Load(names_.process_status);
  if (!debug_help_.IsOpen()) debug_help_.Reset(LoadDebugHelpLibrary(names_.debug_help));
  if (snapshot_.IsOpen()) return true;
  if (!kernel_.IsOpen()) return false;

  auto snapshot = FindFunction<decltype(::CreateToolhelp32Snapshot)>(kernel_.Get(),
                                                                      "CreateToolhelp32Snapshot");
  // A failed snapshot counts as none: the process-status lists stand in for it.
  if (snapshot != nullptr) snapshot_.Reset(snapshot(kSnapshotFlags, GetCurrentProcessId()));
  if (!debug_help_.IsOpen()) return snapshot_.IsOpen();

  HMODULE debug_help = debug_help_.Get();
  if (auto initialize = FindFunction<decltype(::SymInitialize)>(debug_help, "SymInitialize")) {
    initialize(GetCurrentProcess(), symbol_search_path_, FALSE);
  }
  if (auto get_options = FindFunction<decltype(::SymGetOptions)>(debug_help, "SymGetOptions")) {
    if (auto set_options = FindFunction<decltype(::SymSetOptions)>(debug_help, "SymSetOptions")) {
      set_options(get_options() | kExtraSymbolOptions);
    }
  }
  ForEachModule(RegisterModule, nullptr);
  return snapshot_.IsOpen();
}

int CrashReportWriter::ForEachThread(Visitor<THREADENTRY32> visitor, void* context) noexcept {
  if (visitor == nullptr) return 0;
  return WalkSnapshot<THREADENTRY32>(*this, snapshot_.Get(), kernel_.Get(), "Thread32First",
                                     "Thread32Next", OwnedByProcess, visitor, context);
}

int CrashReportWriter::ForEachModule(Visitor<MODULEENTRY32> visitor, void* context) noexcept {
  if (visitor == nullptr) return 0;
  if (snapshot_.IsOpen()) {
    return WalkSnapshot<MODULEENTRY32>(*this, snapshot_.Get(), kernel_.Get(), "Module32First",
                                       "Module32Next", nullptr, visitor, context);
  }
  HMODULE psapi = process_status_.Get();
  auto enumerate = FindFunction<decltype(::EnumProcessModules)>(psapi, "EnumProcessModules");
  if (enumerate == nullptr) return 0;
  HMODULE modules[kMaxListed] = {};
  DWORD bytes = 0;
  const BOOL listed = enumerate(GetCurrentProcess(), modules, sizeof modules, &bytes);
  if (!listed) return 0;
  auto base_name = FindFunction<decltype(::GetModuleBaseNameA)>(psapi, "GetModuleBaseNameA");
  auto information = FindFunction<decltype(::GetModuleInformation)>(psapi, "GetModuleInformation");
  DWORD count = bytes / sizeof(HMODULE);
  if (count > kMaxListed) count = kMaxListed;
  for (DWORD i = 0; i < count; ++i) {
    MODULEENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    entry.th32ProcessID = GetCurrentProcessId();
    entry.hModule = modules[i];
    GetModuleFileNameA(modules[i], entry.szExePath, sizeof entry.szExePath);
    entry.szExePath[sizeof entry.szExePath - 1] = '\0';  // XP leaves a full buffer unterminated
    if (base_name != nullptr) {
      base_name(GetCurrentProcess(), modules[i], entry.szModule, sizeof entry.szModule - 1);
    }
    MODULEINFO info;
    std::memset(&info, 0, sizeof info);
    if (information != nullptr && information(GetCurrentProcess(), modules[i], &info, sizeof info)) {
      entry.modBaseAddr = static_cast<BYTE*>(info.lpBaseOfDll);
      entry.modBaseSize = info.SizeOfImage;
    }
    visitor(*this, entry, context);
  }
  return listed;
}

int CrashReportWriter::ForEachProcess(Visitor<PROCESSENTRY32> visitor, void* context) noexcept {
  if (visitor == nullptr) return 0;
  if (snapshot_.IsOpen()) {
    return WalkSnapshot<PROCESSENTRY32>(*this, snapshot_.Get(), kernel_.Get(), "Process32First",
                                        "Process32Next", nullptr, visitor, context);
  }
  HMODULE psapi = process_status_.Get();
  auto enumerate = FindFunction<decltype(::EnumProcesses)>(psapi, "EnumProcesses");
  if (enumerate == nullptr) return 0;
  DWORD processes[kMaxListed] = {};
  DWORD bytes = 0;
  const BOOL listed = enumerate(processes, sizeof processes, &bytes);
  if (!listed) return 0;
  auto modules = FindFunction<decltype(::EnumProcessModules)>(psapi, "EnumProcessModules");
  auto base_name = FindFunction<decltype(::GetModuleBaseNameA)>(psapi, "GetModuleBaseNameA");
  DWORD count = bytes / sizeof(DWORD);
  if (count > kMaxListed) count = kMaxListed;
  for (DWORD i = 0; i < count; ++i) {
    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    entry.th32ProcessID = processes[i];
    KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processes[i]));
    HMODULE executable = nullptr;
    DWORD needed = 0;
    // Room for one handle: the first module listed is the executable.
    if (process.IsOpen() && modules != nullptr && base_name != nullptr &&
        modules(process.Get(), &executable, sizeof executable, &needed)) {
      base_name(process.Get(), executable, entry.szExeFile, sizeof entry.szExeFile - 1);
    }
    process.Close();
    visitor(*this, entry, context);
  }
  return listed;
}

// The running thread is captured by hand: GetThreadContext on the calling thread gives no
// usable registers. The frame pointer is kept in this function so that the saved Ebp at
// (%ebp) is the caller's frame.
__attribute__((noinline, optimize("no-omit-frame-pointer")))
bool CrashReportWriter::CaptureThreadContext(DWORD thread_id, CONTEXT* context) noexcept {
  if (context == nullptr) return false;
  if (thread_id == 0 || thread_id == GetCurrentThreadId()) {
    CONTEXT captured;
    std::memset(&captured, 0, sizeof captured);
    CONTEXT* target = &captured;
    __asm__ volatile(
        "movl %%ebx, %c[ebx](%[target])\n\t"
        "movl %%ecx, %c[ecx](%[target])\n\t"
        "movl %%edx, %c[edx](%[target])\n\t"
        "movl %%esi, %c[esi](%[target])\n\t"
        "movl %%edi, %c[edi](%[target])\n\t"
        "movl %%esp, %c[esp](%[target])\n\t"
        "movl (%%ebp), %%eax\n\t"
        "movl %%eax, %c[ebp](%[target])\n\t"
        "call 1f\n"
        "1:\n\t"
        "popl %%eax\n\t"
        "movl %%eax, %c[eip](%[target])\n\t"
        "movl %%eax, %c[eax](%[target])\n\t"
        "movw %%cs, %c[cs](%[target])\n\t"
        "movw %%ss, %c[ss](%[target])\n\t"
        "movw %%ds, %c[ds](%[target])\n\t"
        "movw %%es, %c[es](%[target])\n\t"
        "movw %%fs, %c[fs](%[target])\n\t"
        "movw %%gs, %c[gs](%[target])\n\t"
        :
        : [target] "r"(target), [eax] "i"(offsetof(CONTEXT, Eax)), [ebx] "i"(offsetof(CONTEXT, Ebx)),
          [ecx] "i"(offsetof(CONTEXT, Ecx)), [edx] "i"(offsetof(CONTEXT, Edx)),
          [esi] "i"(offsetof(CONTEXT, Esi)), [edi] "i"(offsetof(CONTEXT, Edi)),
          [esp] "i"(offsetof(CONTEXT, Esp)), [ebp] "i"(offsetof(CONTEXT, Ebp)),
          [eip] "i"(offsetof(CONTEXT, Eip)), [cs] "i"(offsetof(CONTEXT, SegCs)),
          [ss] "i"(offsetof(CONTEXT, SegSs)), [ds] "i"(offsetof(CONTEXT, SegDs)),
          [es] "i"(offsetof(CONTEXT, SegEs)), [fs] "i"(offsetof(CONTEXT, SegFs)),
          [gs] "i"(offsetof(CONTEXT, SegGs))
        : "eax", "memory");
    std::memcpy(context, &captured, sizeof captured);
    return true;
  }
  auto open_thread = FindFunction<decltype(::OpenThread)>(kernel_.Get(), "OpenThread");
  if (open_thread == nullptr) return false;
  KernelHandle thread(open_thread(THREAD_GET_CONTEXT, FALSE, thread_id));
  if (!thread.IsOpen()) return false;
  CONTEXT read;
  std::memset(&read, 0, sizeof read);
  read.ContextFlags = CONTEXT_FULL;
  const BOOL ok = GetThreadContext(thread.Get(), &read);
  thread.Close();
  if (ok) std::memcpy(context, &read, sizeof read);
  return ok != FALSE;
}

bool CrashReportWriter::WriteMiniDump(const char* file_name, DWORD dump_type,
                                      EXCEPTION_POINTERS* pointers, DWORD thread_id) noexcept {
  PrepareInspection();
  auto write_dump = FindFunction<decltype(::MiniDumpWriteDump)>(debug_help_.Get(), "MiniDumpWriteDump");
  if (write_dump == nullptr || file_name == nullptr) return false;
  KernelHandle file(CreateFileA(file_name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                                nullptr));
  if (!file.IsOpen()) return false;
  MINIDUMP_EXCEPTION_INFORMATION exception;
  std::memset(&exception, 0, sizeof exception);
  exception.ThreadId = thread_id;
  exception.ExceptionPointers = pointers;
  exception.ClientPointers = FALSE;
  const BOOL written =
      write_dump(GetCurrentProcess(), GetCurrentProcessId(), file.Get(),
                 static_cast<MINIDUMP_TYPE>(dump_type), pointers != nullptr ? &exception : nullptr,
                 nullptr, nullptr);
  file.Close();
  return written != FALSE;
}

void CrashReportWriter::BorrowLibraries(HMODULE kernel, HMODULE process_status, HMODULE debug_help) noexcept {
  ReleaseInspection();
  kernel_.Reset(kernel);
  process_status_.Reset(process_status);
  debug_help_.Reset(debug_help);
  borrowed_[0] = kernel;
  borrowed_[1] = process_status;
  borrowed_[2] = debug_help;
}

void CrashReportWriter::ReleaseInspection() noexcept {
  if (debug_help_.IsOpen()) {
    ForEachModule(UnregisterModule, nullptr);
    if (auto cleanup = FindFunction<decltype(::SymCleanup)>(debug_help_.Get(), "SymCleanup")) {
      cleanup(GetCurrentProcess());
    }
  }
  snapshot_.Close();
  LibraryHandle* const libraries[] = {&kernel_, &process_status_, &debug_help_};
  for (std::size_t i = 0; i < sizeof borrowed_ / sizeof borrowed_[0]; ++i) {
    if (libraries[i]->IsOpen() && libraries[i]->Get() == borrowed_[i]) {
      libraries[i]->Detach();
    } else {
      libraries[i]->Close();
    }
    borrowed_[i] = nullptr;
  }
}
