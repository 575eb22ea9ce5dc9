// The report's text, section by section, written through a CrashReportWriter into a
// temporary file: every format byte for byte where the values can be fixed, the structure
// where they come from the live process.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crashlog/crashreportwriter.h"
#include "crashlog_test_support.h"

namespace {

// One writer for the suite, prepared once (registering the symbols of this large program
// takes seconds); each test writes into a file of its own.
class ReportSection : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    writer_ = new CrashReportWriter;
    writer_->PrepareInspection();
  }
  static void TearDownTestSuite() {
    delete writer_;
    writer_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(writer_->Open(ReportPath().c_str())); }
  void TearDown() override { writer_->CloseReportFile(); }

  std::string ReportPath() const { return folder_ / "report.log"; }
  // Everything after the header (the header ends with the creation-time line and a blank one).
  std::string Body() const {
    const std::string text = ReadBytes(ReportPath());
    const std::size_t end = text.find("(UTC)\r\n\r\n");
    return end == std::string::npos ? text : text.substr(end + 9);
  }
  std::vector<std::string> BodyLines() const { return SplitCrLf(Body()); }

  // Runs write on the shared writer with a fresh report file; the lines after the header.
  template <typename Write>
  static std::vector<std::string> LinesOf(Write write) {
    TempFolder folder;
    const std::string path = folder / "r.log";
    EXPECT_TRUE(writer_->Open(path.c_str()));
    write(*writer_);
    writer_->CloseReportFile();
    std::vector<std::string> lines = SplitCrLf(ReadBytes(path));
    if (lines.size() >= 4) lines.erase(lines.begin(), lines.begin() + 4);
    return lines;
  }

  static CrashReportWriter* writer_;
  TempFolder folder_;
};

CrashReportWriter* ReportSection::writer_ = nullptr;

// "%08lX%13lX:%-17lX %-20s%s | %s(%lu)" for an address no module holds, without symbols.
std::string UnknownStackLine(const char* address) {
  return std::string(address) + std::string(12, ' ') + "0:0" + std::string(16, ' ') + " " +
         std::string(20, ' ') + " | Unknown(0)";
}

const std::string kStackTitle =
    "Address             Section:Offset      ModuleName          FunctionName | FileName(Line#)";

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}
bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// ---- the write primitive -------------------------------------------------------------

TEST(Print, WritesNothingWithoutAnOpenFile) {
  CrashReportWriter writer;
  EXPECT_FALSE(writer.Print("text\r\n"));
}

TEST_F(ReportSection, PrintWritesTheFormattedBytesAndNothingElse) {
  EXPECT_TRUE(writer_->Print("a=%lu b=%s", 12ul, "x"));
  EXPECT_FALSE(writer_->Print("%s", ""));
  EXPECT_EQ(Body(), "a=12 b=x");
}

TEST_F(ReportSection, PrintCutsAnOverlongLineAndKeepsItsLineEnd) {
  const std::string fits(1021, 'f');
  const std::string too_long(3000, 'x');
  EXPECT_TRUE(writer_->Print("%s\r\n", fits.c_str()));
  EXPECT_TRUE(writer_->Print("%s\r\n", too_long.c_str()));
  EXPECT_TRUE(writer_->Print("%s", too_long.c_str()));
  EXPECT_TRUE(writer_->Print("\r\nnext\r\n"));
  const std::vector<std::string> lines = BodyLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], fits);  // 1,023 bytes with its line end: not cut
  EXPECT_EQ(lines[1], std::string(1021, 'x'));
  EXPECT_EQ(lines[2], std::string(1023, 'x'));
  EXPECT_EQ(lines[3], "next");
}

// ---- header -----------------------------------------------------------------------------

