#include "crashlog/crashhandler.h"

#include <shlobj.h>

#include <cstdint>
#include <cstring>

#include "crashlog/crashreport.h"
#include "crashlog/emergencyreport.h"
#include "crashlog/moduletable.h"
#include "platform/handles.h"
#include "platform/pathtext.h"
#include "text/mbtext.h"

std::atomic<CrashHandler*> ActiveCrashHandler{nullptr};

namespace {

// xor eax, eax; ret 4: SetUnhandledExceptionFilter then returns null and changes nothing.
const unsigned char kFilterPatch[5] = {0x33, 0xC0, 0xC2, 0x04, 0x00};
constexpr DWORD kParkPollMs = 10;

// The crashing thread whose report is running (0: none). An atomic, not a lock: a thread that
// crashed holding any lock must not stop another's report.
std::atomic<DWORD> g_reporting_thread{0};

// Filled once (normally by the constructor, under the loader lock), then only read. The state
// (0 empty, 1 being written, 2 ready) publishes the text: a thread that sees 2 sees the whole name.
char g_application_name[MAX_PATH];
std::atomic<int> g_application_name_state{0};

// The first code bytes of a module's SetUnhandledExceptionFilter, which the lock patches.
unsigned char* FilterEntry(const char* module_name) {
  HMODULE module = GetModuleHandleA(module_name);
  if (module == nullptr) return nullptr;
  auto* const entry = FindFunction<decltype(::SetUnhandledExceptionFilter)>(module, "SetUnhandledExceptionFilter");
  if (entry == nullptr) return nullptr;
  unsigned char* code = reinterpret_cast<unsigned char*>(reinterpret_cast<std::uintptr_t>(entry));
  return IsBadReadPtr(code, sizeof kFilterPatch) ? nullptr : code;
}

// Patches one entry, or puts its saved bytes back: each only when the bytes found there are
// the ones expected, so another copy of the handler or a later hook is never overwritten.
void LockEntry(unsigned char* entry, unsigned char* saved, bool* patched, bool restore) {
  if (entry == nullptr) return;
  unsigned char bytes[sizeof kFilterPatch];
  if (restore) {
    if (!*patched || std::memcmp(entry, kFilterPatch, sizeof kFilterPatch) != 0) return;
    std::memcpy(bytes, saved, sizeof bytes);
  } else {
    // Patched already: another copy of this handler holds the lock and will undo it.
    if (*patched || std::memcmp(entry, kFilterPatch, sizeof kFilterPatch) == 0) return;
    std::memcpy(saved, entry, sizeof kFilterPatch);
    std::memcpy(bytes, kFilterPatch, sizeof bytes);
  }
  DWORD old_protection = 0;
  if (!VirtualProtect(entry, sizeof bytes, PAGE_EXECUTE_READWRITE, &old_protection)) return;
  if (!IsBadWritePtr(entry, sizeof bytes)) {
    std::memcpy(entry, bytes, sizeof bytes);
    FlushInstructionCache(GetCurrentProcess(), entry, sizeof bytes);
    *patched = !restore;
  }
  VirtualProtect(entry, sizeof bytes, old_protection, &old_protection);
}

// Whether a filter's code is still there to be called: inside a loaded module, or in committed
// executable memory of no module (generated code). A filter whose module was unloaded is not.
bool FilterCodeIsLoaded(LPTOP_LEVEL_EXCEPTION_FILTER filter) {
  const auto* code = reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(filter));
  HMODULE module = nullptr;
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         code, &module)) {
    return true;
  }
  MEMORY_BASIC_INFORMATION region;
  std::memset(&region, 0, sizeof region);
  if (VirtualQuery(code, &region, sizeof region) == 0 || region.State != MEM_COMMIT) return false;
  const DWORD executable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  return (region.Protect & executable) != 0;
}

}  // namespace

