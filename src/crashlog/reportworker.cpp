#include "crashlog/reportworker.h"

#include "crashlog/crashreportwriter.h"

bool ReportWorker::Start() noexcept {
  if (thread_.IsOpen()) return true;
  // Loaded for the module's life and never freed: no FreeLibrary from an unloading module's
  // static destructors, which run under the loader lock.
  if (stages_.debug_help == nullptr) stages_.debug_help = LoadDebugHelpLibrary("dbghelp.dll");
  if (stages_.process_status == nullptr) stages_.process_status = LoadLibraryA("psapi.dll");
  stages_.kernel = GetModuleHandleA("kernel32.dll");
  stages_.rotated = &rotated_;
  stages_.report_file = &report_file_;
  wake_.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  probed_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  text_written_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  dump_written_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  failed_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!wake_.IsOpen() || !probed_.IsOpen() || !text_written_.IsOpen() || !dump_written_.IsOpen() ||
      !failed_.IsOpen()) {
    return false;
  }
  stages_.text_written = text_written_.Get();
  stages_.dump_written = dump_written_.Get();
  stopping_.store(false);
  DWORD id = 0;
  thread_.Reset(CreateThread(nullptr, 0, Loop, this, 0, &id));
  thread_id_.store(thread_.IsOpen() ? id : 0);
  return thread_.IsOpen();
}

void ReportWorker::Stop() noexcept {
  stopping_.store(true);
  if (thread_.IsOpen()) TerminateThread(thread_.Get(), 0);
  thread_.Close();
  thread_id_.store(0);
}

DWORD WINAPI ReportWorker::Loop(void* parameter) {
  auto* worker = static_cast<ReportWorker*>(parameter);
  while (WaitForSingleObject(worker->wake_.Get(), INFINITE) == WAIT_OBJECT_0 && !worker->stopping_.load()) {
    // The heap probe: a crashed thread holding the process heap's lock keeps the worker here.
    HANDLE heap = GetProcessHeap();
    if (HeapLock(heap)) HeapUnlock(heap);
    SetEvent(worker->probed_.Get());
    WriteCrashReport(worker->report_folder_, worker->pointers_, worker->crashed_thread_, &worker->stages_);
  }
  return 0;
}

const char* ReportWorker::Write(const char* report_folder, EXCEPTION_POINTERS* pointers, DWORD thread_id,
                                bool* rotated) noexcept {
  if (rotated != nullptr) *rotated = false;
  if (!thread_.IsOpen()) return "no report writer thread was running";
  ResetEvent(probed_.Get());
  ResetEvent(text_written_.Get());
  ResetEvent(dump_written_.Get());
  ResetEvent(failed_.Get());
  rotated_.store(false);
  report_file_.store(nullptr);
  report_folder_ = report_folder;
  pointers_ = pointers;
  crashed_thread_ = thread_id;
  const DWORD start = GetTickCount();
  SetEvent(wake_.Get());

  const char* reason = nullptr;
  HANDLE probe[2] = {probed_.Get(), failed_.Get()};
  DWORD result = WaitForMultipleObjects(2, probe, FALSE, kProbeTimeoutMs);
  if (result == WAIT_OBJECT_0) {
    HANDLE text[2] = {text_written_.Get(), failed_.Get()};
    result = WaitForMultipleObjects(2, text, FALSE, kTextTimeoutMs);
    if (result == WAIT_OBJECT_0) {
      // The text stands; the dump gets what is left of the handler's time.
      const DWORD elapsed = GetTickCount() - start;
      HANDLE dump[2] = {dump_written_.Get(), failed_.Get()};
      if (WaitForMultipleObjects(2, dump, FALSE, elapsed < kCrashReportTimeoutMs ? kCrashReportTimeoutMs - elapsed : 0) !=
          WAIT_OBJECT_0) {
        Stop();
      }
      return nullptr;
    }
    reason = result == WAIT_OBJECT_0 + 1 ? "the report writer crashed before the text report was complete"
                                         : "the report writer did not complete the text report within 40 seconds";
  } else {
    reason = result == WAIT_OBJECT_0 + 1
                 ? "the report writer crashed"
                 : "the process heap stayed locked: the crashing thread holds its lock, or crashed inside the heap";
  }
  Stop();
  // The ended writer's report file is still open, and shared for reading only.
  if (HANDLE left_open = report_file_.exchange(nullptr)) CloseHandle(left_open);
  if (rotated != nullptr) *rotated = rotated_.load();
  return reason;
}

void ReportWorker::Failed() noexcept {
  SetEvent(failed_.Get());
  for (;;) Sleep(INFINITE);
}
