// The report files: options from the registry, the report folder, the rotation of
// Log1..LogN, and one complete report written in this process (it costs a few seconds: the
// symbols of this large test program and the mini-dump). A report on a fresh profile is
// shown by the crashing host.
#include <windows.h>
#include <dbghelp.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crashlog/crashreport.h"
#include "crashlog/crashreportwriter.h"
#include "platform/directories.h"
#include "crashlog_test_support.h"

namespace {

std::string ExecutableFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder = path;
  return folder.substr(0, folder.rfind('\\'));
}

// A temporary folder with "ErrorLogs" inside, entered for the test; the registry keys are
// deleted before and after.
class ReportFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_directory_ = CurrentDirectory();
    ASSERT_TRUE(CreateFolderChain((folder_ / "ErrorLogs").c_str()));
  }
  void TearDown() override { SetCurrentDirectoryA(saved_directory_.c_str()); }

  std::string Folder() const { return folder_.Path() + "\\"; }
  std::string Log(int number) const { return folder_ / ("ErrorLogs\\Log" + std::to_string(number) + ".log"); }

  NorvaneKeysScope keys_;
  TempFolder folder_;
  std::string saved_directory_;
};

TEST_F(ReportFolder, NumberOfLogFilesIsTextFromOneToTenThousand) {
  EXPECT_EQ(ReadNumberOfReports(), 1u);  // no key
  struct Case { const char* text; unsigned long count; };
  const Case cases[] = {{"3", 3},    {"1", 1},       {"10000", 10000}, {"10001", 1},      {"20000", 1},
                        {"0", 1},    {"-3", 1},      {"many", 1},      {"", 1},           {" 7", 7},
                        {"12abc", 12}, {"99999999999", 1}};
  for (const Case& c : cases) {
    SetCrashOptionText("NumberOfLogFiles", c.text);
    EXPECT_EQ(ReadNumberOfReports(), c.count) << '"' << c.text << '"';
  }
  // Text longer than its 256-byte buffer is unusable, not cut.
  SetCrashOptionText("NumberOfLogFiles", ("5" + std::string(300, '0')).c_str());
  EXPECT_EQ(ReadNumberOfReports(), 1u);
}

TEST_F(ReportFolder, RotationMovesReportsUpAndLeavesHigherNumbersAlone) {
  struct Case {
    unsigned long count;
    std::map<int, std::string> expected;  // file number -> content ("<missing>": absent)
  };
  const Case cases[] = {
      {1, {{1, "<missing>"}, {2, "old2"}, {3, "old3"}, {4, "old4"}}},
      {2, {{1, "<missing>"}, {2, "old1"}, {3, "old3"}, {4, "old4"}}},  // lowered below what is on disk
      {3, {{1, "<missing>"}, {2, "old1"}, {3, "old2"}, {4, "old4"}}},
      {10000, {{1, "<missing>"}, {2, "old1"}, {3, "old2"}, {4, "old3"}, {5, "old4"}}},
  };
  SetCurrentDirectoryA((folder_ / "ErrorLogs").c_str());
  for (const Case& c : cases) {
    for (int n = 1; n <= 5; ++n) DeleteFileA(Log(n).c_str());
    for (int n = 1; n <= 4; ++n) WriteBytes(Log(n), "old" + std::to_string(n));
    RotateReports(c.count);
    for (const auto& [number, content] : c.expected) {
      EXPECT_EQ(ReadBytes(Log(number)), content) << "count " << c.count << ", Log" << number;
    }
  }
}

TEST_F(ReportFolder, ThreeReportsAreKeptOverThreeCrashes) {
  SetCurrentDirectoryA((folder_ / "ErrorLogs").c_str());
  WriteBytes(Log(3), "from an earlier run");
  for (int crash = 1; crash <= 4; ++crash) {
    RotateReports(3);
    WriteBytes(Log(1), "crash " + std::to_string(crash));
  }
  EXPECT_EQ(ReadBytes(Log(1)), "crash 4");
  EXPECT_EQ(ReadBytes(Log(2)), "crash 3");
  EXPECT_EQ(ReadBytes(Log(3)), "crash 2");
  EXPECT_FALSE(IsFile(Log(4)));
}