TEST_F(ReportSection, HeaderHasTheVersionAndTheUtcCreationTime) {
  const std::vector<std::string> lines = SplitCrLf(ReadBytes(ReportPath()));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "[Version: 1.0]");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[3], "");
  // asctime: "Www Mmm dd hh:mm:ss yyyy", 24 characters, no newline.
  const std::string prefix = "Snapshot file creation time: ";
  ASSERT_TRUE(StartsWith(lines[2], prefix)) << lines[2];
  ASSERT_TRUE(EndsWith(lines[2], " (UTC)")) << lines[2];
  const std::string time = lines[2].substr(prefix.size(), lines[2].size() - prefix.size() - 6);
  EXPECT_EQ(time.size(), 24u) << time;
  SYSTEMTIME now;
  GetSystemTime(&now);
  EXPECT_EQ(time.substr(20), std::to_string(now.wYear));
}

TEST_F(ReportSection, ReopeningAppendsAfterTheOldText) {
  writer_->Print("first report\r\n");
  ASSERT_TRUE(writer_->Open(ReportPath().c_str()));
  const std::string text = ReadBytes(ReportPath());
  EXPECT_EQ(text.find("[Version: 1.0]"), 0u);
  EXPECT_NE(text.find("first report\r\n[Version: 1.0]\r\n"), std::string::npos);
}

// ---- exception names and the operating-system table ---------------------------------------

