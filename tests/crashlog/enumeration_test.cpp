// Looking into the process: libraries loaded by name, the three enumerations with and without
// tool-help, thread contexts, the mini-dump and the release. Systems without a library are
// played by loading a missing or a different library under its name.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crashlog/crashreportwriter.h"
#include "crashlog_test_support.h"

namespace {

// psapi.dll as the "kernel library": no CreateToolhelp32Snapshot, no Thread32First, no
// OpenThread; the process-status fall-backs have to do. Without debug-help too, which would
// only cost time here (registering this program's symbols takes seconds).
const CrashReportWriter::LibraryNames kNoToolHelp = {"psapi.dll", "psapi.dll", "nosuch-dbghelp.dll"};
const CrashReportWriter::LibraryNames kNoInspection = {"nosuch-kernel.dll", "nosuch-psapi.dll", "nosuch-dbghelp.dll"};
const CrashReportWriter::LibraryNames kNoDebugHelp = {"kernel32.dll", "psapi.dll", "nosuch-dbghelp.dll"};

std::string ExecutablePath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}

template <typename Entry>
std::vector<Entry> Collect(CrashReportWriter& writer, int (CrashReportWriter::*each)(CrashReportWriter::Visitor<Entry>, void*),
                           int* result) {
  std::vector<Entry> entries;
  *result = (writer.*each)([](CrashReportWriter&, const Entry& entry, void* list) {
    static_cast<std::vector<Entry>*>(list)->push_back(entry);
  }, &entries);
  return entries;
}

DWORD WINAPI WaitForEvent(void* event) {
  WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
  return 0;
}

// A thread parked on an event for the life of the object.
class ParkedThread {
 public:
  ParkedThread() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = CreateThread(nullptr, 0, WaitForEvent, event_, 0, &id_);
    Sleep(20);
  }
  ~ParkedThread() {
    SetEvent(event_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(event_);
  }
  DWORD Id() const { return id_; }

 private:
  HANDLE event_;
  HANDLE thread_ = nullptr;
  DWORD id_ = 0;
};

// One writer through its whole life: preparing loads the libraries and takes the snapshot the
// enumerations read; releasing unloads what it loaded.
TEST(PrepareInspection, LoadsListsAndReleases) {
  const bool loaded_before = GetModuleHandleA("dbghelp.dll") != nullptr || GetModuleHandleA("psapi.dll") != nullptr;
  CrashReportWriter writer;
  ASSERT_TRUE(writer.PrepareInspection());
  EXPECT_TRUE(writer.HoldsSnapshot());
  EXPECT_NE(writer.DebugHelpLibrary(), nullptr);
  EXPECT_NE(writer.ProcessStatusLibrary(), nullptr);
  EXPECT_TRUE(writer.PrepareInspection());
  int result = 0;

  const std::vector<THREADENTRY32> threads = Collect(writer, &CrashReportWriter::ForEachThread, &result);
  EXPECT_NE(result, 0);
  EXPECT_TRUE(std::any_of(threads.begin(), threads.end(),
                          [](const THREADENTRY32& t) { return t.th32ThreadID == GetCurrentThreadId(); }));
  for (const THREADENTRY32& t : threads) EXPECT_EQ(t.th32OwnerProcessID, GetCurrentProcessId());

  const std::vector<MODULEENTRY32> modules = Collect(writer, &CrashReportWriter::ForEachModule, &result);
  EXPECT_NE(result, 0);
  const std::string self = ExecutablePath();
  EXPECT_TRUE(std::any_of(modules.begin(), modules.end(), [&](const MODULEENTRY32& m) {
    return self == m.szExePath && m.modBaseAddr == reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  }));

  const std::vector<PROCESSENTRY32> processes = Collect(writer, &CrashReportWriter::ForEachProcess, &result);
  EXPECT_NE(result, 0);
  EXPECT_TRUE(std::any_of(processes.begin(), processes.end(), [](const PROCESSENTRY32& p) {
    return p.th32ProcessID == GetCurrentProcessId() && std::string(p.szExeFile) == "crashlog_tests.exe";
  }));

  writer.ReleaseInspection();
  EXPECT_FALSE(writer.HoldsSnapshot());
  EXPECT_EQ(writer.DebugHelpLibrary(), nullptr);
  EXPECT_EQ(writer.ProcessStatusLibrary(), nullptr);
  if (!loaded_before) {
    EXPECT_EQ(GetModuleHandleA("dbghelp.dll"), nullptr);
    EXPECT_EQ(GetModuleHandleA("psapi.dll"), nullptr);
  }
}

