// The fixture of the real-crash tests: runs the crashing host with its report folder in a
// temporary folder (whose parents do not exist yet) and reads the text report it left.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crashlog_test_support.h"

constexpr DWORD kAccessViolation = 0xC0000005;

class CrashingHost : public ::testing::Test {
 protected:
  // Runs the host and reads ErrorLogs\Log1.log below the report folder.
  // host: another copy of the crashing host to run (empty: the built one).
  void Crash(const std::string& module, const std::string& mode, DWORD expected_exit,
             const std::string& argument = "", const std::string& host = "") {
    const DWORD code = RunCrashingHost(module, mode, argument, ReportFolder(), 90000, host);
    EXPECT_EQ(code, expected_exit) << mode << ": exit code " << std::hex << code;
    ASSERT_TRUE(IsFile(ErrorLogs() + "Log1.log")) << "no report in " << ErrorLogs();
    text_ = ReadBytes(ErrorLogs() + "Log1.log");
    lines_ = SplitCrLf(text_);
  }
  std::string ReportFolder() const { return folder_ / "profile\\Roaming\\Zell\\Host"; }
  std::string ErrorLogs() const { return ReportFolder() + "\\ErrorLogs\\"; }
  // The line after "[Exception]" at the given distance.
  std::string ExceptionLine(int distance) const {
    const int at = FindLine(lines_, "[Exception]");
    return at >= 0 && at + distance < static_cast<int>(lines_.size()) ? lines_[at + distance] : "(missing)";
  }
  // The n-th line of the exception's call stack (0: the crash address).
  std::string ExceptionStackLine(int n) const {
    const int at = FindLine(lines_, "Thread Callstack: ");
    return at >= 0 && at + 2 + n < static_cast<int>(lines_.size()) ? lines_[at + 2 + n] : "(missing)";
  }
  int Count(const std::string& line) const {
    int count = 0;
    for (const std::string& l : lines_) count += (l == line);
    return count;
  }

  NorvaneKeysScope keys_;
  TempFolder folder_;
  std::string text_;
  std::vector<std::string> lines_;
};

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

