// The report file, the write primitive and the report's sections apart from the call stack:
// header, process, system, exception, modules and threads, and the block of every thread.
#include "crashlog/crashreportwriter.h"

#include <psapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "text/mbtext.h"

static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");
static_assert(sizeof(PROCESS_MEMORY_COUNTERS) == 40, "PROCESS_MEMORY_COUNTERS is 40 bytes");

namespace {

constexpr DWORD kAccessViolation = 0xC0000005;

// printf into a zero-filled buffer, always terminated, cut to the buffer.
void FormatInto(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(ms_printf, 3, 4)));
void FormatInto(char* buffer, std::size_t size, const char* format, ...) {
  if (buffer == nullptr || size == 0) return;
  std::memset(buffer, 0, size);
  va_list args;
  va_start(args, format);
  _vsnprintf(buffer, size - 1, format, args);
  va_end(args);
}

// Length of the longest run of whole characters of the text that fits in limit bytes.
std::size_t WholeCharactersWithin(const char* text, std::size_t limit) {
  const char* p = text;
  while (*p != '\0') {
    const char* next = MbNext(p);
    if (static_cast<std::size_t>(next - text) > limit) break;
    p = next;
  }
  return static_cast<std::size_t>(p - text);
}

bool EndsWithLineEnd(const char* text) {
  const std::size_t length = std::strlen(text);
  return length >= 2 && text[length - 2] == '\r' && text[length - 1] == '\n';
}

void PrintProcessName(CrashReportWriter& writer, const PROCESSENTRY32& process, void*) {
  writer.Print("%s\r\n", process.szExeFile);
}

void PrintModule(CrashReportWriter& writer, const MODULEENTRY32& module, void*) {
  char version[128];
  ReadFileVersion(module.szExePath, version, sizeof version);
  writer.Print("%-20lu%-20lu%-20lu%08lX%-12s%s (%s)\r\n", module.GlblcntUsage, module.ProccntUsage,
               module.modBaseSize, static_cast<unsigned long>(reinterpret_cast<std::size_t>(module.modBaseAddr)),
               "", module.szExePath, version);
}

void PrintThread(CrashReportWriter& writer, const THREADENTRY32& thread, void*) {
  writer.Print("%-20lu%-20ld%-20ld%-20lu\r\n", thread.th32ThreadID, thread.tpBasePri + thread.tpDeltaPri,
               thread.tpBasePri, thread.cntUsage);
}

void PrintThreadStack(CrashReportWriter& writer, const THREADENTRY32& thread, void*) {
  CONTEXT context;
  std::memset(&context, 0, sizeof context);
  if (!writer.CaptureThreadContext(thread.th32ThreadID, &context)) return;
  writer.Print("[ThreadId: %lu] \r\n", thread.th32ThreadID != 0 ? thread.th32ThreadID : GetCurrentThreadId());
  writer.WriteCallStack(&context);
  writer.Print("\r\n");
  writer.WriteRegisters(&context);
  writer.Print("\r\n");
}

}  // namespace

void ReadFileVersion(const char* path, char* version, std::size_t version_size) noexcept {
  if (version == nullptr || version_size == 0) return;
  std::memset(version, 0, version_size);
  if (path == nullptr) return;
  // Only the fixed block at the start of the resource is read: a resource cut at 2,048 bytes
  // still holds it.
  alignas(DWORD) char data[2048] = {};
  if (!GetFileVersionInfoA(path, 0, sizeof data, data)) return;
  void* block = nullptr;
  UINT block_size = 0;
  if (!VerQueryValueA(data, "\\", &block, &block_size) || block == nullptr ||
      block_size < sizeof(VS_FIXEDFILEINFO)) {
    return;
  }
  const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(block);
  FormatInto(version, version_size, "%lu.%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(info->dwFileVersionMS)),
             static_cast<unsigned long>(LOWORD(info->dwFileVersionMS)),
             static_cast<unsigned long>(HIWORD(info->dwFileVersionLS)),
             static_cast<unsigned long>(LOWORD(info->dwFileVersionLS)));
}

void DescribeOperatingSystem(const OSVERSIONINFOA& info, const char** name, const char** additional,
                             char* version, std::size_t version_size) noexcept {
  const char* os_name = "";
  const char* os_additional = "";
  if (version != nullptr && version_size > 0) std::memset(version, 0, version_size);
  const DWORD major = info.dwMajorVersion;
  const DWORD minor = info.dwMinorVersion;
  const char* service_pack = info.szCSDVersion;
  if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    if (major == 4 && minor == 0) os_name = "Windows NT 4.0";
    if (major == 5 && minor == 0) os_name = "Windows 2000";
    if (major == 5 && minor == 1) os_name = "Windows XP";
    os_additional = service_pack;
    FormatInto(version, version_size, "%lu.%lu.%lu", major, minor, info.dwBuildNumber);
  } else if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    if (major == 4 && minor == 0) {
      os_name = "Windows 95";
      if (std::strcmp(service_pack, " C ") == 0) os_additional = "OSR2";
    }
    if (major == 4 && minor == 10) {
      os_name = "Windows 98";
      if (std::strcmp(service_pack, " A ") == 0) os_additional = "Second Edition";
    }
    if (major == 4 && minor == 90) os_name = "Windows Me";
    FormatInto(version, version_size, "%lu.%lu.%hu %s", major, minor,
               static_cast<unsigned short>(LOWORD(info.dwBuildNumber)), service_pack);
  }
  if (name != nullptr) *name = os_name;
  if (additional != nullptr) *additional = os_additional;
}

