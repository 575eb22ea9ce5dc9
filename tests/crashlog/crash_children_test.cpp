// Real crashes: a host stand-in loads the test module, which holds the crash handler as the
// plug-in does, and crashes on purpose; the test reads what the report left behind. Each crash
// costs one to two seconds (the mini-dump alone about 0.8 s), so the checks of one crash are
// grouped into one test.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crashing_host.h"
#include "crashlog_test_support.h"

namespace {

TEST_F(CrashingHost, WriteToAddressZeroGivesACompleteReportInAFreshProfile) {
  Crash(TestModulePath(), "write-null", kAccessViolation);
  // The folders above "ErrorLogs" did not exist: they were created.
  EXPECT_EQ(ReadBytes(ErrorLogs() + "log1.dmp").substr(0, 4), "MDMP");

  const std::vector<std::string> headings = {"[Version: 1.0]", "[Process Info]", "[System Info]", "[Exception]",
                                             "[Modules]", "[Threads]"};
  int at = -1;
  for (const std::string& heading : headings) {
    const int found = FindLine(lines_, heading, at + 1);
    EXPECT_GT(found, at) << heading;
    at = found;
  }
  EXPECT_EQ(ExceptionLine(1), "Exception Type: EXCEPTION_ACCESS_VIOLATION");
  EXPECT_EQ(ExceptionLine(3), "Attempted write at address: 00000000");
  EXPECT_EQ(ExceptionLine(4).rfind("ThreadId: ", 0), 0u);
  // The crash address, in our own function, with its source line from DWARF 4; then its caller.
  const std::string address = ExceptionLine(2).substr(19);
  EXPECT_EQ(ExceptionStackLine(0).substr(0, 8), address);
  EXPECT_TRUE(Contains(ExceptionStackLine(0), "crashlog_host.exe")) << ExceptionStackLine(0);
  EXPECT_TRUE(Contains(ExceptionStackLine(0), "CrashByWritingNull | ")) << ExceptionStackLine(0);
  EXPECT_TRUE(Contains(ExceptionStackLine(0), "crashlog_host.cpp(")) << ExceptionStackLine(0);
  EXPECT_TRUE(Contains(ExceptionStackLine(1), "main | ")) << ExceptionStackLine(1);

  EXPECT_TRUE(Contains(text_, "crashlog_module.dll (")) << "module list";
  const std::string thread_block = "[ThreadId: " + ExceptionLine(4).substr(10) + "] ";
  const int block = FindLine(lines_, thread_block);
  ASSERT_GE(block, 0) << thread_block;
  EXPECT_GT(FindLine(lines_, "Registers:", block), block);
  EXPECT_EQ(text_.substr(text_.size() - 4), "\r\n\r\n");
  EXPECT_EQ(lines_[lines_.size() - 2].rfind("EFL=", 0), 0u);
}

TEST_F(CrashingHost, ReadFromAddressZeroAfterTheFilterWasClearedIsStillReported) {
  Crash(TestModulePath(), "read-null", kAccessViolation);
  EXPECT_EQ(ExceptionLine(1), "Exception Type: EXCEPTION_ACCESS_VIOLATION");
  EXPECT_EQ(ExceptionLine(3), "Attempted read at address: 00000000");
  EXPECT_TRUE(Contains(ExceptionStackLine(0), "CrashByReadingNull | ")) << ExceptionStackLine(0);
}

TEST_F(CrashingHost, DivideByZeroAndAnUnnamedCodeAreReportedByName) {
  Crash(TestModulePath(), "divide", 0xC0000094);
  EXPECT_EQ(ExceptionLine(1), "Exception Type: EXCEPTION_INT_DIVIDE_BY_ZERO");
  EXPECT_EQ(ExceptionLine(3).rfind("ThreadId: ", 0), 0u);  // no "Attempted" line
  EXPECT_TRUE(Contains(ExceptionStackLine(0), "CrashByDividing | ")) << ExceptionStackLine(0);

  SetCrashOptionText("NumberOfLogFiles", "2");
  Crash(TestModulePath(), "raise", 0xE0001234);
  EXPECT_EQ(ExceptionLine(1), "Exception Type: EXCEPTION_UNKNOWN");
  EXPECT_EQ(ExceptionLine(3).rfind("ThreadId: ", 0), 0u);
  // The first report moved up to Log2.log.
  EXPECT_TRUE(Contains(ReadBytes(ErrorLogs() + "Log2.log"), "EXCEPTION_INT_DIVIDE_BY_ZERO"));
}

TEST_F(CrashingHost, ACrashOnASecondThreadNamesThatThread) {
  const std::string ids_file = folder_ / "ids.txt";
  Crash(TestModulePath(), "thread", kAccessViolation, ids_file);
  unsigned long main_thread = 0;
  unsigned long crash_thread = 0;
  FILE* ids = std::fopen(ids_file.c_str(), "r");
  ASSERT_NE(ids, nullptr);
  ASSERT_EQ(std::fscanf(ids, "%lu %lu", &main_thread, &crash_thread), 2);
  std::fclose(ids);
  EXPECT_EQ(ExceptionLine(4), "ThreadId: " + std::to_string(crash_thread));
  EXPECT_TRUE(Contains(ExceptionStackLine(0), "CrashByWritingNull | ")) << ExceptionStackLine(0);
  EXPECT_TRUE(Contains(ExceptionStackLine(1), "CrashOnSecondThread | ")) << ExceptionStackLine(1);
  EXPECT_GE(FindLine(lines_, "[ThreadId: " + std::to_string(main_thread) + "] "), 0);
  EXPECT_GE(FindLine(lines_, "[ThreadId: " + std::to_string(crash_thread) + "] "), 0);
}

TEST_F(CrashingHost, TwoThreadsCrashingAtOnceLeaveOneWholeReport) {
  SetCrashOptionText("NumberOfLogFiles", "3");
  Crash(TestModulePath(), "two-threads", kAccessViolation);
  EXPECT_EQ(Count("[Exception]"), 1);
  EXPECT_EQ(Count("[Version: 1.0]"), 1);
  EXPECT_FALSE(IsFile(ErrorLogs() + "Log2.log"));
  EXPECT_EQ(lines_[lines_.size() - 2].rfind("EFL=", 0), 0u);
  // The thread that lost the race waited inside the handler while the report was written.
  int waiting = 0;
  for (const std::string& line : lines_) waiting += Contains(line, "HandleCrash | ");
  EXPECT_GE(waiting, 1);
}

// Under Wine, the host's "dbghelp.dll" is the one found beside it for a scope: Wine's per-program
// override, which Windows does not read.
class NativeDebugHelpForTheHost {
 public:
  explicit NativeDebugHelpForTheHost(bool wanted) : wanted_(wanted) {
    if (!wanted_) return;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
      return;
    }
    static const char kNative[] = "native";
    RegSetValueExA(key, "dbghelp", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNative), sizeof kNative);
    RegCloseKey(key);
  }
  ~NativeDebugHelpForTheHost() {
    if (wanted_) RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\crashlog_host.exe");
  }
  NativeDebugHelpForTheHost(const NativeDebugHelpForTheHost&) = delete;
  NativeDebugHelpForTheHost& operator=(const NativeDebugHelpForTheHost&) = delete;

 private:
  static constexpr const char* kKey = "Software\\Wine\\AppDefaults\\crashlog_host.exe\\DllOverrides";
  bool wanted_;
};

