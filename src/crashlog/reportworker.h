// ReportWorker: the thread that writes the full crash report. It is made when the crash handler
// is installed and waits on an event until a crash, and the libraries the report needs are
// loaded beside it then: a crash needs neither CreateThread nor LoadLibrary, which take the
// loader lock.
//
// A report runs in stages, each with its own time, inside the crash handler's 60 seconds:
//   1. the heap probe: the worker takes and gives back the process heap's lock (2 s). A
//      crashed thread that holds that lock, or died inside the heap, keeps it: the worker then
//      waits there, and the report must be written without the heap (emergencyreport.h);
//   2. the text report, the older reports moved up just before it (40 s);
//   3. the mini-dump (what is left of the 60 s).
// A worker that crashes itself, or runs out of a stage's time before the text is written, ends
// the full report too. Write says why, and the crashed thread writes the emergency report.
//
// Cost: one idle thread (the default stack) and the debug-help and process-status libraries
// loaded from the handler's installation on. Start runs at module load, under the loader lock,
// as the documented start-up order has the handler installed there: the thread it makes starts
// only once the load is over. Stop ends the thread with TerminateThread: waiting for a thread to
// end under the loader lock, as a module's unload runs, would wait for ever (its exit needs that
// lock), and the idle thread holds nothing.
#pragma once

#include <windows.h>

#include <atomic>

#include "crashlog/crashreport.h"
#include "platform/handles.h"

// How long a crashed thread waits for its report at most.
constexpr DWORD kCrashReportTimeoutMs = 60000;

class ReportWorker {
 public:
  ReportWorker() = default;
  ~ReportWorker() { Stop(); }
  ReportWorker(const ReportWorker&) = delete;
  ReportWorker& operator=(const ReportWorker&) = delete;

  // Loads "dbghelp.dll" (beside the executable first) and "psapi.dll", and starts the thread.
  // False when the thread cannot be made; the libraries stay loaded either way.
  bool Start() noexcept;
  void Stop() noexcept;
  bool IsRunning() const noexcept { return thread_.IsOpen(); }
  DWORD ThreadId() const noexcept { return thread_id_.load(); }
  HMODULE ProcessStatusLibrary() const noexcept { return stages_.process_status; }

  // Has the worker write one report and waits for it stage by stage. Null when the text report
  // was written (the mini-dump may still have failed or been cut off); otherwise why not, and
  // *rotated says whether the older reports were already moved up.
  const char* Write(const char* report_folder, EXCEPTION_POINTERS* pointers, DWORD thread_id,
                    bool* rotated) noexcept;
  // On the worker's own thread, when it crashed: tells the waiting thread, then waits to be
  // ended (it may hold any lock by now; ending itself could need one).
  [[noreturn]] void Failed() noexcept;

  static constexpr DWORD kProbeTimeoutMs = 2000;
  static constexpr DWORD kTextTimeoutMs = 40000;

 private:
  static DWORD WINAPI Loop(void* parameter);

  KernelHandle thread_;
  std::atomic<DWORD> thread_id_{0};
  KernelHandle wake_;
  KernelHandle probed_;
  KernelHandle text_written_;
  KernelHandle dump_written_;
  KernelHandle failed_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> rotated_{false};
  std::atomic<HANDLE> report_file_{nullptr};
  ReportStages stages_;
  // The report asked for, read by the worker after the wake-up.
  const char* report_folder_ = nullptr;
  EXCEPTION_POINTERS* pointers_ = nullptr;
  DWORD crashed_thread_ = 0;
};