const char* CrashReportWriter::ExceptionName(DWORD code) noexcept {
  switch (code) {
    case 0x80000001: return "EXCEPTION_GUARD_PAGE";
    case 0x80000002: return "EXCEPTION_DATATYPE_MISALIGNMENT";
    case 0x80000003: return "EXCEPTION_BREAKPOINT";
    case 0x80000004: return "EXCEPTION_SINGLE_STEP";
    case 0xC0000005: return "EXCEPTION_ACCESS_VIOLATION";
    case 0xC0000006: return "EXCEPTION_IN_PAGE_ERROR";
    case 0xC0000008: return "EXCEPTION_INVALID_HANDLE";
    case 0xC000001D: return "EXCEPTION_ILLEGAL_INSTRUCTION";
    case 0xC0000025: return "EXCEPTION_NONCONTINUABLE_EXCEPTION";
    case 0xC0000026: return "EXCEPTION_INVALID_DISPOSITION";
    case 0xC000008C: return "EXCEPTION_ARRAY_BOUNDS_EXCEEDED";
    case 0xC000008D: return "EXCEPTION_FLT_DENORMAL_OPERAND";
    case 0xC000008E: return "EXCEPTION_FLT_DIVIDE_BY_ZERO";
    case 0xC000008F: return "EXCEPTION_FLT_INEXACT_RESULT";
    case 0xC0000090: return "EXCEPTION_FLT_INVALID_OPERATION";
    case 0xC0000091: return "EXCEPTION_FLT_OVERFLOW";
    case 0xC0000092: return "EXCEPTION_FLT_STACK_CHECK";
    case 0xC0000093: return "EXCEPTION_FLT_UNDERFLOW";
    case 0xC0000094: return "EXCEPTION_INT_DIVIDE_BY_ZERO";
    case 0xC0000095: return "EXCEPTION_INT_OVERFLOW";
    case 0xC0000096: return "EXCEPTION_PRIV_INSTRUCTION";
    case 0xC00000FD: return "EXCEPTION_STACK_OVERFLOW";
    default: return "EXCEPTION_UNKNOWN";
  }
}