TEST(PrepareInspection, PrefersTheDebugHelpLibraryBesideTheExecutable) {
  const std::string folder = ExecutablePath().substr(0, ExecutablePath().rfind('\\') + 1);
  char loaded[MAX_PATH] = {};
  {
    // The test module lies beside this program: standing in for a debug-help library shipped
    // with the host, it is taken from there.
    CrashReportWriter writer({"kernel32.dll", "psapi.dll", "crashlog_module.dll"});
    writer.PrepareInspection();
    ASSERT_NE(writer.DebugHelpLibrary(), nullptr);
    GetModuleFileNameA(writer.DebugHelpLibrary(), loaded, sizeof loaded);
    EXPECT_EQ(std::string(loaded), folder + "crashlog_module.dll");
  }
  {
    // Nothing of that name beside the program: the system's search order finds it.
    CrashReportWriter writer({"kernel32.dll", "psapi.dll", "version.dll"});
    writer.PrepareInspection();
    ASSERT_NE(writer.DebugHelpLibrary(), nullptr);
    GetModuleFileNameA(writer.DebugHelpLibrary(), loaded, sizeof loaded);
    EXPECT_NE(std::string(loaded).find("\\system32\\"), std::string::npos) << loaded;
  }
}

TEST(Enumerations, FallBackToTheProcessStatusLibraryWithoutToolHelp) {
  CrashReportWriter writer(kNoToolHelp);
  EXPECT_FALSE(writer.PrepareInspection());
  int result = 0;

  const std::vector<THREADENTRY32> threads = Collect(writer, &CrashReportWriter::ForEachThread, &result);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(threads.empty());

  const std::vector<MODULEENTRY32> modules = Collect(writer, &CrashReportWriter::ForEachModule, &result);
  EXPECT_NE(result, 0);
  ASSERT_FALSE(modules.empty());
  EXPECT_LE(modules.size(), 256u);
  const std::string self = ExecutablePath();
  bool found = false;
  for (const MODULEENTRY32& m : modules) {
    EXPECT_EQ(m.GlblcntUsage, 0u);
    EXPECT_EQ(m.ProccntUsage, 0u);
    EXPECT_EQ(m.th32ProcessID, GetCurrentProcessId());
    if (self == m.szExePath) {
      found = true;
      EXPECT_STREQ(m.szModule, "crashlog_tests.exe");
      EXPECT_EQ(m.modBaseAddr, reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr)));
      EXPECT_EQ(m.hModule, GetModuleHandleA(nullptr));
      EXPECT_GT(m.modBaseSize, 0u);
    }
  }
  EXPECT_TRUE(found);

  const std::vector<PROCESSENTRY32> processes = Collect(writer, &CrashReportWriter::ForEachProcess, &result);
  EXPECT_NE(result, 0);
  EXPECT_TRUE(std::any_of(processes.begin(), processes.end(), [](const PROCESSENTRY32& p) {
    return p.th32ProcessID == GetCurrentProcessId() && std::string(p.szExeFile) == "crashlog_tests.exe";
  }));
}

TEST(Enumerations, YieldNothingWithoutEitherLibrary) {
  CrashReportWriter writer(kNoInspection);
  EXPECT_FALSE(writer.PrepareInspection());
  int result = 1;
  EXPECT_TRUE(Collect(writer, &CrashReportWriter::ForEachThread, &result).empty());
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(Collect(writer, &CrashReportWriter::ForEachModule, &result).empty());
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(Collect(writer, &CrashReportWriter::ForEachProcess, &result).empty());
  EXPECT_EQ(result, 0);
}

TEST(ReportWithoutLibraries, WritesWhatItCan) {
  TempFolder folder;
  const std::string path = folder / "r.log";
  {
    CrashReportWriter writer(kNoToolHelp);
    ASSERT_TRUE(writer.Open(path.c_str()));
    writer.WriteThreads();
    writer.WriteAllThreadStacks();
  }
  // No thread list: the title only, no closing blank line, and no thread blocks.
  std::vector<std::string> lines = SplitCrLf(ReadBytes(path));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[4], "[Threads]");

  const std::string path2 = folder / "r2.log";
  {
    CrashReportWriter writer(kNoInspection);
    ASSERT_TRUE(writer.Open(path2.c_str()));
    writer.WriteProcessInfo();
    writer.WriteModules();
  }
  lines = SplitCrLf(ReadBytes(path2));
  // Process section without the memory lines; module section with its titles only.
  ASSERT_EQ(lines.size(), 4u + 5u + 2u);
  EXPECT_EQ(lines[4], "[Process Info]");
  EXPECT_EQ(lines[7], "Version: ");
  EXPECT_EQ(lines[8], "");
  EXPECT_EQ(lines[9], "[Modules]");
}

