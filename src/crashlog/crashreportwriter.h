// CrashReportWriter: the object one crash report is written through. It holds the report
// file, the libraries it loaded by name ("kernel32.dll" for tool-help, "psapi.dll",
// "dbghelp.dll"), the tool-help snapshot of the process and the symbol search path, for the
// length of one report.
//
// Cost: every buffer lives on the writing thread's stack (1,024 bytes per line, 2,048 of
// version data, 716-byte contexts); the writer allocates nothing itself. Preparing loads the
// libraries, takes one snapshot and registers every module with the symbol engine, which
// reads the modules' debug information (DWARF 4 under Wine): the first section or the
// mini-dump of a report pays for that once.
//
// Failure: none is reported. A library or function that is missing skips the step that
// needs it and the sections write what they can (no symbols, no memory-usage lines, no
// dump); with no report file open every write does nothing. Nothing throws and nothing
// takes a lock of this module's own: it runs on the crash path.
//
// Not thread-safe: one report, one writer, one thread. Other threads keep running while
// their contexts are read and their stacks are walked.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <cstddef>

#include "platform/handles.h"

class CrashReportWriter {
 public:
  // File names of the libraries the writer loads. Tests swap them to play a system without
  // debug-help, process-status or tool-help; the report code always uses kSystemLibraries.
  struct LibraryNames {
    const char* kernel;          // tool-help functions and OpenThread
    const char* process_status;  // the process-status fall-backs and memory counters
    const char* debug_help;      // file name, tried beside the executable first
  };
  static const LibraryNames kSystemLibraries;

  // Every line of the report is formatted into a buffer of this size, terminator included.
  static constexpr std::size_t kLineSize = 1024;

  template <typename Entry>
  using Visitor = void (*)(CrashReportWriter& writer, const Entry& entry, void* context);

  CrashReportWriter() noexcept : CrashReportWriter(kSystemLibraries) {}
  explicit CrashReportWriter(const LibraryNames& names) noexcept;
  // Closes: releases what was prepared, then the report file.
  ~CrashReportWriter();
  CrashReportWriter(const CrashReportWriter&) = delete;
  CrashReportWriter& operator=(const CrashReportWriter&) = delete;

  // ---- report file ----
  // Opens the file for appending (creating it when missing) and writes the header; any file
  // open before is closed first. True when a file is open.
  bool Open(const char* file_name) noexcept;
  // ReleaseInspection, then closes the report file.
  void Close() noexcept;
  // Closes the report file only; what was prepared stays for the next file.
  void CloseReportFile() noexcept { report_file_.Close(); }
  bool IsOpen() const noexcept { return report_file_.IsOpen(); }
  HANDLE ReportFile() const noexcept { return report_file_.Get(); }

  // ---- sections ----
  // printf into a zero-filled kLineSize buffer and write the bytes, nothing added. A line
  // that does not fit is cut on a character boundary; when the format ends in "\r\n" the cut
  // line keeps that ending, so the lines after it stay lines. False when no file is open,
  // the text is empty or WriteFile fails.
  bool Print(const char* format, ...) noexcept __attribute__((format(ms_printf, 2, 3)));

  void WriteHeader() noexcept;
  void WriteProcessInfo() noexcept;
  void WriteSystemInfo() noexcept;
  // Nothing for null pointers. Thread 0 stands for the current thread.
  void WriteException(const EXCEPTION_POINTERS* pointers, DWORD thread_id) noexcept;
  void WriteModules() noexcept;
  void WriteThreads() noexcept;
  // One "[ThreadId: n] " block (call stack and registers) per thread whose context can be read.
  void WriteAllThreadStacks() noexcept;
  // Walks the frame-pointer chain from the context's Eip and Ebp. Every frame is checked
  // before it is read, the first one included. At most kMaxStackFrames lines, then one line
  // "<n> more frames left out".
  void WriteCallStack(const CONTEXT* context) noexcept;
  static constexpr unsigned long kMaxStackFrames = 1000;
  void WriteRegisters(const CONTEXT* context) noexcept;

