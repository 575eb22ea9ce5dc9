#include "crashlog/crashreport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crashlog/crashreportwriter.h"
#include "platform/directories.h"
#include "platform/handles.h"
#include "text/mbtext.h"

namespace {

const char kOptionsKey[] = "Software\\Norvane\\Preferences\\CrashLogOptions";
const char kUserDataKey[] = "Software\\Norvane\\Preferences\\UserDataPath";
const char kErrorLogFolder[] = "ErrorLogs";
const char kMiniDumpName[] = "log1.dmp";
constexpr long kMaxReports = 10000;
// Every folder this file makes fits the creation of its missing levels.
static_assert(kReportPathSize <= kFolderChainPathSize, "report paths must fit CreateFolderChain");

// One registry key, opened for a single read and closed right after it.
class OptionKey {
 public:
  OptionKey(const char* subkey, REGSAM access) noexcept {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, access, &key) == ERROR_SUCCESS) key_.Reset(key);
  }

  bool IsOpen() const noexcept { return key_.IsOpen(); }
  void Close() noexcept { key_.Close(); }
  // Whatever type is stored, as text: always terminated, all zero when the value is missing
  // or does not fit (the system leaves the buffer undefined then).
  bool ReadText(const char* name, char* text, DWORD size) noexcept {
    std::memset(text, 0, size);
    if (!key_.IsOpen()) return false;
    DWORD length = size;
    if (RegQueryValueExA(key_.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &length) != ERROR_SUCCESS) {
      std::memset(text, 0, size);
      return false;
    }
    text[size - 1] = '\0';
    return true;
  }
  // Up to four bytes of whatever type is stored; false for a longer value.
  bool ReadNumber(const char* name, DWORD* number) noexcept {
    if (!key_.IsOpen()) return false;
    DWORD value = 0;
    DWORD length = sizeof value;
    if (RegQueryValueExA(key_.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &length) != ERROR_SUCCESS) {
      return false;
    }
    *number = value;
    return true;
  }

 private:
  RegistryKey key_;
};

// The executable's folder; with its trailing backslash or without.
void ExecutableFolder(char* folder, std::size_t size, bool keep_separator) {
  std::memset(folder, 0, size);
  if (GetModuleFileNameA(nullptr, folder, static_cast<DWORD>(size - 1)) == 0) {
    std::memset(folder, 0, size);
    return;
  }
  char* separator = const_cast<char*>(MbFindLastChar(folder, '\\'));
  if (separator == nullptr) {
    std::memset(folder, 0, size);
    return;
  }
  separator[keep_separator ? 1 : 0] = '\0';
}

}  // namespace

bool FormatReportName(unsigned long number, char* name, std::size_t size) noexcept {
  if (name == nullptr || size == 0) return false;
  std::memset(name, 0, size);
  const int length = _snprintf(name, size - 1, "%s%lu%s", "Log", number, ".log");
  if (length < 0 || static_cast<std::size_t>(length) >= size) {
    std::memset(name, 0, size);
    return false;
  }
  return true;
}

unsigned long ReadNumberOfReports() noexcept {
  OptionKey key(kOptionsKey, KEY_QUERY_VALUE);
  if (!key.IsOpen()) return 1;
  char text[256];
  key.ReadText("NumberOfLogFiles", text, sizeof text);
  key.Close();
  // strtol rather than atoi: the same digits are taken, and an overflowing number is clamped
  // (and so refused) instead of undefined.
  const long number = std::strtol(text, nullptr, 10);
  return (number < 1 || number > kMaxReports) ? 1 : static_cast<unsigned long>(number);
}

void ChooseReportFolder(const char* report_folder, char* folder) noexcept {
  if (folder == nullptr) return;
  std::memset(folder, 0, kReportPathSize);
  BoundedCopy(folder, report_folder, kReportPathSize);
  if (folder[0] == '\0') {
    OptionKey key(kUserDataKey, KEY_QUERY_VALUE);
    key.ReadText(nullptr, folder, kReportPathSize);
  }
  if (folder[0] == '\0') ExecutableFolder(folder, kReportPathSize, true);
  // Without its trailing separator the folder's last name would run into "ErrorLogs"
  // ("...\DataErrorLogs"), a folder nobody looks in.
  if (folder[0] != '\0' && !EndsWithSeparator(folder)) BoundedAppend(folder, "\\", kReportPathSize);
}

