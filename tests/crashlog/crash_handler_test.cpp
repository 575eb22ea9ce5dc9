// The crash handler in this process: the report folder it computes, the application name,
// and what loading and unloading a module that holds it does to the top-level filter.
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "crashlog/crashhandler.h"
#include "crashlog_test_support.h"

namespace {

const unsigned char kPatch[5] = {0x33, 0xC0, 0xC2, 0x04, 0x00};

LONG WINAPI FilterBefore(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }
LONG WINAPI FilterOfOtherCode(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }

const unsigned char* FilterEntry() {
  FARPROC entry = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetUnhandledExceptionFilter");
  return reinterpret_cast<const unsigned char*>(reinterpret_cast<std::size_t>(entry));
}

// SetUnhandledExceptionFilter as a caller that goes to KernelBase directly finds it; null where
// the system has no KernelBase.
using SetFilterFunction = LPTOP_LEVEL_EXCEPTION_FILTER WINAPI(LPTOP_LEVEL_EXCEPTION_FILTER);
SetFilterFunction* KernelBaseSetFilter() {
  HMODULE base = GetModuleHandleA("kernelbase.dll");
  if (base == nullptr) return nullptr;
  return reinterpret_cast<SetFilterFunction*>(
      reinterpret_cast<void (*)()>(GetProcAddress(base, "SetUnhandledExceptionFilter")));
}

// Loads the test module for a scope; the handler inside it lives as long as the module.
class LoadedModule {
 public:
  LoadedModule() : module_(LoadLibraryA(TestModulePath().c_str())) {}
  ~LoadedModule() { Unload(); }
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;
  bool IsLoaded() const { return module_ != nullptr; }
  void Unload() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }
  std::string ReportFolder() const {
    using Getter = const char*();
    auto getter = reinterpret_cast<Getter*>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_, "CrashlogModuleReportFolder")));
    return getter != nullptr ? getter() : "(no getter)";
  }

 private:
  HMODULE module_;
};

// Keeps the process's own filter registered again after each test.
class TopLevelFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    original_ = SetUnhandledExceptionFilter(nullptr);
    std::memcpy(original_entry_, FilterEntry(), sizeof original_entry_);
  }
  void TearDown() override { SetUnhandledExceptionFilter(original_); }

  LPTOP_LEVEL_EXCEPTION_FILTER original_ = nullptr;
  unsigned char original_entry_[5] = {};
};

TEST_F(TopLevelFilter, LoadedModuleLocksTheFilterAndUnloadingRestoresBoth) {
  SetUnhandledExceptionFilter(FilterBefore);
  ASSERT_NE(std::memcmp(original_entry_, kPatch, sizeof kPatch), 0);
  LoadedModule module;
  ASSERT_TRUE(module.IsLoaded());
  EXPECT_EQ(std::memcmp(FilterEntry(), kPatch, sizeof kPatch), 0);
  // Other code can neither see nor replace the module's filter.
  EXPECT_EQ(SetUnhandledExceptionFilter(FilterOfOtherCode), nullptr);
  EXPECT_EQ(SetUnhandledExceptionFilter(nullptr), nullptr);

  module.Unload();
  EXPECT_EQ(std::memcmp(FilterEntry(), original_entry_, sizeof original_entry_), 0);
  // The filter from before is back, and the calls made while loaded changed nothing.
  EXPECT_EQ(SetUnhandledExceptionFilter(nullptr), &FilterBefore);
}

TEST_F(TopLevelFilter, ACallerThroughKernelBaseIsHeldOffTooAndGetsItsFilterBack) {
  SetFilterFunction* set_filter = KernelBaseSetFilter();
  if (set_filter == nullptr) GTEST_SKIP() << "this system has no KernelBase";
  const unsigned char* base_entry = reinterpret_cast<const unsigned char*>(reinterpret_cast<std::size_t>(set_filter));
  unsigned char base_bytes[5];
  std::memcpy(base_bytes, base_entry, sizeof base_bytes);
  set_filter(FilterBefore);
  {
    LoadedModule module;
    ASSERT_TRUE(module.IsLoaded());
    EXPECT_EQ(set_filter(FilterOfOtherCode), nullptr);
    EXPECT_EQ(set_filter(nullptr), nullptr);
  }
  EXPECT_EQ(std::memcmp(base_entry, base_bytes, sizeof base_bytes), 0);
  EXPECT_EQ(set_filter(nullptr), &FilterBefore);
}

TEST_F(TopLevelFilter, AFilterWhoseModuleWasUnloadedIsNotRegisteredAgain) {
  HMODULE filter_module = LoadLibraryA(FILTER_MODULE_PATH);
  ASSERT_NE(filter_module, nullptr);
  {
    LoadedModule module;
    ASSERT_TRUE(module.IsLoaded());
    // Its attempt to put its predecessor back changes nothing while the lock holds.
    FreeLibrary(filter_module);
  }
  EXPECT_EQ(SetUnhandledExceptionFilter(nullptr), nullptr);
}

TEST_F(TopLevelFilter, UnloadingLeavesNoFilterWhenThereWasNone) {
  {
    LoadedModule module;
    ASSERT_TRUE(module.IsLoaded());
  }
  EXPECT_EQ(std::memcmp(FilterEntry(), original_entry_, sizeof original_entry_), 0);
  EXPECT_EQ(SetUnhandledExceptionFilter(nullptr), nullptr);
}