TEST(ExceptionName, NamesEveryCodeOfTheTableAndNoOther) {
  struct Case { DWORD code; const char* name; };
  const Case cases[] = {
      {0x80000001, "EXCEPTION_GUARD_PAGE"},          {0x80000002, "EXCEPTION_DATATYPE_MISALIGNMENT"},
      {0x80000003, "EXCEPTION_BREAKPOINT"},          {0x80000004, "EXCEPTION_SINGLE_STEP"},
      {0xC0000005, "EXCEPTION_ACCESS_VIOLATION"},    {0xC0000006, "EXCEPTION_IN_PAGE_ERROR"},
      {0xC0000008, "EXCEPTION_INVALID_HANDLE"},      {0xC000001D, "EXCEPTION_ILLEGAL_INSTRUCTION"},
      {0xC0000025, "EXCEPTION_NONCONTINUABLE_EXCEPTION"}, {0xC0000026, "EXCEPTION_INVALID_DISPOSITION"},
      {0xC000008C, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED"}, {0xC000008D, "EXCEPTION_FLT_DENORMAL_OPERAND"},
      {0xC000008E, "EXCEPTION_FLT_DIVIDE_BY_ZERO"},  {0xC000008F, "EXCEPTION_FLT_INEXACT_RESULT"},
      {0xC0000090, "EXCEPTION_FLT_INVALID_OPERATION"}, {0xC0000091, "EXCEPTION_FLT_OVERFLOW"},
      {0xC0000092, "EXCEPTION_FLT_STACK_CHECK"},     {0xC0000093, "EXCEPTION_FLT_UNDERFLOW"},
      {0xC0000094, "EXCEPTION_INT_DIVIDE_BY_ZERO"},  {0xC0000095, "EXCEPTION_INT_OVERFLOW"},
      {0xC0000096, "EXCEPTION_PRIV_INSTRUCTION"},    {0xC00000FD, "EXCEPTION_STACK_OVERFLOW"},
      {0xE0001234, "EXCEPTION_UNKNOWN"},             {0x00000000, "EXCEPTION_UNKNOWN"},
      {0xC0000007, "EXCEPTION_UNKNOWN"},             {0xC0000409, "EXCEPTION_UNKNOWN"},
  };
  for (const Case& c : cases) EXPECT_STREQ(CrashReportWriter::ExceptionName(c.code), c.name) << std::hex << c.code;
}

TEST(DescribeOperatingSystem, FollowsThePlatformTable) {
  struct Case {
    DWORD platform, major, minor, build;
    const char* service_pack;
    const char* name;
    const char* additional;
    const char* version;
  };
  const Case cases[] = {
      {2, 4, 0, 1381, "Service Pack 6", "Windows NT 4.0", "Service Pack 6", "4.0.1381"},
      {2, 5, 0, 2195, "", "Windows 2000", "", "5.0.2195"},
      {2, 5, 1, 2600, "Service Pack 3", "Windows XP", "Service Pack 3", "5.1.2600"},
      {2, 6, 1, 7601, "Service Pack 1", "", "Service Pack 1", "6.1.7601"},
      {1, 4, 0, 0x04000457, " C ", "Windows 95", "OSR2", "4.0.1111  C "},
      {1, 4, 0, 0x04000457, " B ", "Windows 95", "", "4.0.1111  B "},
      {1, 4, 10, 0x040A08AE, " A ", "Windows 98", "Second Edition", "4.10.2222  A "},
      {1, 4, 10, 0x040A07CE, "", "Windows 98", "", "4.10.1998 "},
      {1, 4, 90, 0x045A0BB8, " A ", "Windows Me", "", "4.90.3000  A "},
      {1, 3, 0, 0x00000001, "", "", "", "3.0.1 "},
      {0, 6, 1, 7601, "x", "", "", ""},
      {3, 10, 0, 19045, "x", "", "", ""},
  };
  for (const Case& c : cases) {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    info.dwPlatformId = c.platform;
    info.dwMajorVersion = c.major;
    info.dwMinorVersion = c.minor;
    info.dwBuildNumber = c.build;
    std::strcpy(info.szCSDVersion, c.service_pack);
    const char* name = nullptr;
    const char* additional = nullptr;
    char version[256];
    std::memset(version, 'z', sizeof version);
    DescribeOperatingSystem(info, &name, &additional, version, sizeof version);
    EXPECT_STREQ(name, c.name) << c.platform << " " << c.major << "." << c.minor;
    EXPECT_STREQ(additional, c.additional) << c.platform << " " << c.major << "." << c.minor;
    EXPECT_STREQ(version, c.version) << c.platform << " " << c.major << "." << c.minor;
  }
}

// ---- exception section --------------------------------------------------------------------

TEST_F(ReportSection, ExceptionSectionForAWriteToAddressZero) {
  FakeException crash(0xC0000005, 2, 1, 0);
  crash.context.Eip = 0x10;  // nothing is mapped there: no module, no symbol
  crash.context.Ebp = 0;
  writer_->WriteException(&crash.pointers, 77);
  const std::vector<std::string> expected = {
      "[Exception]",
      "Exception Type: EXCEPTION_ACCESS_VIOLATION",
      "Exception Address: 00401234",
      "Attempted write at address: 00000000",
      "ThreadId: 77",
      "Thread Callstack: ",
      kStackTitle,
      UnknownStackLine("00000010"),
      "",
  };
  EXPECT_EQ(BodyLines(), expected);
  EXPECT_TRUE(EndsWith(Body(), "| Unknown(0)\r\n\r\n"));
}

TEST_F(ReportSection, ExceptionSectionVariants) {
  struct Case {
    DWORD code, parameters, first, second, thread;
    const char* type_line;
    const char* attempted_line;  // null: none expected
  };
  const DWORD current = GetCurrentThreadId();
  const Case cases[] = {
      {0xC0000005, 2, 0, 0x1234, 5, "Exception Type: EXCEPTION_ACCESS_VIOLATION", "Attempted read at address: 00001234"},
      {0xC0000005, 2, 8, 0, 5, "Exception Type: EXCEPTION_ACCESS_VIOLATION", "Attempted write at address: 00000000"},
      // Raised by hand without parameters: no address to report.
      {0xC0000005, 0, 1, 0, 5, "Exception Type: EXCEPTION_ACCESS_VIOLATION", nullptr},
      {0xE0001234, 2, 1, 0, 5, "Exception Type: EXCEPTION_UNKNOWN", nullptr},
      {0xC0000094, 0, 0, 0, 0, "Exception Type: EXCEPTION_INT_DIVIDE_BY_ZERO", nullptr},
  };
  for (const Case& c : cases) {
    FakeException crash(c.code, c.parameters, c.first, c.second);
    crash.context.Eip = 0x10;
    const std::vector<std::string> lines =
        LinesOf([&](CrashReportWriter& writer) { writer.WriteException(&crash.pointers, c.thread); });
    const int start = FindLine(lines, "[Exception]");
    ASSERT_EQ(start, 0);
    EXPECT_EQ(lines[start + 1], c.type_line);
    int next = start + 3;
    if (c.attempted_line != nullptr) {
      EXPECT_EQ(lines[next++], c.attempted_line);
    }
    EXPECT_EQ(lines[next], "ThreadId: " + std::to_string(c.thread != 0 ? c.thread : current)) << c.type_line;
    EXPECT_EQ(lines[next + 1], "Thread Callstack: ");
  }
}

TEST_F(ReportSection, ExceptionSectionIsLeftOutForNullPointers) {
  writer_->WriteException(nullptr, 5);
  EXPECT_EQ(Body(), "");
}

// ---- call stack and registers --------------------------------------------------------------

TEST_F(ReportSection, WalkFollowsAscendingFramesAndDropsTheAddressOfTheFirstBadOne) {
  // Frames on this stack: [next frame, return address]. The last one leads to frame 0.
  DWORD chain[8] = {};
  chain[0] = static_cast<DWORD>(reinterpret_cast<std::size_t>(&chain[4]));
  chain[1] = 0x20;
  chain[4] = 0;
  chain[5] = 0x30;
  CONTEXT context;
  std::memset(&context, 0, sizeof context);
  context.Eip = 0x10;
  context.Ebp = static_cast<DWORD>(reinterpret_cast<std::size_t>(&chain[0]));
  writer_->WriteCallStack(&context);
  const std::vector<std::string> expected = {kStackTitle, UnknownStackLine("00000010"), UnknownStackLine("00000020")};
  EXPECT_EQ(BodyLines(), expected);
}

TEST_F(ReportSection, WalkStopsAtDescendingOrMisalignedFrames) {
  DWORD chain[8] = {};
  const DWORD base = static_cast<DWORD>(reinterpret_cast<std::size_t>(&chain[4]));
  const DWORD bad_frames[] = {base - 16, base + 2, 0xFFFFFFF0};  // lower, misaligned, not writable
  for (DWORD bad : bad_frames) {
    chain[4] = bad;
    chain[5] = 0x20;
    CONTEXT context;
    std::memset(&context, 0, sizeof context);
    context.Eip = 0x10;
    context.Ebp = base;
    const std::vector<std::string> expected = {kStackTitle, UnknownStackLine("00000010")};
    EXPECT_EQ(LinesOf([&](CrashReportWriter& writer) { writer.WriteCallStack(&context); }), expected)
        << std::hex << bad;
  }
}

TEST_F(ReportSection, ADeepWalkListsAThousandFramesAndCountsTheRest) {
  // 1,500 ascending frames, each [next frame, return address]; the last leads to frame 0.
  constexpr DWORD kFrames = 1500;
  std::vector<DWORD> chain(2 * kFrames, 0);
  for (DWORD i = 0; i < kFrames; ++i) {
    chain[2 * i] = i + 1 < kFrames ? static_cast<DWORD>(reinterpret_cast<std::size_t>(&chain[2 * i + 2])) : 0;
    chain[2 * i + 1] = 0x1000 + i;
  }
  CONTEXT context;
  std::memset(&context, 0, sizeof context);
  context.Eip = 0x10;
  context.Ebp = static_cast<DWORD>(reinterpret_cast<std::size_t>(chain.data()));
  const std::vector<std::string> lines =
      LinesOf([&](CrashReportWriter& writer) { writer.WriteCallStack(&context); });
  ASSERT_EQ(lines.size(), 1u + 1000u + 1u);
  EXPECT_EQ(lines[1], UnknownStackLine("00000010"));
  EXPECT_EQ(lines[1000], UnknownStackLine("000013E6"));  // the 1,000th frame
  EXPECT_EQ(lines[1001], "500 more frames left out");
}

TEST_F(ReportSection, AFirstFramePointerThatPointsNowhereGivesOneLine) {
  const DWORD nowhere[] = {0, 0x10, 0xFFFFFFF0};
  for (DWORD frame : nowhere) {
    CONTEXT context;
    std::memset(&context, 0, sizeof context);
    context.Eip = 0x10;
    context.Ebp = frame;
    const std::vector<std::string> expected = {kStackTitle, UnknownStackLine("00000010")};
    EXPECT_EQ(LinesOf([&](CrashReportWriter& writer) { writer.WriteCallStack(&context); }), expected)
        << std::hex << frame;
  }
}

// Outer -> Inner -> CaptureThreadContext, walked while Inner still runs: the walk starts inside
// the capture and goes on in Outer, the caller of the capture's caller.
DWORD g_return_into_outer = 0;
__attribute__((noinline)) void CaptureAndWalkFromInner(CrashReportWriter* writer, CONTEXT* context) {
  g_return_into_outer = static_cast<DWORD>(reinterpret_cast<std::size_t>(__builtin_return_address(0)));
  writer->CaptureThreadContext(0, context);
  writer->WriteCallStack(context);
  __asm__ volatile("" ::: "memory");
}
__attribute__((noinline)) void CaptureAndWalkFromOuter(CrashReportWriter* writer, CONTEXT* context) {
  CaptureAndWalkFromInner(writer, context);
  __asm__ volatile("" ::: "memory");
}

TEST_F(ReportSection, WalkNamesOurFunctionsWithFileAndLine) {
  CONTEXT context;
  std::memset(&context, 0, sizeof context);
  CaptureAndWalkFromOuter(writer_, &context);
  const std::vector<std::string> lines = BodyLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], kStackTitle);
  EXPECT_NE(lines[1].find("crashlog_tests.exe"), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("CaptureThreadContext | "), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("crashreportwriter_enumeration.cpp("), std::string::npos) << lines[1];
  char return_address[16];
  std::snprintf(return_address, sizeof return_address, "%08lX", g_return_into_outer);
  EXPECT_EQ(lines[2].substr(0, 8), return_address);
  EXPECT_NE(lines[2].find("CaptureAndWalkFromOuter | "), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find("report_sections_test.cpp("), std::string::npos) << lines[2];
  EXPECT_EQ(lines[2].find("(0)"), std::string::npos) << lines[2];
  // The address column is the line's own address, eight hex digits.
  char address[16];
  std::snprintf(address, sizeof address, "%08lX", context.Eip);
  EXPECT_EQ(lines[1].substr(0, 8), address);
}

