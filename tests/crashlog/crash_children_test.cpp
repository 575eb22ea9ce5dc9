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

}  // namespace
