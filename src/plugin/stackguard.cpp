// The stack protector's and the fortified functions' run time, for this module alone.
//
// GCC's libssp would serve both, but its failure path writes to the console and calls _exit: the
// host would vanish without a crash report, on exactly the crashes (a smashed stack, an overrun
// buffer) whose report matters most. Its canary is also seeded by a constructor that loads the
// cryptographic provider under the loader lock. Defining the three symbols here keeps libssp's
// ssp.o out of the link; its checking functions (__memcpy_chk and the rest) still come from
// libssp and fail through __chk_fail below.
//
// A failure is reported the way the Windows compiler's own /GS run time did before fail-fast
// existed: the unhandled-exception filter is called directly with STATUS_STACK_BUFFER_OVERRUN,
// without raising an exception whose dispatch would walk handler records on the damaged stack,
// and the process then ends with that status. The crash handler's filter writes its report.
#include <windows.h>

#include <cstdint>

namespace {

// Found when the module loads, so that the DLL's imports stay what they were without the
// guard, and a failure takes no lock to find them (the loader's may be held).
using CaptureContextFunction = VOID WINAPI(PCONTEXT);
using FilterFunction = LONG WINAPI(EXCEPTION_POINTERS*);
CaptureContextFunction* g_capture_context = nullptr;
FilterFunction* g_unhandled_exception_filter = nullptr;

constexpr DWORD kStackBufferOverrun = 0xC0000409;  // STATUS_STACK_BUFFER_OVERRUN
constexpr ULONG_PTR kStackCookieCheckFailure = 2;   // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
constexpr ULONG_PTR kRangeCheckFailure = 8;         // FAST_FAIL_RANGE_CHECK_FAILURE

// The address of the call that failed, from its return address. The compiler puts the failing
// check's call last in the function, so the return address may already lie in the next function:
// the call itself (a direct call, E8 and four bytes) names the function whose buffer overran.
DWORD CallSite(void* return_address) {
  const auto* after = static_cast<const unsigned char*>(return_address);
  const DWORD address = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(return_address));
  return after[-5] == 0xE8 ? address - 5 : address - 1;
}

// Reports the failure as having happened at the failing check's call, in the function whose
// buffer overran, with that function's frame (frame: this module's failing routine's own frame,
// whose first word is the caller's frame pointer), then ends the process.
[[noreturn]] __attribute__((noinline, no_stack_protector)) void ReportAndTerminate(ULONG_PTR kind,
                                                                                  void* return_address,
                                                                                  void* frame) {
  CONTEXT context = {};
  if (g_capture_context != nullptr) g_capture_context(&context);
  context.ContextFlags |= CONTEXT_CONTROL;
  const DWORD frame_address = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(frame));
  context.Eip = CallSite(return_address);
  context.Ebp = *static_cast<const DWORD*>(frame);
  context.Esp = frame_address + 8;

  EXCEPTION_RECORD record = {};
  record.ExceptionCode = kStackBufferOverrun;
  record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
  record.ExceptionAddress = reinterpret_cast<void*>(static_cast<std::uintptr_t>(context.Eip));
  record.NumberParameters = 1;
  record.ExceptionInformation[0] = kind;
  EXCEPTION_POINTERS pointers = {&record, &context};
  if (g_unhandled_exception_filter != nullptr) g_unhandled_exception_filter(&pointers);
  TerminateProcess(GetCurrentProcess(), kStackBufferOverrun);
  for (;;) Sleep(INFINITE);
}

}  // namespace

extern "C" {

// The canary. Nonzero from the start, so that checks made before it is seeded (none are: see
// SeedStackGuard) would still pass.
void* __stack_chk_guard = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x2F8A5900u));

[[noreturn]] __attribute__((noinline, no_stack_protector)) void __stack_chk_fail() {
  ReportAndTerminate(kStackCookieCheckFailure, __builtin_return_address(0), __builtin_frame_address(0));
}

[[noreturn]] __attribute__((noinline, no_stack_protector)) void __chk_fail() {
  ReportAndTerminate(kRangeCheckFailure, __builtin_return_address(0), __builtin_frame_address(0));
}

}  // extern "C"

namespace {

// Seeds the canary before any other of the module's constructors runs, while only the C run
// time's start-up routines (built without the protector) are on the stack: a function whose
// frame holds the old canary must not return after the change. The sources are those the Windows
// compiler's run time mixes for its own cookie, read with no library loaded: the time, the
// process and thread, the tick count, and the addresses that address-space layout randomisation
// moves. The lowest byte stays zero, so that a string copy running over the canary cannot write
// it back whole. Then the two functions a failure calls are found in kernel32, loaded already.
__attribute__((constructor(101), no_stack_protector)) void SeedStackGuard() {
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  std::uint32_t seed = now.dwLowDateTime ^ now.dwHighDateTime;
  seed ^= GetCurrentProcessId() * 0x9E3779B1u;
  seed ^= GetCurrentThreadId() << 16;
  seed ^= static_cast<std::uint32_t>(GetTickCount64());
  seed ^= static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&now));
  seed ^= static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&SeedStackGuard)) >> 4;
  // A final mix (from MurmurHash3's) spreads every source over every bit.
  seed ^= seed >> 16;
  seed *= 0x85EBCA6Bu;
  seed ^= seed >> 13;
  seed *= 0xC2B2AE35u;
  seed ^= seed >> 16;
  seed &= ~0xFFu;
  if (seed == 0) seed = 0x2F8A5900u;
  __stack_chk_guard = reinterpret_cast<void*>(static_cast<std::uintptr_t>(seed));

  if (HMODULE kernel = GetModuleHandleA("kernel32.dll")) {
    g_capture_context = reinterpret_cast<CaptureContextFunction*>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "RtlCaptureContext")));
    g_unhandled_exception_filter = reinterpret_cast<FilterFunction*>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "UnhandledExceptionFilter")));
  }
}

}  // namespace
