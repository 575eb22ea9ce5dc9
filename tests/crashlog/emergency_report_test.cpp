// The emergency report in this process: where it goes, how it rotates, what it says.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crashlog/emergencyreport.h"
#include "crashlog/moduletable.h"
#include "crashlog_test_support.h"

namespace {

class EmergencyReport : public ::testing::Test {
 protected:
  std::string Folder() const { return folder_ / "profile\\Zell\\Host\\"; }
  std::string Log(int n) const { return Folder() + "ErrorLogs\\Log" + std::to_string(n) + ".log"; }

  NorvaneKeysScope keys_;
  TempFolder folder_;
};

TEST_F(EmergencyReport, RotatesMakesItsFoldersAndSaysWhy) {
  SetCrashOptionText("NumberOfLogFiles", "3");
  PrepareEmergencyReport(Folder().c_str());
  StartModuleTable(LoadLibraryA("psapi.dll"));
  FakeException crash(0xC0000005, 2, 1, 0x20);
  crash.record.ExceptionAddress = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "Sleep"));
  // Written while this thread holds the process heap's lock, as a crashed thread may.
  HeapLock(GetProcessHeap());
  const bool written = WriteEmergencyReport(&crash.pointers, 1234, "a test", true);
  HeapUnlock(GetProcessHeap());
  ASSERT_TRUE(written);
  const std::string first = ReadBytes(Log(1));
  ASSERT_TRUE(WriteEmergencyReport(&crash.pointers, 1234, "a test", true));
  EXPECT_EQ(ReadBytes(Log(2)), first);
  const std::vector<std::string> lines = SplitCrLf(ReadBytes(Log(1)));
  ASSERT_GE(lines.size(), 12u);
  EXPECT_EQ(lines[0], "[Version: 1.0]");
  EXPECT_EQ(lines[2].rfind("Snapshot file creation time: ", 0), 0u);
  EXPECT_EQ(lines[4], "Emergency report: a test.");
  const int at = FindLine(lines, "[Exception]");
  ASSERT_GE(at, 0);
  EXPECT_EQ(lines[at + 1], "Exception Type: EXCEPTION_ACCESS_VIOLATION");
  EXPECT_EQ(lines[at + 3], "Attempted write at address: 00000020");
  EXPECT_EQ(lines[at + 4], "ThreadId: 1234");
  EXPECT_EQ(lines[at + 5], "Exception Code: C0000005");
  EXPECT_NE(lines[at + 6].find(" kernel32.dll+"), std::string::npos) << lines[at + 6];
  EXPECT_GE(FindLine(lines, "Registers:"), 0);

  // With the rotation done already (a full report began Log1.log), it is appended to.
  WriteBytes(Log(1), "begun\r\n");
  ASSERT_TRUE(WriteEmergencyReport(&crash.pointers, 1234, "a test", false));
  EXPECT_EQ(ReadBytes(Log(1)).rfind("begun\r\n[Version: 1.0]", 0), 0u);
  StopModuleTable();
}

TEST(ModuleTable, NamesTheModuleAnAddressFallsIn) {
  ListModule(0x10000000, 0x1000, "listed.dll");
  const char* name = nullptr;
  DWORD offset = 0;
  ASSERT_TRUE(FindListedModule(0x10000010, &name, &offset));
  EXPECT_STREQ(name, "listed.dll");
  EXPECT_EQ(offset, 0x10u);
  EXPECT_FALSE(FindListedModule(0x10001000, &name, &offset));
  UnlistModule(0x10000000);
  EXPECT_FALSE(FindListedModule(0x10000010, &name, &offset));
}

}  // namespace