  // "EXCEPTION_ACCESS_VIOLATION" and the rest of the table; "EXCEPTION_UNKNOWN" otherwise.
  static const char* ExceptionName(DWORD code) noexcept;

  // The module holding the address, its 1-based section and the offset in that section. The
  // name buffer receives the module's file name when the module is known, even when no
  // section holds the address; section and offset are set only when found.
  static bool FindModuleSection(DWORD address, char* name, DWORD name_size, DWORD* section,
                                DWORD* offset) noexcept;

  // ---- inspection ----
  // Keeps the pointer (the caller keeps the text alive) and hands it to a loaded engine.
  void SetSymbolSearchPath(const char* path) noexcept;
  // Loads the libraries, takes the snapshot, starts the symbol engine and registers the
  // modules. Safe to repeat; the work after loading is skipped once a snapshot is held.
  // True when a snapshot is held.
  bool PrepareInspection() noexcept;
  // Each thread of this process. Non-zero when the enumeration got going.
  int ForEachThread(Visitor<THREADENTRY32> visitor, void* context) noexcept;
  // Each module: from the snapshot, else from the process-status library (at most 256,
  // usage counts 0).
  int ForEachModule(Visitor<MODULEENTRY32> visitor, void* context) noexcept;
  // Each process of the system: from the snapshot, else from the process-status library (at
  // most 256; a process that cannot be opened comes with an empty name).
  int ForEachProcess(Visitor<PROCESSENTRY32> visitor, void* context) noexcept;
  // The registers of a thread into *context, left untouched on failure. Thread 0 or the
  // calling thread is captured in place: Eip lies inside this function and Ebp is the frame
  // of the function that called it, so a walk starts in its caller's caller. Other threads
  // are read with OpenThread and GetThreadContext, without suspending them.
  bool CaptureThreadContext(DWORD thread_id, CONTEXT* context) noexcept;
  // Writes a mini-dump (the file is replaced). False without the debug-help library or its
  // MiniDumpWriteDump, when the file cannot be created, or when the dump fails. Null
  // pointers write a dump without exception information.
  bool WriteMiniDump(const char* file_name, DWORD dump_type, EXCEPTION_POINTERS* pointers,
                     DWORD thread_id) noexcept;
  // Unregisters the modules, stops the symbol engine, and drops the libraries (borrowed ones
  // stay loaded) and the snapshot.
  void ReleaseInspection() noexcept;
  // Libraries loaded before: used as they are, neither loaded again nor freed (on the crash
  // path loading and freeing take the loader lock). Null ones are loaded by name, and freed,
  // as usual.
  void BorrowLibraries(HMODULE kernel, HMODULE process_status, HMODULE debug_help) noexcept;

  HMODULE DebugHelpLibrary() const noexcept { return debug_help_.Get(); }
  HMODULE ProcessStatusLibrary() const noexcept { return process_status_.Get(); }
  bool HoldsSnapshot() const noexcept { return snapshot_.IsOpen(); }

 private:
  void WriteStackLine(DWORD address, HMODULE debug_help) noexcept;

  KernelHandle snapshot_;
  KernelHandle report_file_;
  LibraryHandle kernel_;
  LibraryHandle debug_help_;
  LibraryHandle process_status_;
  const char* symbol_search_path_ = nullptr;
  LibraryNames names_;
  // What BorrowLibraries lent: a library that is one of these is let go, not freed.
  HMODULE borrowed_[3] = {};
};

// "dbghelp.dll" (the name given): the copy beside the executable when there is one, else the
// system's. Null when neither loads.
HMODULE LoadDebugHelpLibrary(const char* file_name) noexcept;

// The operating-system name, the additional text and the version text of the system
// section, by platform identifier and version. The version text is cut to its buffer.
void DescribeOperatingSystem(const OSVERSIONINFOA& info, const char** name,
                             const char** additional, char* version, std::size_t version_size) noexcept;

// The "%lu.%lu.%lu.%lu" file version of a module or executable into the buffer; empty when
// the file has no version resource.
void ReadFileVersion(const char* path, char* version, std::size_t version_size) noexcept;