// Runs as a static object of the module, before DllMain, with the loader lock held: it registers
// the filter, writes the patch, and asks the shell for the application-data folder, which loads
// and runs code of other modules under that lock (as every module's static constructors may).
CrashHandler::CrashHandler() noexcept {
  std::memset(report_folder_, 0, sizeof report_folder_);
  std::memset(saved_entry_, 0, sizeof saved_entry_);
  std::memset(saved_base_entry_, 0, sizeof saved_base_entry_);
  previous_filter_ = SetUnhandledExceptionFilter(CrashFilter);
  ActiveCrashHandler.store(this);
  LockFilter(false);

  // CSIDL_FLAG_CREATE: a fresh profile gets its application-data folder made here.
  char app_data[MAX_PATH];
  std::memset(app_data, 0, sizeof app_data);
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, app_data))) {
    std::memset(app_data, 0, sizeof app_data);
  }
  app_data[sizeof app_data - 1] = '\0';
  ComposeReportFolder(app_data, GetApplicationName(), report_folder_, sizeof report_folder_);

  // What a crash must not have to do itself, made now: the worker and its libraries, the
  // module table and the emergency report's folder and options.
  worker_.Start();
  StartModuleTable(worker_.ProcessStatusLibrary());
  PrepareEmergencyReport(report_folder_);
}

CrashHandler::~CrashHandler() {
  LockFilter(true);
  // The filter from before goes back even when it was none: this module's filter must not
  // outlive its code. Nor may a filter whose own module was unloaded meanwhile (it could not
  // take itself back while the lock held): none is registered then. A filter someone else
  // registered meanwhile (possible only when the patch could not be applied) is left in place.
  LPTOP_LEVEL_EXCEPTION_FILTER restore = previous_filter_;
  if (restore != nullptr && !FilterCodeIsLoaded(restore)) restore = nullptr;
  LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(restore);
  if (current != CrashFilter && current != nullptr) SetUnhandledExceptionFilter(current);
  CrashHandler* self = this;
  ActiveCrashHandler.compare_exchange_strong(self, nullptr);
  StopModuleTable();
  worker_.Stop();
}

// kernel32's entry, and KernelBase's where kernel32 forwards to it (current Windows and Wine):
// a caller that goes to KernelBase directly is held off too.
void CrashHandler::LockFilter(bool restore) noexcept {
  unsigned char* kernel_entry = FilterEntry("kernel32.dll");
  unsigned char* base_entry = FilterEntry("kernelbase.dll");
  if (base_entry == kernel_entry) base_entry = nullptr;
  LockEntry(kernel_entry, saved_entry_, &entry_patched_, restore);
  LockEntry(base_entry, saved_base_entry_, &base_entry_patched_, restore);
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* pointers) {
  CrashHandler* handler = ActiveCrashHandler.load();
  if (handler == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  return HandleCrash(handler, pointers);
}

bool HoldsLoaderLock(DWORD thread_id) noexcept {
  static_assert(sizeof(void*) == 4, "the PEB offset below is the 32-bit one");
  // PEB.LoaderLock: the loader's critical section, at offset 0xA0 of the 32-bit PEB (Windows
  // and Wine alike).
  const BYTE* peb = nullptr;
  __asm__("movl %%fs:0x30, %0" : "=r"(peb));  // TEB.ProcessEnvironmentBlock
  if (peb == nullptr || IsBadReadPtr(peb + 0xA0, sizeof(void*))) return false;
  const RTL_CRITICAL_SECTION* lock = *reinterpret_cast<RTL_CRITICAL_SECTION* const*>(peb + 0xA0);
  if (lock == nullptr || IsBadReadPtr(lock, sizeof *lock)) return false;
  return lock->RecursionCount > 0 &&
         static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(lock->OwningThread)) == thread_id;
}