TEST_F(ReportSection, RegistersAreDumpedByteForByte) {
  CONTEXT context;
  std::memset(&context, 0, sizeof context);
  context.Eax = 0x1;
  context.Ebx = 0x22;
  context.Ecx = 0x333;
  context.Edx = 0x4444;
  context.Esi = 0x55555;
  context.Edi = 0x666666;
  context.Eip = 0x7777777;
  context.Esp = 0x88888888;
  context.Ebp = 0xABCDEF01;
  context.SegCs = 0x23;
  context.SegSs = 0x2B;
  context.SegDs = 0x2B;
  context.SegEs = 0x2B;
  context.SegFs = 0x53;
  context.SegGs = 0x2B;
  context.EFlags = 0x246;
  writer_->WriteRegisters(&context);
  writer_->WriteRegisters(nullptr);
  EXPECT_EQ(Body(),
            "Registers:\r\n"
            "EAX=00000001 EBX=00000022 ECX=00000333 EDX=00004444 ESI=00055555 EDI=00666666 \r\n"
            "EIP=07777777 ESP=88888888 EBP=ABCDEF01\r\n"
            "CS=00000023 SS=0000002B DS=0000002B ES=0000002B FS=00000053 GS=0000002B\r\n"
            "EFL=00000246\r\n");
}