TEST_F(ReportFolder, FolderComesFromTheHandlerThenUserDataPathThenTheExecutable) {
  struct Case { const char* passed; const char* user_data; std::string folder; };
  const Case cases[] = {
      {"C:\\Reports\\", "D:\\Data\\", "C:\\Reports\\"},
      {"C:\\Reports", nullptr, "C:\\Reports\\"},
      {"", "D:\\Data\\", "D:\\Data\\"},
      {"", "D:\\Data", "D:\\Data\\"},  // not "D:\DataErrorLogs"
      {"", nullptr, ExecutableFolder() + "\\"},
      {"", "", ExecutableFolder() + "\\"},
  };
  for (const Case& c : cases) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Norvane");
    if (c.user_data != nullptr) SetUserDataPath(c.user_data);
    char folder[kReportPathSize];
    std::memset(folder, 'z', sizeof folder);
    ChooseReportFolder(c.passed, folder);
    EXPECT_EQ(std::string(folder), c.folder) << '"' << c.passed << "\" / " << (c.user_data ? c.user_data : "no value");
  }
}

TEST_F(ReportFolder, ErrorLogFolderIsCreatedWithItsParentsAndEntered) {
  char folder[kReportPathSize] = {};
  const std::string fresh = folder_ / "fresh\\Roaming\\Zell\\Brisola\\";
  std::strcpy(folder, fresh.c_str());
  ASSERT_TRUE(EnterErrorLogFolder(folder));
  EXPECT_EQ(std::string(folder), fresh + "ErrorLogs");
  EXPECT_EQ(CurrentDirectory(), fresh + "ErrorLogs");

  // A folder that cannot be entered leaves the current directory where it was.
  WriteBytes(folder_ / "file", "x");
  const std::string before = CurrentDirectory();
  std::strcpy(folder, (folder_ / "file" + "\\").c_str());
  EXPECT_FALSE(EnterErrorLogFolder(folder));
  EXPECT_EQ(CurrentDirectory(), before);
  // Too long to take "ErrorLogs": refused, not cut.
  std::memset(folder, 'a', sizeof folder - 5);
  folder[sizeof folder - 5] = '\0';
  EXPECT_FALSE(EnterErrorLogFolder(folder));
  EXPECT_EQ(CurrentDirectory(), before);
}

TEST_F(ReportFolder, SymbolPathAndMiniDumpOptionsHaveDefaults) {
  char path[kReportPathSize];
  ReadSymbolSearchPath(path);
  EXPECT_EQ(std::string(path), ExecutableFolder());
  EXPECT_EQ(ReadMiniDumpType(), 0u);

  SetCrashOptionText("SymbolPath", "C:\\symbols;D:\\more");
  ReadSymbolSearchPath(path);
  EXPECT_STREQ(path, "C:\\symbols;D:\\more");
  SetCrashOptionNumber("MiniDumpOptions", 0x2);
  EXPECT_EQ(ReadMiniDumpType(), 2u);
  // More than four bytes is not a dump type.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Norvane\\Preferences\\CrashLogOptions", 0, KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  const unsigned char eight[8] = {2, 0, 0, 0, 0, 0, 0, 0};
  RegSetValueExA(key, "MiniDumpOptions", 0, REG_BINARY, eight, sizeof eight);
  RegCloseKey(key);
  EXPECT_EQ(ReadMiniDumpType(), 0u);
}