TEST_F(TopLevelFilter, ReportFolderIsNamedAfterTheExecutablesVariable) {
  {
    ScopedEnvironment name("crashlog_tests.exe", "Z:\\reports\\here");
    LoadedModule module;
    EXPECT_EQ(module.ReportFolder(), "Z:\\reports\\here\\");
  }
  {
    ScopedEnvironment name("crashlog_tests.exe", "PlayerName");
    LoadedModule module;
    const std::string folder = module.ReportFolder();
    EXPECT_EQ(folder.substr(folder.size() - 17), "\\Zell\\PlayerName\\") << folder;
  }
  {
    ScopedEnvironment name("crashlog_tests.exe", nullptr);
    LoadedModule module;
    char app_data[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, app_data), S_OK);
    EXPECT_EQ(module.ReportFolder(), std::string(app_data) + "\\Zell\\Brisola\\");
  }
}

TEST(CrashFilter, DoesNothingWithoutAnInstalledHandler) {
  ASSERT_EQ(ActiveCrashHandler.load(), nullptr);
  FakeException crash(0xC0000005, 2, 1, 0);
  EXPECT_EQ(CrashFilter(&crash.pointers), EXCEPTION_CONTINUE_SEARCH);
  EXPECT_EQ(CrashReportThread(nullptr), 0u);
  CrashThreadParams no_handler{&crash.pointers, GetCurrentThreadId(), nullptr};
  EXPECT_EQ(CrashReportThread(&no_handler), 0u);
}

TEST(ApplicationNameFromEnvironment, UsesTheVariableNamedAfterTheExecutable) {
  ScopedEnvironment set("wfcrash-app.exe", "Tamblin");
  ScopedEnvironment slash("wfcrash-slash.exe", "BySlash");
  ScopedEnvironment bare("wfcrash-bare.exe", "Bare");
  ScopedEnvironment fits("wfcrash-fits.exe", std::string(259, 'f').c_str());
  ScopedEnvironment too_long("wfcrash-long.exe", std::string(260, 'l').c_str());
  ScopedEnvironment unset("wfcrash-unset.exe", nullptr);
  struct Case { const char* path; std::string name; };
  const Case cases[] = {
      {"C:\\Program Files\\Player\\wfcrash-app.exe", "Tamblin"},
      {"C:\\Program Files\\Player\\WFCRASH-APP.EXE", "Tamblin"},  // variable names ignore case
      {"C:/Program Files/Player/wfcrash-slash.exe", "BySlash"},
      {"C:/mixed\\wfcrash-app.exe", "Tamblin"},
      {"wfcrash-bare.exe", "Bare"},
      {"C:\\x\\wfcrash-fits.exe", std::string(259, 'f')},
      {"C:\\x\\wfcrash-long.exe", "Brisola"},
      {"C:\\x\\wfcrash-unset.exe", "Brisola"},
      {"C:\\x\\", "Brisola"},
      {"", "Brisola"},
  };
  for (const Case& c : cases) {
    char name[MAX_PATH];
    std::memset(name, 'z', sizeof name);
    ApplicationNameFromEnvironment(c.path, name, sizeof name);
    EXPECT_EQ(std::string(name), c.name) << c.path;
  }
}

TEST(AppendPathComponent, JoinsAsPathAppendDoes) {
  struct Case { const char* path; const char* component; const char* joined; };
  const Case cases[] = {
      {"C:\\Users\\u\\AppData\\Roaming", "Zell", "C:\\Users\\u\\AppData\\Roaming\\Zell"},
      {"C:\\Roaming\\", "Zell", "C:\\Roaming\\Zell"},
      {"C:\\Roaming", "\\Zell", "C:\\Roaming\\Zell"},
      {"", "Zell", "Zell"},
      {"C:\\Roaming", "", "C:\\Roaming"},
      {"C:\\Roaming", "D:\\Reports", "D:\\Reports"},
      {"C:\\Roaming", "\\\\server\\share", "\\\\server\\share"},
      {"C:\\Roaming", "sub\\dir", "C:\\Roaming\\sub\\dir"},
  };
  for (const Case& c : cases) {
    ByteString path(c.path);
    AppendPathComponent(path, c.component);
    EXPECT_STREQ(path.CStr(), c.joined) << c.path << " + " << c.component;
  }
}

TEST(ComposeReportFolder, EndsInTheApplicationNameAndABackslash) {
  struct Case { const char* app_data; const char* name; const char* folder; };
  const Case cases[] = {
      {"C:\\Roaming", "Brisola", "C:\\Roaming\\Zell\\Brisola\\"},
      {"", "Brisola", "Zell\\Brisola\\"},  // no application-data folder: relative
      {"C:\\Roaming", "Player\\", "C:\\Roaming\\Zell\\Player\\"},
      {"C:\\Roaming", "Z:\\tmp\\reports", "Z:\\tmp\\reports\\"},
  };
  for (const Case& c : cases) {
    char folder[1024];
    std::memset(folder, 'z', sizeof folder);
    ComposeReportFolder(c.app_data, c.name, folder, sizeof folder);
    EXPECT_STREQ(folder, c.folder);
  }
}

}  // namespace