LONG HandleCrash(CrashHandler* handler, EXCEPTION_POINTERS* pointers) noexcept {
  const DWORD self = GetCurrentThreadId();
  // The report itself crashed on the worker: the waiting thread takes over.
  if (handler != nullptr && self == handler->Worker().ThreadId()) handler->Worker().Failed();
  // Crashed again while writing its own report in place: waiting would be waiting for itself.
  if (self == g_reporting_thread.load()) return EXCEPTION_CONTINUE_SEARCH;
  DWORD idle = 0;
  if (!g_reporting_thread.compare_exchange_strong(idle, self)) {
    // Another thread's report is running and the process ends with that crash. Returning at
    // once would end it before the report is complete; writing a second report would rotate
    // the first away half-written. So wait, then leave the files alone.
    while (g_reporting_thread.load() != 0) Sleep(kParkPollMs);
    return EXCEPTION_CONTINUE_SEARCH;
  }
  if (handler != nullptr) {
    const char* emergency = nullptr;
    bool rotated = false;
    if (HoldsLoaderLock(self)) {
      emergency = "the crashing thread holds the loader lock";
    } else if (handler->Worker().IsRunning()) {
      emergency = handler->Worker().Write(handler->ReportFolder(), pointers, self, &rotated);
    } else {
      WriteCrashReport(handler->ReportFolder(), pointers, self);
    }
    if (emergency != nullptr) WriteEmergencyReport(pointers, self, emergency, !rotated);
  }
  g_reporting_thread.store(0);
  // After a stack overflow the system's own handling has too little stack left to run on (under
  // Wine it overflows again and the process hangs for good): the process ends here, with the
  // exception's code, as the system would end it.
  if (pointers != nullptr && pointers->ExceptionRecord != nullptr &&
      pointers->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
    TerminateProcess(GetCurrentProcess(), EXCEPTION_STACK_OVERFLOW);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI CrashReportThread(void* parameter) {
  const CrashThreadParams* params = static_cast<const CrashThreadParams*>(parameter);
  if (params != nullptr && params->handler != nullptr) {
    WriteCrashReport(params->handler->ReportFolder(), params->pointers, params->thread_id);
  }
  return 0;
}

void ApplicationNameFromEnvironment(const char* executable_path, char* name, std::size_t size) noexcept {
  if (name == nullptr || size == 0) return;
  std::memset(name, 0, size);
  const char* file = executable_path != nullptr ? executable_path : "";
  if (const char* backslash = MbFindLastChar(file, '\\')) {
    file = backslash + 1;
  } else if (const char* slash = MbFindLastChar(file, '/')) {
    file = slash + 1;
  }
  const DWORD length = (*file != '\0') ? GetEnvironmentVariableA(file, name, static_cast<DWORD>(size)) : 0;
  // A value that does not fit comes back as its size, the buffer undefined: it counts as unset.
  if (length == 0 || length >= size) {
    std::memset(name, 0, size);
    BoundedCopy(name, "Brisola", size);
  }
}

const char* GetApplicationName() noexcept {
  if (g_application_name_state.load(std::memory_order_acquire) == 2) return g_application_name;
  char path[MAX_PATH];
  std::memset(path, 0, sizeof path);
  // A path that fills the buffer was cut (and XP leaves it unterminated): no name to look up.
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) std::memset(path, 0, sizeof path);
  char name[MAX_PATH];
  ApplicationNameFromEnvironment(path, name, sizeof name);
  // One writer; a racing first caller waits the few instructions of the copy.
  int empty = 0;
  if (g_application_name_state.compare_exchange_strong(empty, 1, std::memory_order_acquire)) {
    std::memcpy(g_application_name, name, sizeof g_application_name);
    g_application_name_state.store(2, std::memory_order_release);
  } else {
    while (g_application_name_state.load(std::memory_order_acquire) != 2) Sleep(0);
  }
  return g_application_name;
}

void AppendPathComponent(ByteString& path, const char* component) {
  if (component == nullptr) return;
  if (!(component[0] == '\\' && component[1] == '\\')) {
    while (*component == '\\') ++component;
  }
  if (*component == '\0') return;
  if (HasDriveOrUncPrefix(component) || path.IsEmpty()) {
    path.Assign(component);
    return;
  }
  if (!EndsWithBackslash(path.CStr())) path.Append('\\');
  path.Append(component);
}

void ComposeReportFolder(const char* app_data, const char* application_name, char* folder,
                         std::size_t size) noexcept {
  if (folder == nullptr || size == 0) return;
  ByteString path(app_data);
  AppendPathComponent(path, "Zell");
  AppendPathComponent(path, application_name);
  if (!EndsWithBackslash(path.CStr())) path.Append('\\');
  std::memset(folder, 0, size);
  BoundedCopy(folder, path.CStr(), size);
}