// ---- module look-up -------------------------------------------------------------------

// A code address of this program. Taken through a call: Wine's debug-help library reads a
// local variable whose value is a constant address as a symbol at that address, which then
// hides the function's own name from the stack tests.
__attribute__((noinline)) DWORD CodeAddress() {
  return static_cast<DWORD>(reinterpret_cast<std::size_t>(__builtin_return_address(0)));
}

TEST(FindModuleSection, GivesTheSectionAndOffsetOfACodeAddress) {
  const DWORD address = CodeAddress();
  char name[1024] = {};
  DWORD section = 0;
  DWORD offset = 0;
  ASSERT_TRUE(CrashReportWriter::FindModuleSection(address, name, sizeof name, &section, &offset));
  char expected_name[1024] = {};
  GetModuleFileNameA(nullptr, expected_name, sizeof expected_name);
  EXPECT_STREQ(name, expected_name);

  const BYTE* base = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
  const IMAGE_NT_HEADERS* headers =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  ASSERT_GE(section, 1u);
  ASSERT_LE(section, headers->FileHeader.NumberOfSections);
  const IMAGE_SECTION_HEADER& found = IMAGE_FIRST_SECTION(headers)[section - 1];
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(found.Name), 5), ".text");
  EXPECT_EQ(found.VirtualAddress + offset, address - static_cast<DWORD>(reinterpret_cast<std::size_t>(base)));
}