TEST(ReportWithoutLibraries, CallStackLinesEndInUnknownWithoutDebugHelp) {
  TempFolder folder;
  const std::string path = folder / "r.log";
  {
    CrashReportWriter writer(kNoDebugHelp);
    ASSERT_TRUE(writer.Open(path.c_str()));
    EXPECT_TRUE(writer.PrepareInspection());
    EXPECT_EQ(writer.DebugHelpLibrary(), nullptr);
    writer.WriteAllThreadStacks();
  }
  const std::vector<std::string> lines = SplitCrLf(ReadBytes(path));
  int stack_lines = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i - 1].rfind("[ThreadId: ", 0) != 0) continue;
    for (std::size_t j = i + 1; j < lines.size() && !lines[j].empty(); ++j, ++stack_lines) {
      ASSERT_GE(lines[j].size(), 40u + 20u + 13u) << lines[j];
      EXPECT_EQ(lines[j].substr(lines[j].size() - 13), " | Unknown(0)") << lines[j];
      // No function name: after the module name there is nothing but its padding.
      const std::string module_field = lines[j].substr(40, lines[j].size() - 13 - 40);
      const std::size_t padding = module_field.find(' ');
      if (padding != std::string::npos) {
        EXPECT_EQ(module_field.find_first_not_of(' ', padding), std::string::npos) << lines[j];
      }
    }
  }
  EXPECT_GT(stack_lines, 0);
}

TEST(CaptureThreadContext, CapturesTheRunningThreadFromItsCallersFrame) {
  CrashReportWriter writer;
  CONTEXT context;
  std::memset(&context, 0xAB, sizeof context);
  ASSERT_TRUE(writer.CaptureThreadContext(0, &context));
  const DWORD frame = static_cast<DWORD>(reinterpret_cast<std::size_t>(__builtin_frame_address(0)));
  EXPECT_EQ(context.Ebp, frame);
  EXPECT_EQ(context.Eax, context.Eip);
  EXPECT_EQ(context.EFlags, 0u);
  EXPECT_EQ(context.ContextFlags, 0u);
  EXPECT_LT(context.Esp, frame);
  EXPECT_NE(context.SegCs, 0u);
  char name[1024] = {};
  DWORD section = 0;
  DWORD offset = 0;
  EXPECT_TRUE(CrashReportWriter::FindModuleSection(context.Eip, name, sizeof name, &section, &offset));

  CONTEXT by_id;
  std::memset(&by_id, 0, sizeof by_id);
  EXPECT_TRUE(writer.CaptureThreadContext(GetCurrentThreadId(), &by_id));
  EXPECT_EQ(by_id.Ebp, frame);
}

TEST(CaptureThreadContext, ReadsAnotherThreadAndLeavesTheOutputOnFailure) {
  ParkedThread parked;
  CrashReportWriter writer(kNoDebugHelp);
  writer.PrepareInspection();
  CONTEXT context;
  std::memset(&context, 0, sizeof context);
  ASSERT_TRUE(writer.CaptureThreadContext(parked.Id(), &context));
  EXPECT_EQ(context.ContextFlags & CONTEXT_FULL, static_cast<DWORD>(CONTEXT_FULL));
  EXPECT_NE(context.Eip, 0u);
  EXPECT_NE(context.Esp, 0u);

  CONTEXT untouched;
  std::memset(&untouched, 0x5A, sizeof untouched);
  CONTEXT copy = untouched;
  EXPECT_FALSE(writer.CaptureThreadContext(0xFFFFFFF0, &untouched));
  EXPECT_EQ(std::memcmp(&untouched, &copy, sizeof copy), 0);
  EXPECT_FALSE(writer.CaptureThreadContext(parked.Id(), nullptr));

  // Without OpenThread no other thread can be read.
  CrashReportWriter no_tool_help(kNoToolHelp);
  no_tool_help.PrepareInspection();
  EXPECT_FALSE(no_tool_help.CaptureThreadContext(parked.Id(), &untouched));
  EXPECT_TRUE(no_tool_help.CaptureThreadContext(0, &untouched));
}

TEST(WriteMiniDump, CreatesNoFileWithoutDebugHelp) {
  TempFolder folder;
  const std::string path = folder / "log1.dmp";
  CrashReportWriter writer(kNoDebugHelp);
  EXPECT_FALSE(writer.WriteMiniDump(path.c_str(), 0, nullptr, 0));
  EXPECT_FALSE(IsFile(path));
}

}  // namespace
