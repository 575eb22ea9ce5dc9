// The exceptions that reach a 32-bit program's unhandled-exception filter, one kind of fault at a
// time, checked against what Windows gives for each: the code, the faulting address and the
// parameters. Under user-mode emulation (tools/run32) these depend on the trap number that the
// emulator leaves out of its signal frames and the rig's preloaded fix puts back; without it
// every access violation arrives as an illegal instruction and a division by zero as a
// floating-point fault. Each case crashes a child copy of this program, whose filter writes what
// reached it into a file:
//   trap_codes_tests.exe --crash <case> [<file>]   (without a file, to standard output)
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "testfiles.h"

// The faulting instructions, each at a global label so that the child can say where it is.
extern "C" {
void CrashReadAt0x10();
void CrashWriteAt0x20();
void CrashWriteNull();
void CrashCallNull();
void CrashDivideByZero();
void CrashBreakpoint();
void CrashIllegalInstruction();
extern char wf_read_site[], wf_write_site[], wf_write_null_site[], wf_divide_site[], wf_breakpoint_site[], wf_illegal_site[];
}

__asm__(
    ".text\n"
    ".globl _CrashReadAt0x10\n_CrashReadAt0x10:\n"
    ".globl _wf_read_site\n_wf_read_site: movl 0x10, %eax\n ret\n"
    ".globl _CrashWriteAt0x20\n_CrashWriteAt0x20:\n"
    ".globl _wf_write_site\n_wf_write_site: movl $1, 0x20\n ret\n"
    ".globl _CrashWriteNull\n_CrashWriteNull: xorl %eax, %eax\n"
    ".globl _wf_write_null_site\n_wf_write_null_site: movl $1, (%eax)\n ret\n"
    ".globl _CrashCallNull\n_CrashCallNull: xorl %eax, %eax\n call *%eax\n ret\n"
    ".globl _CrashDivideByZero\n_CrashDivideByZero: pushl %ebx\n movl $5, %eax\n xorl %edx, %edx\n"
    " xorl %ebx, %ebx\n"
    ".globl _wf_divide_site\n_wf_divide_site: idivl %ebx\n popl %ebx\n ret\n"
    ".globl _CrashBreakpoint\n_CrashBreakpoint:\n"
    ".globl _wf_breakpoint_site\n_wf_breakpoint_site: int3\n ret\n"
    ".globl _CrashIllegalInstruction\n_CrashIllegalInstruction:\n"
    ".globl _wf_illegal_site\n_wf_illegal_site: ud2\n ret\n");

namespace {

// Set by the child before it crashes: where the report goes, opened beforehand (after a stack
// overflow the filter has little stack left, too little for Wine to open a file), and the address
// to expect.
HANDLE g_report = INVALID_HANDLE_VALUE;
const void* g_site;

// Runs on the faulting thread, possibly with little stack left: no heap, a fixed buffer.
LONG WINAPI WriteWhatArrived(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  // Whether the second parameter lies in this thread's stack reservation (a stack overflow's).
  MEMORY_BASIC_INFORMATION parameter_region = {}, stack_region = {};
  const char local = 0;
  VirtualQuery(reinterpret_cast<const void*>(record->ExceptionInformation[1]), &parameter_region,
               sizeof parameter_region);
  VirtualQuery(&local, &stack_region, sizeof stack_region);
  const bool on_stack = record->NumberParameters >= 2 && parameter_region.AllocationBase != nullptr &&
                        parameter_region.AllocationBase == stack_region.AllocationBase;
  char text[200];
  const int length = std::snprintf(
      text, sizeof text, "code=%08lx address=%08lx site=%08lx parameters=%lu first=%08lx second=%08lx on_stack=%d\n",
      record->ExceptionCode,
      static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(record->ExceptionAddress)),
      static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(g_site)), record->NumberParameters,
      static_cast<unsigned long>(record->NumberParameters >= 1 ? record->ExceptionInformation[0] : 0),
      static_cast<unsigned long>(record->NumberParameters >= 2 ? record->ExceptionInformation[1] : 0),
      on_stack ? 1 : 0);
  DWORD written = 0;
  WriteFile(g_report, text, length > 0 ? static_cast<DWORD>(length) : 0, &written, nullptr);
  TerminateProcess(GetCurrentProcess(), 0);
  return EXCEPTION_EXECUTE_HANDLER;
}

// Deep enough for any stack; the compiler cannot tell that it never stops.
volatile int g_depth_limit = 0x7fffffff;

__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[1024];
  frame[0] = static_cast<char>(depth);
  if (depth >= g_depth_limit) return frame[0];
  return Recurse(depth + 1) + frame[0];
}

void CrashStackOverflow() { Recurse(0); }

struct Fault {
  const char* name;
  void (*crash)();
  bool address_known;  // the exception address is the site below
  const void* site;    // the faulting instruction (0 for a call through a null pointer)
  DWORD code;
  // Expected parameters; kAny where the test checks it otherwise or Windows leaves it open.
  DWORD parameter_count;
  ULONG_PTR first;
  ULONG_PTR second;
};
constexpr ULONG_PTR kAny = ~static_cast<ULONG_PTR>(0);