TEST(FindModuleSection, FindsNothingOutsideModulesAndLeavesTheOutputs) {
  std::vector<char> heap(4096);
  const DWORD addresses[] = {0, 0x10, static_cast<DWORD>(reinterpret_cast<std::size_t>(heap.data()))};
  for (DWORD address : addresses) {
    char name[64] = {};
    DWORD section = 99;
    DWORD offset = 98;
    EXPECT_FALSE(CrashReportWriter::FindModuleSection(address, name, sizeof name, &section, &offset)) << address;
    EXPECT_EQ(section, 99u);
    EXPECT_EQ(offset, 98u);
  }
}

TEST(FindModuleSection, CutsTheModuleNameToItsBuffer) {
  const DWORD address = CodeAddress();
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  DWORD section = 0;
  DWORD offset = 0;
  CrashReportWriter::FindModuleSection(address, buffer, 8, &section, &offset);
  EXPECT_EQ(std::strlen(buffer), 7u);
  EXPECT_EQ(buffer[8], '#');
}

// ---- the mini-dump ------------------------------------------------------------------------

TEST_F(ReportSection, MiniDumpReplacesTheFile) {
  const std::string path = folder_ / "log1.dmp";
  WriteBytes(path, std::string(200000, 'x'));
  FakeException crash(0xC0000005, 2, 1, 0);
  writer_->CaptureThreadContext(0, &crash.context);
  EXPECT_TRUE(writer_->WriteMiniDump(path.c_str(), 0, &crash.pointers, GetCurrentThreadId()));
  const std::string dump = ReadBytes(path);
  EXPECT_EQ(dump.substr(0, 4), "MDMP");
  EXPECT_LT(dump.size(), 200000u);
}

// ---- live sections ------------------------------------------------------------------------

TEST_F(ReportSection, ProcessSectionNamesThisProcess) {
  writer_->WriteProcessInfo();
  const std::vector<std::string> lines = BodyLines();
  char path[1024] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "[Process Info]");
  EXPECT_EQ(lines[1], "ProcessId: " + std::to_string(GetCurrentProcessId()));
  EXPECT_EQ(lines[2], std::string("Name: ") + path);
  EXPECT_EQ(lines[3], "Version: ");  // the test program has no version resource
  EXPECT_TRUE(StartsWith(lines[4], "WorkingSetSize: ") && EndsWith(lines[4], " Bytes")) << lines[4];
  EXPECT_TRUE(StartsWith(lines[5], "PagefileUsage: ") && EndsWith(lines[5], " Bytes")) << lines[5];
  EXPECT_EQ(lines[6], "");
}

TEST_F(ReportSection, SystemSectionListsTheMachineAndTheTasks) {
  writer_->WriteSystemInfo();
  const std::vector<std::string> lines = BodyLines();
  ASSERT_GE(lines.size(), 11u);
  EXPECT_EQ(lines[0], "[System Info]");
  EXPECT_TRUE(StartsWith(lines[1], "Operating System: ")) << lines[1];
  EXPECT_TRUE(StartsWith(lines[2], "Version: ")) << lines[2];
  EXPECT_TRUE(StartsWith(lines[3], "Primary Monitor Resolution: ") && EndsWith(lines[3], "-Bit Color")) << lines[3];
  const char* memory[] = {"Total Physical RAM: ", "Free Physical RAM: ", "Pagefile Commit Limit: ",
                          "Pagefile Commit Available: "};
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(StartsWith(lines[4 + i], memory[i]) && EndsWith(lines[4 + i], " Bytes")) << lines[4 + i];
  }
  EXPECT_EQ(lines[8], "Task List:");
  EXPECT_GE(FindLine(lines, "crashlog_tests.exe", 9), 9);
  EXPECT_EQ(lines.back(), "");
}

