// Helpers of the crash-report tests beyond the shared ones: report lines, the crash options in
// the registry, environment variables for a scope, and running the crashing host.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testfiles.h"
#include "testregistry.h"

// The crashing host, the test module and, when it is built, the plug-in.
std::string HostPath();
std::string TestModulePath();
std::string PluginPath();  // empty when the plug-in DLL is not part of this build

// The lines of CR LF text, without their line ends. A final line without a line end is kept.
std::vector<std::string> SplitCrLf(const std::string& text);
// Index of the first line equal to the text at or after from, or -1.
int FindLine(const std::vector<std::string>& lines, const std::string& text, int from = 0);
std::string CurrentDirectory();

// Deletes HKCU\Software\Norvane at construction and at destruction.
class NorvaneKeysScope {
 public:
  NorvaneKeysScope();
  ~NorvaneKeysScope();
  NorvaneKeysScope(const NorvaneKeysScope&) = delete;
  NorvaneKeysScope& operator=(const NorvaneKeysScope&) = delete;
};
// Values of HKCU\Software\Norvane\Preferences\CrashLogOptions (the key is created).
void SetCrashOptionText(const char* name, const char* text);
void SetCrashOptionNumber(const char* name, DWORD number);
// The default value of HKCU\Software\Norvane\Preferences\UserDataPath.
void SetUserDataPath(const char* text);

// Sets an environment variable of this process for a scope; the old value comes back after.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::string old_value_;
  bool had_value_ = false;
};

// Runs the crashing host with the report folder variable set to report_folder; returns its
// exit code, or 0xFFFFFFFF when it could not be started or did not end in time.
DWORD RunCrashingHost(const std::string& module, const std::string& mode, const std::string& argument,
                      const std::string& report_folder, DWORD timeout_ms = 90000, const std::string& host = "");

// An exception record and context for report tests that need no real crash.
struct FakeException {
  EXCEPTION_RECORD record;
  CONTEXT context;
  EXCEPTION_POINTERS pointers;
  FakeException(DWORD code, DWORD parameter_count, ULONG_PTR first, ULONG_PTR second);
};