bool EnterErrorLogFolder(char* folder) noexcept {
  if (folder == nullptr) return false;
  // A folder too long to take "ErrorLogs" is not cut into a wrong name: the files then go to
  // the current directory, as for any folder that cannot be entered.
  if (std::strlen(folder) + sizeof kErrorLogFolder > kReportPathSize) return false;
  BoundedAppend(folder, kErrorLogFolder, kReportPathSize);
  // The parents too: on a fresh profile the player has not made its folders yet, and the
  // report would otherwise land in whatever the current directory is.
  CreateFolderChain(folder);
  return SetCurrentDirectoryA(folder) != FALSE;
}

void RotateReports(unsigned long count) noexcept {
  char name[kReportPathSize];
  char older[20];
  if (FormatReportName(count, name, sizeof name)) DeleteFileA(name);
  for (unsigned long number = count; number >= 2; --number) {
    if (FormatReportName(number - 1, name, sizeof name) && FormatReportName(number, older, sizeof older)) {
      MoveFileA(name, older);  // never replaces: Logk.log has just been moved on or deleted
    }
  }
}

void ReadSymbolSearchPath(char* path) noexcept {
  if (path == nullptr) return;
  {
    OptionKey key(kOptionsKey, KEY_READ);
    key.ReadText("SymbolPath", path, kReportPathSize);
  }
  if (path[0] == '\0') ExecutableFolder(path, kReportPathSize, false);
}

DWORD ReadMiniDumpType() noexcept {
  OptionKey key(kOptionsKey, KEY_QUERY_VALUE);
  DWORD type = 0;
  return key.ReadNumber("MiniDumpOptions", &type) ? type : 0;
}

void WriteCrashReport(const char* report_folder, EXCEPTION_POINTERS* pointers, DWORD thread_id,
                      const ReportStages* stages) noexcept {
  const unsigned long report_count = ReadNumberOfReports();
  char folder[kReportPathSize];
  ChooseReportFolder(report_folder, folder);

  char saved_directory[kReportPathSize];
  std::memset(saved_directory, 0, sizeof saved_directory);
  const DWORD saved_length = GetCurrentDirectoryA(sizeof saved_directory, saved_directory);
  if (saved_length == 0 || saved_length >= sizeof saved_directory) {
    std::memset(saved_directory, 0, sizeof saved_directory);
  }

  EnterErrorLogFolder(folder);
  char symbol_path[kReportPathSize];
  ReadSymbolSearchPath(symbol_path);
  const DWORD dump_type = ReadMiniDumpType();

  CrashReportWriter writer;
  if (stages != nullptr) writer.BorrowLibraries(stages->kernel, stages->process_status, stages->debug_help);
  writer.SetSymbolSearchPath(symbol_path);
  // The older reports move up only now, with the new one about to be written.
  RotateReports(report_count);
  if (stages != nullptr && stages->rotated != nullptr) stages->rotated->store(true);
  char report_name[20];
  FormatReportName(1, report_name, sizeof report_name);
  writer.Open(report_name);
  if (stages != nullptr && stages->report_file != nullptr) stages->report_file->store(writer.ReportFile());
  writer.WriteProcessInfo();
  writer.WriteSystemInfo();
  writer.WriteException(pointers, thread_id);
  writer.WriteModules();
  writer.WriteThreads();
  writer.WriteAllThreadStacks();
  if (stages != nullptr && stages->report_file != nullptr) stages->report_file->store(nullptr);
  writer.CloseReportFile();
  if (stages != nullptr && stages->text_written != nullptr) SetEvent(stages->text_written);

  writer.WriteMiniDump(kMiniDumpName, dump_type, pointers, thread_id);
  if (stages != nullptr && stages->dump_written != nullptr) SetEvent(stages->dump_written);
  if (saved_directory[0] != '\0') SetCurrentDirectoryA(saved_directory);
  writer.Close();
}
