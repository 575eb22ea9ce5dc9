// CrashHandler: the module's process-wide handler for unhandled exceptions. One static
// instance lives as long as the module: constructing it registers CrashFilter as the top-level
// exception filter, patches SetUnhandledExceptionFilter so that no other code can replace the
// filter afterwards, and computes the report folder; destroying it puts back the code bytes
// and the filter that was registered before (none included, so no filter is left pointing
// into an unloaded module; and none when the one from before lies in a module unloaded since).
//
// On an unhandled exception CrashFilter has the report written by the worker made at
// installation (reportworker.h), waits for it stage by stage, at most 60 seconds, and lets the
// system's default handling go on (the process ends). Only one report runs at a time: a thread
// that crashes while another thread's report is running waits for that report and then goes
// on without writing one (the report already holds its stack, and rotating the files under it
// would spoil it). The filter takes no lock of ours and parks threads on an atomic flag.
//
// The full report needs the loader lock (tool-help snapshots, module names) and the process
// heap's lock (the debug-help library and the runtime allocate). When the crashing thread holds
// the loader lock, or the heap probe finds the heap's lock kept (the thread holds it, or died
// inside the heap), or the worker crashes or runs out of time before the text is written, the
// crashing thread writes the emergency report itself (emergencyreport.h), which needs neither.
//
// Cost: construction asks the shell for the application-data folder once, loads the debug-help
// and process-status libraries, starts the idle worker and fills the module table. It runs
// while the module is loaded, that is under the loader lock (see the constructor). Failures are
// silent: without the patch the filter stays registered but can be replaced; without the
// application-data folder the report folder is relative; without the worker the report is
// written on the crashing thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>

#include "crashlog/reportworker.h"
#include "text/bytestring.h"

class CrashHandler {
 public:
  CrashHandler() noexcept;
  ~CrashHandler();
  CrashHandler(const CrashHandler&) = delete;
  CrashHandler& operator=(const CrashHandler&) = delete;

  // false: saves the first five bytes of SetUnhandledExceptionFilter and writes the patch
  // 33 C0 C2 04 00 ("return null"); true: writes the saved bytes back. Both kernel32's entry
  // and, where kernel32 forwards to it, KernelBase's. Each only when the bytes found there are
  // the ones this handler expects, so another copy of the handler or a later hook is never
  // overwritten.
  void LockFilter(bool restore) noexcept;

  // The folder "ErrorLogs" is made in; ends with a backslash.
  const char* ReportFolder() const noexcept { return report_folder_; }
  LPTOP_LEVEL_EXCEPTION_FILTER PreviousFilter() const noexcept { return previous_filter_; }
  ReportWorker& Worker() noexcept { return worker_; }

 private:
  char report_folder_[1024];
  LPTOP_LEVEL_EXCEPTION_FILTER previous_filter_ = nullptr;
  unsigned char saved_entry_[5];
  bool entry_patched_ = false;  // the patch in place is this handler's
  unsigned char saved_base_entry_[5];  // the same for KernelBase's entry
  bool base_entry_patched_ = false;
  ReportWorker worker_;
};

// The installed handler, null when none.
extern std::atomic<CrashHandler*> ActiveCrashHandler;

// Handed to the report worker; lives on the crashing thread's stack for the wait.
struct CrashThreadParams {
  EXCEPTION_POINTERS* pointers;
  DWORD thread_id;
  CrashHandler* handler;
};

// The top-level filter: the report through ActiveCrashHandler, then EXCEPTION_CONTINUE_SEARCH.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* pointers);
// One report by the handler's worker (on the calling thread when there is none), waited for at
// most kCrashReportTimeoutMs; the emergency report when the full one cannot be written or is
// not. Always EXCEPTION_CONTINUE_SEARCH.
LONG HandleCrash(CrashHandler* handler, EXCEPTION_POINTERS* pointers) noexcept;
// One report for a CrashThreadParams, on the calling thread. Returns 0.
DWORD WINAPI CrashReportThread(void* parameter);
// Whether the thread holds the process's loader lock.
bool HoldsLoaderLock(DWORD thread_id) noexcept;

// The value of the environment variable named after the executable's file name (extension
// included), or "Brisola" when it is unset, empty or longer than 259 bytes. Asked once, then
// cached for the life of the module.
const char* GetApplicationName() noexcept;

// The uncached look-up behind GetApplicationName: the variable named after the last part of
// executable_path (after the last backslash, else the last slash, else the whole path), into
// name; "Brisola" when it is unset, empty or does not fit.
void ApplicationNameFromEnvironment(const char* executable_path, char* name, std::size_t size) noexcept;

// Joins a component to a path as PathAppendA does: leading backslashes of the component are
// dropped (a UNC path keeps them), a fully qualified component ("C:\...", "\\server\...")
// replaces the path, and one backslash goes between the parts. Character-aware.
void AppendPathComponent(ByteString& path, const char* component);

// app_data + "Zell" + application name + a trailing backslash, into the folder buffer.
void ComposeReportFolder(const char* app_data, const char* application_name, char* folder,
                         std::size_t size) noexcept;