TEST_F(ReportSection, ModuleSectionListsEveryModuleWithItsVersion) {
  writer_->WriteModules();
  const std::vector<std::string> lines = BodyLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "[Modules]");
  EXPECT_EQ(lines[1], "GlobalRefCount      ProcessRefCount     ModuleSize          BaseAddress         ModulePath          ");
  EXPECT_EQ(lines.back(), "");
  char path[1024] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  char base[16];
  std::snprintf(base, sizeof base, "%08lX", static_cast<unsigned long>(reinterpret_cast<std::size_t>(GetModuleHandleA(nullptr))));
  bool found_self = false;
  bool found_kernel = false;
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
    const std::string& line = lines[i];
    ASSERT_GT(line.size(), 80u) << line;
    // Three numbers in 20 columns each, the base address, 12 spaces, the path and the version.
    EXPECT_EQ(line.substr(68, 12), std::string(12, ' ')) << line;
    EXPECT_TRUE(EndsWith(line, ")")) << line;
    if (line.substr(60, 8) == base) {
      found_self = true;
      EXPECT_EQ(line.substr(80), std::string(path) + " ()");  // no version resource: empty parentheses
    }
    if (line.find("\\kernel32.dll (") != std::string::npos) {
      found_kernel = true;
      EXPECT_FALSE(EndsWith(line, "()")) << line;
    }
  }
  EXPECT_TRUE(found_self);
  EXPECT_TRUE(found_kernel);
}

TEST_F(ReportSection, ThreadSectionListsThisThread) {
  writer_->WriteThreads();
  const std::vector<std::string> lines = BodyLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "[Threads]");
  EXPECT_EQ(lines[1], "ThreadId            Priority            BasePriority        RefCount            ");
  EXPECT_EQ(lines.back(), "");
  char id[32];
  std::snprintf(id, sizeof id, "%-20lu", GetCurrentThreadId());
  bool found = false;
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
    EXPECT_EQ(lines[i].size(), 80u) << lines[i];
    if (StartsWith(lines[i], id)) found = true;
  }
  EXPECT_TRUE(found);
}

DWORD WINAPI WaitForEvent(void* event) {
  WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
  return 0;
}

// A writer of its own: the shared one took its snapshot before this thread existed. Without
// debug-help, which this test does not need and which costs seconds.
TEST(AllThreadStacks, EveryThreadGetsAStackAndRegisterBlock) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD other = 0;
  HANDLE thread = CreateThread(nullptr, 0, WaitForEvent, event, 0, &other);
  ASSERT_NE(thread, nullptr);
  Sleep(50);
  TempFolder folder;
  const std::string path = folder / "r.log";
  {
    CrashReportWriter writer({"kernel32.dll", "psapi.dll", "nosuch-dbghelp.dll"});
    ASSERT_TRUE(writer.Open(path.c_str()));
    writer.WriteAllThreadStacks();
  }
  SetEvent(event);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(event);

  const std::vector<std::string> lines = SplitCrLf(ReadBytes(path));
  for (DWORD id : {GetCurrentThreadId(), other}) {
    const int start = FindLine(lines, "[ThreadId: " + std::to_string(id) + "] ");
    ASSERT_GE(start, 0) << id;
    EXPECT_EQ(lines[start + 1], kStackTitle);
    const int registers = FindLine(lines, "Registers:", start);
    ASSERT_GT(registers, start + 2);
    EXPECT_EQ(lines[registers - 1], "");
    ASSERT_LT(registers + 5, static_cast<int>(lines.size()));
    EXPECT_TRUE(StartsWith(lines[registers + 1], "EAX="));
    EXPECT_TRUE(StartsWith(lines[registers + 2], "EIP="));
    EXPECT_TRUE(StartsWith(lines[registers + 3], "CS="));
    EXPECT_TRUE(StartsWith(lines[registers + 4], "EFL="));
    EXPECT_EQ(lines[registers + 5], "");
  }
}

}  // namespace
