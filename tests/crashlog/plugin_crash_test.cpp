// The plug-in itself in a crashing host: loading watchfolders.dll installs its crash handler,
// and a crash of the host leaves a report naming the host's function and the plug-in module.
#include <windows.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "crashing_host.h"
#include "crashlog_test_support.h"

namespace {

// Loading the plug-in must lock the top-level filter, as its crash handler does.
bool PluginInstallsACrashHandler() {
  const unsigned char patch[5] = {0x33, 0xC0, 0xC2, 0x04, 0x00};
  FARPROC entry = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetUnhandledExceptionFilter");
  const unsigned char* code = reinterpret_cast<const unsigned char*>(reinterpret_cast<std::size_t>(entry));
  HMODULE plugin = LoadLibraryA(PluginPath().c_str());
  if (plugin == nullptr) return false;
  const bool locked = std::memcmp(code, patch, sizeof patch) == 0;
  FreeLibrary(plugin);
  return locked;
}

TEST_F(CrashingHost, ThePluginReportsACrashOfItsHost) {
  ASSERT_TRUE(PluginInstallsACrashHandler())
      << "watchfolders.dll installs no crash handler: src/plugin/dllmain.cpp needs its static CrashHandler";
  Crash(PluginPath(), "write-null", kAccessViolation);
  EXPECT_EQ(ExceptionLine(3), "Attempted write at address: 00000000");
  EXPECT_TRUE(Contains(ExceptionStackLine(0), "CrashByWritingNull | ")) << ExceptionStackLine(0);
  EXPECT_TRUE(Contains(text_, "watchfolders.dll (")) << "module list";
  EXPECT_EQ(ReadBytes(ErrorLogs() + "log1.dmp").substr(0, 4), "MDMP");
}

// A crash below the plug-in's frames: the walk goes through them (they keep their frame
// pointers) into the host.
TEST_F(CrashingHost, TheStackWalkGoesThroughThePluginsFrames) {
  Crash(PluginPath(), "plugin-call", kAccessViolation);
  EXPECT_TRUE(Contains(ExceptionStackLine(0), "CrashByWritingNull | ")) << ExceptionStackLine(0);
  EXPECT_TRUE(Contains(ExceptionStackLine(2), " watchfolders.dll")) << ExceptionStackLine(2);
  EXPECT_TRUE(Contains(ExceptionStackLine(2), "ReadDword")) << ExceptionStackLine(2);
  EXPECT_TRUE(Contains(text_, "EventCallback | ")) << text_;
}

// A stack buffer of the plug-in overrun (here by a stand-in for a registry read that writes past
// the room it was given): the guard's check fails when the function returns, and the crash
// handler reports it, at that function, before the process ends with the overrun's status.
TEST_F(CrashingHost, AnOverrunStackBufferOfThePluginIsReported) {
  constexpr DWORD kStackBufferOverrun = 0xC0000409;
  Crash(PluginPath(), "plugin-overrun", kStackBufferOverrun);
  EXPECT_EQ(ExceptionLine(1), "Exception Type: EXCEPTION_UNKNOWN");
  EXPECT_TRUE(Contains(ExceptionStackLine(0), " watchfolders.dll")) << ExceptionStackLine(0);
  EXPECT_TRUE(Contains(ExceptionStackLine(0), "ReadDword | ")) << ExceptionStackLine(0);
}

}  // namespace
