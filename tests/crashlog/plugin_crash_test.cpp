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

}  // namespace
