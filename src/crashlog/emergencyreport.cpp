#include "crashlog/emergencyreport.h"

#include <winternl.h>

#include <cstring>
#include <initializer_list>

#include "crashlog/crashreport.h"
#include "crashlog/crashreportwriter.h"
#include "crashlog/moduletable.h"
#include "platform/handles.h"
#include "text/mbtext.h"

namespace {

// The native file calls (ntdll), looked up at load: GetProcAddress takes the loader lock.
using CreateFileCall = LONG NTAPI(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, LARGE_INTEGER*,
                                  ULONG, ULONG, ULONG, ULONG, void*, ULONG);
using WriteFileCall = LONG NTAPI(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*, const void*, ULONG,
                                 LARGE_INTEGER*, ULONG*);
using SetInformationCall = LONG NTAPI(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
using CloseCall = LONG NTAPI(HANDLE);
CreateFileCall* g_create_file = nullptr;
WriteFileCall* g_write_file = nullptr;
SetInformationCall* g_set_information = nullptr;
CloseCall* g_close = nullptr;

constexpr ULONG kOpen = 1;        // FILE_OPEN
constexpr ULONG kOpenIf = 3;      // FILE_OPEN_IF
constexpr ULONG kDirectory = 0x1;       // FILE_DIRECTORY_FILE
constexpr ULONG kSynchronous = 0x20;    // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kNotDirectory = 0x40;   // FILE_NON_DIRECTORY_FILE
constexpr ULONG kCaseInsensitive = 0x40;  // OBJ_CASE_INSENSITIVE
constexpr ULONG kRenameInformation = 10;
constexpr ULONG kDispositionInformation = 13;
constexpr DWORD kAccessViolation = 0xC0000005;

// The "ErrorLogs" folder as a native path ("\??\C:\...\ErrorLogs\"), and where its first
// folder below the volume's root begins.
constexpr std::size_t kPathChars = 1200;
wchar_t g_folder[kPathChars];
std::size_t g_folder_length = 0;
std::size_t g_first_folder = 0;
unsigned long g_report_count = 1;

// Report text and native names, reserved here: the crash path allocates nothing.
char g_text[64 * 1024];
std::size_t g_text_length = 0;
wchar_t g_name[kPathChars + 32];
wchar_t g_other_name[kPathChars + 32];
alignas(8) unsigned char g_rename[sizeof(HANDLE) * 4 + (kPathChars + 32) * sizeof(wchar_t)];

// ---- text, without the C runtime ----

void Append(const char* text) {
  while (text != nullptr && *text != '\0' && g_text_length < sizeof g_text) g_text[g_text_length++] = *text++;
}

void AppendHex(DWORD value) {
  char digits[9] = {};
  for (int i = 7; i >= 0; --i) {
    digits[i] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  }
  Append(digits);
}

void AppendDecimal(unsigned long value, int width = 0, char pad = ' ') {
  char digits[12] = {};
  int at = 11;
  do {
    digits[--at] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && at > 0);
  while (11 - at < width && at > 0) digits[--at] = pad;
  Append(digits + at);
}

// "address module+offset", or the address alone where no listed module holds it.
void AppendLocated(DWORD address) {
  AppendHex(address);
  const char* name = nullptr;
  DWORD offset = 0;
  if (FindListedModule(address, &name, &offset)) {
    Append(" ");
    Append(name);
    Append("+");
    AppendHex(offset);
  }
  Append("\r\n");
}

// The report header's time, as asctime gives it, from the system clock.
void AppendHeader() {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  SYSTEMTIME now;
  std::memset(&now, 0, sizeof now);
  GetSystemTime(&now);
  Append("[Version: 1.0]\r\n\r\n");
  Append("Snapshot file creation time: ");
  Append(kDays[now.wDayOfWeek % 7]);
  Append(" ");
  Append(kMonths[(now.wMonth + 11) % 12]);
  AppendDecimal(now.wDay, 3);
  Append(" ");
  AppendDecimal(now.wHour, 2, '0');
  Append(":");
  AppendDecimal(now.wMinute, 2, '0');
  Append(":");
  AppendDecimal(now.wSecond, 2, '0');
  Append(" ");
  AppendDecimal(now.wYear);
  Append(" (UTC)\r\n\r\n");
}

void AppendRegisters(const CONTEXT& context) {
  const struct {
    const char* name;
    DWORD value;
  } lines[][6] = {
      {{"EAX=", context.Eax}, {" EBX=", context.Ebx}, {" ECX=", context.Ecx}, {" EDX=", context.Edx},
       {" ESI=", context.Esi}, {" EDI=", context.Edi}},
      {{"EIP=", context.Eip}, {" ESP=", context.Esp}, {" EBP=", context.Ebp}, {nullptr, 0}, {nullptr, 0},
       {nullptr, 0}},
      {{"CS=", context.SegCs}, {" SS=", context.SegSs}, {" DS=", context.SegDs}, {" ES=", context.SegEs},
       {" FS=", context.SegFs}, {" GS=", context.SegGs}},
      {{"EFL=", context.EFlags}, {nullptr, 0}, {nullptr, 0}, {nullptr, 0}, {nullptr, 0}, {nullptr, 0}},
  };
  Append("Registers:\r\n");
  for (std::size_t line = 0; line < sizeof lines / sizeof lines[0]; ++line) {
    for (const auto& entry : lines[line]) {
      if (entry.name == nullptr) break;
      Append(entry.name);
      AppendHex(entry.value);
    }
    // The first line ends in a space, as the full report's does.
    Append(line == 0 ? " \r\n" : "\r\n");
  }
}

// Whether the bytes before an address in a listed module end in a call instruction: E8 rel32,
// or FF /2 through a register or memory operand of 2, 3, 6 or 7 bytes.
bool FollowsACall(DWORD address) {
  const char* name = nullptr;
  DWORD offset = 0;
  if (!FindListedModule(address, &name, &offset) || offset < 7) return false;
  const auto* code = reinterpret_cast<const unsigned char*>(static_cast<std::size_t>(address));
  if (IsBadReadPtr(code - 7, 7)) return false;
  if (code[-5] == 0xE8) return true;
  for (int length : {2, 3, 6, 7}) {
    if (code[-length] == 0xFF && (code[1 - length] & 0x38) == 0x10) return true;
  }
  return false;
}

// The instruction pointer, then the return addresses found on the crashing thread's stack.
void AppendRawStack(const CONTEXT& context) {
  Append("Thread Callstack (raw, return addresses found on the stack): \r\n");
  AppendLocated(context.Eip);
  const NT_TIB* tib = nullptr;
  __asm__("movl %%fs:0x18, %0" : "=r"(tib));  // NT_TIB.Self of the current thread
  DWORD at = context.Esp & ~3u;
  const DWORD base = static_cast<DWORD>(reinterpret_cast<std::size_t>(tib->StackBase));
  const DWORD limit = static_cast<DWORD>(reinterpret_cast<std::size_t>(tib->StackLimit));
  if (at < limit || at >= base) return;
  std::size_t lines = 0;
  unsigned long left_out = 0;
  for (; at + 4 <= base; at += 4) {
    const DWORD value = *reinterpret_cast<const DWORD*>(static_cast<std::size_t>(at));
    if (!FollowsACall(value)) continue;
    if (lines < kEmergencyStackLines) {
      AppendLocated(value);
      ++lines;
    } else {
      ++left_out;
    }
  }
  if (left_out > 0) {
    AppendDecimal(left_out);
    Append(" more frames left out\r\n");
  }
}

// ---- files, through the native calls ----

void InitAttributes(OBJECT_ATTRIBUTES* attributes, UNICODE_STRING* name, const wchar_t* path) {
  std::size_t length = 0;
  while (path[length] != 0) ++length;
  name->Buffer = const_cast<wchar_t*>(path);
  name->Length = static_cast<USHORT>(length * sizeof(wchar_t));
  name->MaximumLength = name->Length;
  std::memset(attributes, 0, sizeof *attributes);
  attributes->Length = sizeof *attributes;
  attributes->ObjectName = name;
  attributes->Attributes = kCaseInsensitive;
}

HANDLE OpenPath(const wchar_t* path, ACCESS_MASK access, ULONG disposition, ULONG options, ULONG share) {
  UNICODE_STRING name;
  OBJECT_ATTRIBUTES attributes;
  InitAttributes(&attributes, &name, path);
  IO_STATUS_BLOCK status;
  std::memset(&status, 0, sizeof status);
  HANDLE file = nullptr;
  const LONG result = g_create_file(&file, access | SYNCHRONIZE, &attributes, &status, nullptr,
                                    FILE_ATTRIBUTE_NORMAL, share, disposition, options | kSynchronous, nullptr, 0);
  return result >= 0 ? file : nullptr;
}

// g_folder + "Log<n>.log" into a name buffer.
void ReportName(unsigned long number, wchar_t* name) {
  std::memcpy(name, g_folder, g_folder_length * sizeof(wchar_t));
  std::size_t at = g_folder_length;
  for (const char* part = "Log"; *part != '\0'; ++part) name[at++] = static_cast<wchar_t>(*part);
  wchar_t digits[12] = {};
  int count = 0;
  do {
    digits[count++] = static_cast<wchar_t>('0' + number % 10);
    number /= 10;
  } while (number != 0 && count < 11);
  while (count > 0) name[at++] = digits[--count];
  for (const char* part = ".log"; *part != '\0'; ++part) name[at++] = static_cast<wchar_t>(*part);
  name[at] = 0;
}

// Each folder level of g_folder below the volume's root, made where missing.
void CreateFolders() {
  for (std::size_t at = g_first_folder; at < g_folder_length; ++at) {
    if (g_folder[at] != L'\\') continue;
    std::memcpy(g_name, g_folder, at * sizeof(wchar_t));
    g_name[at] = 0;
    HANDLE folder = OpenPath(g_name, FILE_LIST_DIRECTORY, kOpenIf, kDirectory,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (folder != nullptr) g_close(folder);
  }
}

void DeleteReport(unsigned long number) {
  ReportName(number, g_name);
  HANDLE file = OpenPath(g_name, DELETE, kOpen, kNotDirectory, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (file == nullptr) return;
  BOOLEAN delete_it = TRUE;
  IO_STATUS_BLOCK status;
  g_set_information(file, &status, &delete_it, sizeof delete_it, kDispositionInformation);
  g_close(file);
}

// FILE_RENAME_INFORMATION: ReplaceIfExists, RootDirectory, FileNameLength, FileName.
void RenameReport(unsigned long from, unsigned long to) {
  ReportName(from, g_name);
  ReportName(to, g_other_name);
  HANDLE file = OpenPath(g_name, DELETE, kOpen, kNotDirectory, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (file == nullptr) return;
  std::size_t length = 0;
  while (g_other_name[length] != 0) ++length;
  std::memset(g_rename, 0, sizeof g_rename);
  const ULONG name_bytes = static_cast<ULONG>(length * sizeof(wchar_t));
  std::memcpy(g_rename + 2 * sizeof(HANDLE), &name_bytes, sizeof name_bytes);
  std::memcpy(g_rename + 3 * sizeof(HANDLE), g_other_name, name_bytes);
  IO_STATUS_BLOCK status;
  g_set_information(file, &status, g_rename, static_cast<ULONG>(3 * sizeof(HANDLE) + name_bytes), kRenameInformation);
  g_close(file);
}

}  // namespace

void PrepareEmergencyReport(const char* report_folder) noexcept {
  // No folder until a whole one is in place.
  g_folder_length = 0;
  g_first_folder = 0;
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  g_create_file = FindFunction<CreateFileCall>(ntdll, "NtCreateFile");
  g_write_file = FindFunction<WriteFileCall>(ntdll, "NtWriteFile");
  g_set_information = FindFunction<SetInformationCall>(ntdll, "NtSetInformationFile");
  g_close = FindFunction<CloseCall>(ntdll, "NtClose");
  g_report_count = ReadNumberOfReports();

  char folder[kReportPathSize];
  ChooseReportFolder(report_folder, folder);
  static const char kErrorLogs[] = "ErrorLogs\\";
  // A folder too long to take "ErrorLogs" gets no emergency report rather than a cut name.
  if (folder[0] == '\0' || std::strlen(folder) + sizeof kErrorLogs > sizeof folder) return;
  BoundedAppend(folder, kErrorLogs, sizeof folder);
  char full[kReportPathSize] = {};
  const DWORD length = GetFullPathNameA(folder, sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return;
  wchar_t wide[kReportPathSize] = {};
  if (MultiByteToWideChar(CP_ACP, 0, full, -1, wide, static_cast<int>(kReportPathSize)) == 0) return;
  // "C:\x\" is "\??\C:\x\"; "\\server\share\x\" is "\??\UNC\server\share\x\".
  const bool unc = wide[0] == L'\\' && wide[1] == L'\\';
  const wchar_t* prefix = unc ? L"\\??\\UNC\\" : L"\\??\\";
  const wchar_t* rest = unc ? wide + 2 : wide;
  std::size_t at = 0;
  for (const wchar_t* p = prefix; *p != 0; ++p) g_folder[at++] = *p;
  // The first folder below the root: after "X:\", or after "server\share\".
  std::size_t separators_to_root = unc ? 2 : 1;
  std::size_t first = 0;
  for (const wchar_t* p = rest; *p != 0; ++p) {
    if (at + 1 >= kPathChars) return;
    g_folder[at++] = *p;
    if (*p == L'\\' && first == 0 && --separators_to_root == 0) first = at;
  }
  g_folder[at] = 0;
  g_folder_length = at;
  g_first_folder = first;
}

bool WriteEmergencyReport(const EXCEPTION_POINTERS* pointers, DWORD thread_id, const char* reason,
                          bool rotate) noexcept {
  if (g_create_file == nullptr || g_write_file == nullptr || g_set_information == nullptr || g_close == nullptr ||
      g_folder_length == 0) {
    return false;
  }
  g_text_length = 0;
  AppendHeader();
  Append("Emergency report: ");
  Append(reason);
  Append(".\r\nThe full report could not be written in this process: the crashing thread wrote this one "
         "itself, without the heap, the loader or the debug-help library.\r\n\r\n");
  if (pointers != nullptr && pointers->ExceptionRecord != nullptr) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    const DWORD address = static_cast<DWORD>(reinterpret_cast<std::size_t>(record->ExceptionAddress));
    Append("[Exception]\r\nException Type: ");
    Append(CrashReportWriter::ExceptionName(record->ExceptionCode));
    Append("\r\nException Address: ");
    AppendHex(address);
    Append("\r\n");
    if (record->ExceptionCode == kAccessViolation && record->NumberParameters >= 2) {
      Append(record->ExceptionInformation[0] != 0 ? "Attempted write at address: " : "Attempted read at address: ");
      AppendHex(static_cast<DWORD>(record->ExceptionInformation[1]));
      Append("\r\n");
    }
    Append("ThreadId: ");
    AppendDecimal(thread_id);
    Append("\r\nException Code: ");
    AppendHex(record->ExceptionCode);
    Append("\r\nException Module: ");
    AppendLocated(address);
    if (pointers->ContextRecord != nullptr) {
      AppendRawStack(*pointers->ContextRecord);
      Append("\r\n");
      AppendRegisters(*pointers->ContextRecord);
    }
    Append("\r\n");
  }

  CreateFolders();
  if (rotate) {
    DeleteReport(g_report_count);
    for (unsigned long number = g_report_count; number >= 2; --number) RenameReport(number - 1, number);
  }
  ReportName(1, g_name);
  HANDLE file = OpenPath(g_name, FILE_APPEND_DATA, kOpenIf, kNotDirectory, FILE_SHARE_READ);
  if (file == nullptr) return false;
  IO_STATUS_BLOCK status;
  std::memset(&status, 0, sizeof status);
  const LONG written = g_write_file(file, nullptr, nullptr, nullptr, &status, g_text,
                                    static_cast<ULONG>(g_text_length), nullptr, nullptr);
  g_close(file);
  return written >= 0;
}