// The crashes the full report cannot be written for, and the ones that used to cost it: each
// ends the host within seconds, leaves the report the design gives, and keeps the report
// before it as Log2.log.
struct HardCrash {
  const char* mode;
  const char* argument;
  // The host runs beside a "dbghelp.dll" whose function of this name crashes (null: it does not).
  const char* crashing_dbghelp_function;
  const char* emergency_reason;  // null: a full report
  const char* crashing_module;   // the module the exception address falls in
  DWORD exit_code;
};

class HardCrashes : public CrashingHost, public ::testing::WithParamInterface<HardCrash> {};

TEST_P(HardCrashes, EndQuicklyWithTheirReportAndKeepThePreviousOne) {
  const HardCrash& crash = GetParam();
  SetCrashOptionText("NumberOfLogFiles", "2");
  MakeFolder(ErrorLogs());
  WriteBytes(ErrorLogs() + "Log1.log", "the previous report\r\n");
  std::string host;
  ScopedEnvironment crashing_function("WF_CRASHING_DBGHELP", crash.crashing_dbghelp_function);
  // Wine loads its own debug-help library even from a path beside the executable unless told
  // to take the one found there (Windows takes the path as given).
  NativeDebugHelpForTheHost take_native(crash.crashing_dbghelp_function != nullptr);
  if (crash.crashing_dbghelp_function != nullptr) {
    host = folder_ / "host\\crashlog_host.exe";
    MakeFolder(folder_ / "host");
    ASSERT_TRUE(CopyFileA(HostPath().c_str(), host.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(WindowsPath(CRASHING_DBGHELP_PATH).c_str(), (folder_ / "host\\dbghelp.dll").c_str(), FALSE));
  }
  const DWORD started = GetTickCount();
  Crash(TestModulePath(), crash.mode, crash.exit_code, *crash.argument != '\0' ? WindowsPath(crash.argument) : "", host);
  const DWORD took = GetTickCount() - started;
  EXPECT_LT(took, 10000u) << "from the start of the host to its end";
  EXPECT_EQ(ReadBytes(ErrorLogs() + "Log2.log"), "the previous report\r\n");

  ASSERT_GE(lines_.size(), 5u);
  EXPECT_EQ(lines_[0], "[Version: 1.0]");
  if (crash.emergency_reason != nullptr) {
    // After what a full report wrote before it stopped, if anything.
    const int reason = FindLine(lines_, std::string("Emergency report: ") + crash.emergency_reason + ".");
    ASSERT_GE(reason, 4) << text_;
    EXPECT_EQ(lines_[static_cast<std::size_t>(reason) - 4], "[Version: 1.0]");
    const int exception = FindLine(lines_, "[Exception]", reason);
    ASSERT_GT(exception, reason);
    EXPECT_EQ(lines_[static_cast<std::size_t>(exception) + 1], "Exception Type: EXCEPTION_ACCESS_VIOLATION");
    const int module_line = FindLine(lines_, "Exception Code: C0000005") + 1;
    ASSERT_GT(module_line, 0);
    EXPECT_TRUE(Contains(lines_[module_line], std::string(" ") + crash.crashing_module + "+")) << lines_[module_line];
    // The raw stack goes on into the host's main.
    const int stack = FindLine(lines_, "Thread Callstack (raw, return addresses found on the stack): ");
    ASSERT_GE(stack, 0);
    int host_frames = 0;
    for (std::size_t i = static_cast<std::size_t>(stack) + 1; i < lines_.size() && !lines_[i].empty(); ++i) {
      host_frames += Contains(lines_[i], " crashlog_host.exe+");
    }
    EXPECT_GE(host_frames, 2);
    EXPECT_GE(FindLine(lines_, "Registers:"), 0);
  } else {
    EXPECT_EQ(Count("[Exception]"), 1);
    EXPECT_GE(FindLine(lines_, "[Threads]"), 0);
    EXPECT_EQ(lines_[lines_.size() - 2].rfind("EFL=", 0), 0u) << "the report is complete";
  }
}

const HardCrash kHardCrashes[] = {
    {"heap-lock", "", nullptr,
     "the process heap stayed locked: the crashing thread holds its lock, or crashed inside the heap",
     "crashlog_host.exe", kAccessViolation},
    {"heap-corrupt", "", nullptr,
     "the process heap stayed locked: the crashing thread holds its lock, or crashed inside the heap", "ntdll.dll",
     kAccessViolation},
    {"loader-lock", "", nullptr, "the crashing thread holds the loader lock", "crashlog_host.exe", kAccessViolation},
    {"write-null", "", "SymInitialize", "the report writer crashed before the text report was complete",
     "crashlog_host.exe", kAccessViolation},
    {"write-null", "", "MiniDumpWriteDump", nullptr, "crashlog_host.exe", kAccessViolation},
    {"stack-overflow", "", nullptr, nullptr, "crashlog_host.exe", 0xC00000FD},
};

INSTANTIATE_TEST_SUITE_P(Crashes, HardCrashes, ::testing::ValuesIn(kHardCrashes),
                         [](const ::testing::TestParamInfo<HardCrash>& crash_info) {
                           std::string name = crash_info.param.mode;
                           for (char& c : name) c = c == '-' ? '_' : c;
                           const char* function = crash_info.param.crashing_dbghelp_function;
                           return function == nullptr ? name : name + "_with_a_crashing_" + function;
                         });

TEST_F(CrashingHost, AStackOverflowListsAThousandFramesAndCountsTheRest) {
  Crash(TestModulePath(), "stack-overflow", 0xC00000FD);
  EXPECT_EQ(ExceptionLine(1), "Exception Type: EXCEPTION_STACK_OVERFLOW");
  int left_out = 0;
  for (const std::string& line : lines_) left_out += Contains(line, " more frames left out");
  EXPECT_EQ(left_out, 2) << "the exception's stack and the thread's block";
  EXPECT_LT(lines_.size(), 2u * 1000u + 400u);
}

}  // namespace