bool CrashReportWriter::Open(const char* file_name) noexcept {
  report_file_.Close();
  if (file_name == nullptr) return false;
  report_file_.Reset(CreateFileA(file_name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
  if (!report_file_.IsOpen()) return false;
  SetFilePointer(report_file_.Get(), 0, nullptr, FILE_END);
  WriteHeader();
  return true;
}

void CrashReportWriter::Close() noexcept {
  ReleaseInspection();
  report_file_.Close();
}

bool CrashReportWriter::Print(const char* format, ...) noexcept {
  if (!report_file_.IsOpen() || format == nullptr) return false;
  char line[kLineSize];
  std::memset(line, 0, sizeof line);
  va_list args;
  va_start(args, format);
  // The C runtime's own formatter: it allocates nothing for these conversions and answers -1
  // when the text does not fit, leaving the zeroed last byte as terminator.
  const int formatted = _vsnprintf(line, sizeof line - 1, format, args);
  va_end(args);
  std::size_t length = std::strlen(line);
  if (formatted < 0 || static_cast<std::size_t>(formatted) > length) {
    // Cut: never in the middle of a double-byte character, and the line end kept so that the
    // next line starts on a line of its own.
    if (EndsWithLineEnd(format)) {
      length = WholeCharactersWithin(line, sizeof line - 3);
      line[length++] = '\r';
      line[length++] = '\n';
      line[length] = '\0';
    } else {
      length = WholeCharactersWithin(line, sizeof line - 1);
    }
  }
  if (length == 0) return false;
  DWORD written = 0;
  return WriteFile(report_file_.Get(), line, static_cast<DWORD>(length), &written, nullptr) != FALSE;
}

void CrashReportWriter::WriteHeader() noexcept {
  __time32_t now = _time32(nullptr);
  const struct tm* utc = _gmtime32(&now);
  if (utc == nullptr) return;
  char time_text[64];
  std::memset(time_text, 0, sizeof time_text);
  BoundedCopy(time_text, asctime(utc), sizeof time_text);
  const std::size_t length = std::strlen(time_text);
  if (length > 0 && time_text[length - 1] == '\n') time_text[length - 1] = '\0';
  Print("[Version: 1.0]\r\n\r\n");
  Print("Snapshot file creation time: %s (UTC)\r\n\r\n", time_text);
}

void CrashReportWriter::WriteProcessInfo() noexcept {
  PrepareInspection();
  Print("[Process Info]\r\n");
  Print("ProcessId: %lu\r\n", GetCurrentProcessId());
  char path[1024];
  std::memset(path, 0, sizeof path);
  GetModuleFileNameA(nullptr, path, sizeof path - 1);
  Print("Name: %s\r\n", path);
  char version[128];
  ReadFileVersion(path, version, sizeof version);
  Print("Version: %s\r\n", version);
  auto memory_info =
      FindFunction<decltype(::GetProcessMemoryInfo)>(process_status_.Get(), "GetProcessMemoryInfo");
  if (memory_info != nullptr) {
    PROCESS_MEMORY_COUNTERS counters;
    std::memset(&counters, 0, sizeof counters);
    if (memory_info(GetCurrentProcess(), &counters, sizeof counters)) {
      Print("WorkingSetSize: %lu Bytes\r\n", static_cast<unsigned long>(counters.WorkingSetSize));
      Print("PagefileUsage: %lu Bytes\r\n", static_cast<unsigned long>(counters.PagefileUsage));
    }
  }
  Print("\r\n");
}

void CrashReportWriter::WriteSystemInfo() noexcept {
  PrepareInspection();
  Print("[System Info]\r\n");
  OSVERSIONINFOA os;
  std::memset(&os, 0, sizeof os);
  os.dwOSVersionInfoSize = sizeof os;
  if (GetVersionExA(&os)) {
    const char* name = "";
    const char* additional = "";
    char version[256];
    DescribeOperatingSystem(os, &name, &additional, version, sizeof version);
    Print("Operating System: %s %s\r\n", name, additional);
    Print("Version: %s\r\n", version);
  }
  if (HDC screen = GetDC(nullptr)) {
    Print("Primary Monitor Resolution: %dx%d %d-Bit Color\r\n", GetDeviceCaps(screen, HORZRES),
          GetDeviceCaps(screen, VERTRES), GetDeviceCaps(screen, BITSPIXEL));
    ReleaseDC(nullptr, screen);
  }
  MEMORYSTATUS memory;
  std::memset(&memory, 0, sizeof memory);
  memory.dwLength = sizeof memory;
  GlobalMemoryStatus(&memory);
  Print("Total Physical RAM: %lu Bytes\r\n", static_cast<unsigned long>(memory.dwTotalPhys));
  Print("Free Physical RAM: %lu Bytes\r\n", static_cast<unsigned long>(memory.dwAvailPhys));
  Print("Pagefile Commit Limit: %lu Bytes\r\n", static_cast<unsigned long>(memory.dwTotalPageFile));
  Print("Pagefile Commit Available: %lu Bytes\r\n", static_cast<unsigned long>(memory.dwAvailPageFile));
  Print("Task List:\r\n");
  ForEachProcess(PrintProcessName, nullptr);
  Print("\r\n");
}

void CrashReportWriter::WriteException(const EXCEPTION_POINTERS* pointers, DWORD thread_id) noexcept {
  if (pointers == nullptr || pointers->ExceptionRecord == nullptr) return;
  PrepareInspection();
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  Print("[Exception]\r\n");
  Print("Exception Type: %s\r\n", ExceptionName(record->ExceptionCode));
  Print("Exception Address: %08lX\r\n",
        static_cast<unsigned long>(reinterpret_cast<std::size_t>(record->ExceptionAddress)));
  // A record raised by hand may carry no parameters; its array then holds stale bytes.
  if (record->ExceptionCode == kAccessViolation && record->NumberParameters >= 2) {
    Print("Attempted %s at address: %08lX\r\n", record->ExceptionInformation[0] != 0 ? "write" : "read",
          static_cast<unsigned long>(record->ExceptionInformation[1]));
  }
  Print("ThreadId: %lu\r\n", thread_id != 0 ? thread_id : GetCurrentThreadId());
  Print("Thread Callstack: \r\n");
  WriteCallStack(pointers->ContextRecord);
  Print("\r\n");
}

void CrashReportWriter::WriteModules() noexcept {
  PrepareInspection();
  Print("[Modules]\r\n%-20s%-20s%-20s%-20s%-20s\r\n", "GlobalRefCount", "ProcessRefCount", "ModuleSize",
        "BaseAddress", "ModulePath");
  if (ForEachModule(PrintModule, nullptr)) Print("\r\n");
}

void CrashReportWriter::WriteThreads() noexcept {
  PrepareInspection();
  Print("[Threads]\r\n%-20s%-20s%-20s%-20s\r\n", "ThreadId", "Priority", "BasePriority", "RefCount");
  if (ForEachThread(PrintThread, nullptr)) Print("\r\n");
}

void CrashReportWriter::WriteAllThreadStacks() noexcept {
  PrepareInspection();
  ForEachThread(PrintThreadStack, nullptr);
}