TEST(FormatReportName, NumbersWithoutLeadingZerosAndRefusesWhatDoesNotFit) {
  char name[20];
  EXPECT_TRUE(FormatReportName(1, name, sizeof name));
  EXPECT_STREQ(name, "Log1.log");
  EXPECT_TRUE(FormatReportName(10000, name, sizeof name));
  EXPECT_STREQ(name, "Log10000.log");
  char small[8];
  std::memset(small, 'z', sizeof small);
  EXPECT_FALSE(FormatReportName(1, small, sizeof small));
  EXPECT_STREQ(small, "");
}

// ---- complete reports --------------------------------------------------------------------

// The mini-dump's exception stream: which thread crashed, with which code.
bool ReadDumpException(const std::string& dump, DWORD* thread, DWORD* code) {
  if (dump.size() < sizeof(MINIDUMP_HEADER) || dump.compare(0, 4, "MDMP") != 0) return false;
  MINIDUMP_HEADER header;
  std::memcpy(&header, dump.data(), sizeof header);
  for (ULONG32 i = 0; i < header.NumberOfStreams; ++i) {
    MINIDUMP_DIRECTORY entry;
    const std::size_t at = header.StreamDirectoryRva + i * sizeof entry;
    if (at + sizeof entry > dump.size()) return false;
    std::memcpy(&entry, dump.data() + at, sizeof entry);
    if (entry.StreamType != ExceptionStream || entry.Location.Rva + sizeof(MINIDUMP_EXCEPTION_STREAM) > dump.size()) {
      continue;
    }
    MINIDUMP_EXCEPTION_STREAM stream;
    std::memcpy(&stream, dump.data() + entry.Location.Rva, sizeof stream);
    *thread = stream.ThreadId;
    *code = stream.ExceptionRecord.ExceptionCode;
    return true;
  }
  return false;
}

// Writes a report for a made-up exception with this thread's real registers.
void WriteReport(const std::string& report_folder, DWORD code) {
  FakeException crash(code, 2, 1, 0);
  CrashReportWriter capture;
  capture.CaptureThreadContext(0, &crash.context);
  WriteCrashReport(report_folder.c_str(), &crash.pointers, GetCurrentThreadId());
}

TEST_F(ReportFolder, ACompleteReportWithoutOptionsReplacesLog1) {
  const std::string elsewhere = folder_ / "elsewhere";
  CreateDirectoryA(elsewhere.c_str(), nullptr);
  SetCurrentDirectoryA(elsewhere.c_str());
  WriteBytes(Log(1), "old report\r\n");
  WriteBytes(folder_ / "ErrorLogs\\log1.dmp", std::string(300000, 'x'));

  WriteReport(Folder(), 0xC0000094);

  EXPECT_EQ(CurrentDirectory(), elsewhere);
  const std::string text = ReadBytes(Log(1));
  EXPECT_EQ(text.find("old report"), std::string::npos);
  EXPECT_FALSE(IsFile(Log(2)));
  const std::vector<std::string> lines = SplitCrLf(text);
  const std::vector<std::string> headings = {"[Version: 1.0]", "[Process Info]", "[System Info]", "[Exception]",
                                             "[Modules]", "[Threads]",
                                             "[ThreadId: " + std::to_string(GetCurrentThreadId()) + "] "};
  int at = -1;
  for (const std::string& heading : headings) {
    const int found = FindLine(lines, heading, at + 1);
    EXPECT_GT(found, at) << heading;
    at = found;
  }
  EXPECT_EQ(lines[FindLine(lines, "[Exception]") + 1], "Exception Type: EXCEPTION_INT_DIVIDE_BY_ZERO");
  EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");
  EXPECT_FALSE(IsFile(folder_ / "elsewhere\\Log1.log"));

  // A normal mini-dump, replacing the old file, with the crashing thread's exception.
  DWORD thread = 0;
  DWORD code = 0;
  ASSERT_TRUE(ReadDumpException(ReadBytes(folder_ / "ErrorLogs\\log1.dmp"), &thread, &code));
  EXPECT_EQ(thread, GetCurrentThreadId());
  EXPECT_EQ(code, 0xC0000094u);
}

}  // namespace
