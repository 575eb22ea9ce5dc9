// WriteCrashReport: one complete crash report, written into the "ErrorLogs" folder below the
// report folder: the text report Log1.log, after the older text reports have been moved up to
// Log2.log .. LogN.log, then the mini-dump "log1.dmp" (replaced every time).
//
// Options come from HKEY_CURRENT_USER at every call, from the key
// "Software\Norvane\Preferences\CrashLogOptions" ("NumberOfLogFiles" as text, 1 to 10000,
// else 1; "SymbolPath"; "MiniDumpOptions") and, when the folder passed in is empty, the
// default value of "Software\Norvane\Preferences\UserDataPath" or else the executable's
// folder.
//
// Cost: registry reads, up to N renames, a mini-dump (about 0.8 s under Wine) and the report
// with symbols for every module. Runs on the crash path: stack buffers only, no locks of its
// own, nothing thrown; but the libraries it calls take the loader lock (LoadLibraryA of
// "dbghelp.dll" and "psapi.dll", tool-help snapshots) and the process heap's lock (the
// debug-help library allocates), so it cannot finish when the crashed thread holds either. Every failure is silent: a folder that cannot be made or entered
// leaves the files in the current directory, a file that cannot be written is skipped.
// While it runs the process's current directory is the "ErrorLogs" folder; it is put back at
// the end.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>

// What a report is lent and what it tells as it goes, when the crash handler's worker writes it
// while the crashed thread waits.
struct ReportStages {
  // Loaded at start-up: the report uses these, and loads and frees none of its own.
  HMODULE kernel = nullptr;
  HMODULE process_status = nullptr;
  HMODULE debug_help = nullptr;
  // Set once the older reports have been moved up: Log1.log is then this report's own.
  std::atomic<bool>* rotated = nullptr;
  // The text report's file while it is open: a crashed thread that takes over from a writer it
  // had to end closes it, so that its own report can be added.
  std::atomic<HANDLE>* report_file = nullptr;
  // Signalled when the text report is complete, and when the mini-dump is.
  HANDLE text_written = nullptr;
  HANDLE dump_written = nullptr;
};

// report_folder: NUL-terminated, at most 1,024 bytes, may be empty. thread_id: the thread that
// raised the exception. The text report is written first, the older reports moved up only just
// before it, and the mini-dump after it: a dump that fails or runs long costs no text, and a
// writer that dies before it writes leaves the older reports where they were.
void WriteCrashReport(const char* report_folder, EXCEPTION_POINTERS* pointers, DWORD thread_id,
                      const ReportStages* stages = nullptr) noexcept;

// The steps of WriteCrashReport, in the order it takes them. Buffers are of kReportPathSize.
constexpr std::size_t kReportPathSize = 1024;

// "NumberOfLogFiles" read as text: 1 to 10000, anything else (missing, 0, negative, too large,
// not a number) gives 1.
unsigned long ReadNumberOfReports() noexcept;
// The folder passed in; when it is empty the default value of "UserDataPath"; when that is
// empty too, the executable's folder. A folder that does not end in a separator gets one.
void ChooseReportFolder(const char* report_folder, char* folder) noexcept;
// Appends "ErrorLogs" to the folder, creates it with its missing parents and makes it the
// current directory. False (the current directory unchanged) when that cannot be done.
bool EnterErrorLogFolder(char* folder) noexcept;
// In the current directory: deletes LogN.log, then renames Log(k-1).log to Logk.log for k
// from N down to 2. Failures are ignored.
void RotateReports(unsigned long count) noexcept;
// "SymbolPath"; when it is empty, the executable's folder without its trailing backslash.
void ReadSymbolSearchPath(char* path) noexcept;
// "MiniDumpOptions" as a number of up to four bytes; 0 when missing or longer.
DWORD ReadMiniDumpType() noexcept;

// Text report number n ("Log1.log") into a buffer; false (and empty) when it does not fit.
bool FormatReportName(unsigned long number, char* name, std::size_t size) noexcept;