// A failing case is named, not dumped as bytes.
void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

// Windows' answers. An access violation's first parameter is 0 for a read, 1 for a write and 8
// for an instruction fetch (execution prevention), its second the address accessed.
const Fault kFaults[] = {
    {"read_unmapped", CrashReadAt0x10, true, wf_read_site, EXCEPTION_ACCESS_VIOLATION, 2, 0, 0x10},
    {"write_unmapped", CrashWriteAt0x20, true, wf_write_site, EXCEPTION_ACCESS_VIOLATION, 2, 1, 0x20},
    {"write_null", CrashWriteNull, true, wf_write_null_site, EXCEPTION_ACCESS_VIOLATION, 2, 1, 0},
    {"call_null", CrashCallNull, true, nullptr, EXCEPTION_ACCESS_VIOLATION, 2, 8, 0},
    {"divide_by_zero", CrashDivideByZero, true, wf_divide_site, EXCEPTION_INT_DIVIDE_BY_ZERO, 0, kAny, kAny},
    {"breakpoint", CrashBreakpoint, true, wf_breakpoint_site, EXCEPTION_BREAKPOINT, kAny, kAny, kAny},
    {"illegal_instruction", CrashIllegalInstruction, true, wf_illegal_site, EXCEPTION_ILLEGAL_INSTRUCTION, 0, kAny,
     kAny},
    // The address is somewhere in the recursion; the second parameter lies in the stack.
    {"stack_overflow", CrashStackOverflow, false, nullptr, EXCEPTION_STACK_OVERFLOW, 2, 1, kAny},
};

const Fault* FindFault(const char* name) {
  for (const Fault& fault : kFaults) {
    if (std::strcmp(fault.name, name) == 0) return &fault;
  }
  return nullptr;
}

struct Arrived {
  DWORD code = 0;
  ULONG_PTR address = 0;
  ULONG_PTR site = 0;
  DWORD parameter_count = 0;
  ULONG_PTR first = 0;
  ULONG_PTR second = 0;
  int on_stack = 0;
};

// Runs this program as "--crash <name> <report>" and reads what its filter wrote.
bool RunCrashingChild(const Fault& fault, Arrived* arrived) {
  TempFolder folder("trap");
  const std::string report = folder / "arrived.txt";
  char program[MAX_PATH];
  if (GetModuleFileNameA(nullptr, program, sizeof program) == 0) return false;
  std::string command = std::string("\"") + program + "\" --crash " + fault.name + " \"" + report + "\"";
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    ADD_FAILURE() << "cannot start " << command << ": error " << GetLastError();
    return false;
  }
  const bool ended = WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (!ended) {
    ADD_FAILURE() << fault.name << ": the child did not end within two minutes";
    return false;
  }
  const std::string text = ReadBytes(report);
  unsigned long values[6] = {};
  if (std::sscanf(text.c_str(), "code=%lx address=%lx site=%lx parameters=%lu first=%lx second=%lx on_stack=%d",
                  &values[0], &values[1], &values[2], &values[3],
                  &values[4], &values[5], &arrived->on_stack) != 7) {
    ADD_FAILURE() << fault.name << ": no exception reached the filter (report: " << text << ")";
    return false;
  }
  arrived->code = values[0];
  arrived->address = values[1];
  arrived->site = values[2];
  arrived->parameter_count = values[3];
  arrived->first = values[4];
  arrived->second = values[5];
  return true;
}

class TrapCodes : public testing::TestWithParam<Fault> {};

TEST_P(TrapCodes, ArriveAsWindowsGivesThem) {
  const Fault& fault = GetParam();
  Arrived arrived;
  if (!RunCrashingChild(fault, &arrived)) return;
  EXPECT_EQ(arrived.code, fault.code) << std::hex << "code 0x" << arrived.code;
  if (fault.address_known) {
    EXPECT_EQ(arrived.address, arrived.site) << std::hex << "exception at 0x" << arrived.address;
  }
  if (fault.parameter_count != kAny) {
    EXPECT_EQ(arrived.parameter_count, fault.parameter_count);
  }
  if (fault.first != kAny) {
    EXPECT_EQ(arrived.first, fault.first) << "first parameter";
  }
  if (fault.second != kAny) {
    EXPECT_EQ(arrived.second, fault.second) << std::hex << "second parameter";
  }
  if (fault.code == EXCEPTION_STACK_OVERFLOW) {
    EXPECT_EQ(arrived.on_stack, 1) << std::hex << "0x" << arrived.second << " is not in the thread's stack";
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, TrapCodes, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<Fault>& case_info) { return std::string(case_info.param.name); });

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--crash") == 0) {
    const Fault* fault = FindFault(argv[2]);
    if (fault == nullptr) return 2;
    g_report = argc == 4 ? CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)
                         : GetStdHandle(STD_OUTPUT_HANDLE);
    if (g_report == INVALID_HANDLE_VALUE || g_report == nullptr) return 2;
    g_site = fault->site;
    SetUnhandledExceptionFilter(WriteWhatArrived);
    fault->crash();
    return 3;  // no fault
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
