// watchhost's command line: each mistake told in exact words with exit code 2, every command's
// help with exit code 0, and each plug-in that cannot be loaded refused with exit code 1 and what
// the loader's error means.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "testfiles.h"
#include "watchhostrun.h"

namespace {

using ::testing::HasSubstr;

struct CommandCase {
  std::vector<std::wstring> args;
  int exit_code;
  std::string out;  // in standard output ("" for no check)
  std::string err;  // in standard error
};

void RunCases(const WatchHost& host, const std::vector<CommandCase>& cases) {
  for (const CommandCase& c : cases) {
    std::wstring shown;
    for (const std::wstring& arg : c.args) shown += L" " + arg;
    SCOPED_TRACE("watchhost" + Narrow(shown));
    const HostResult result = host.Run(c.args);
    EXPECT_EQ(c.exit_code, result.exit_code) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr(c.out));
    EXPECT_THAT(result.err, HasSubstr(c.err));
  }
}

TEST(WatchHostCommandLine, MistakesAreToldExactly) {
  WatchHost host;
  const std::wstring plugin = Widen(WatchHost::PluginPath());
  const std::wstring folder = Widen(host.Folder().Path());
  RunCases(host, {
      {{}, 2, "", "watchhost: no command given"},
      {{L"frob"}, 2, "", "unknown command 'frob' (watch, send, purge or status)"},
      {{L"--plugin"}, 2, "", "a command comes first, not the option --plugin"},
      {{L"watch", L"--recursive"}, 2, "", "watchhost: unknown option --recursive\n(see 'watchhost watch --help')"},
      {{L"watch", L"--interval", L"abc"}, 2, "", "--interval takes a number of seconds from 1 to 86400, not 'abc'"},
      {{L"watch", L"--interval=0"}, 2, "", "--interval takes a number of seconds from 1 to 86400, not '0'"},
      {{L"watch", L"--rescan-every", L"-1"}, 2, "", "--rescan-every takes a number of ticks, not '-1'"},
      {{L"watch", L"--rescan-every", L"x"}, 2, "", "--rescan-every takes a number of ticks, not 'x'"},
      {{L"watch", L"--ticks=1.5"}, 2, "", "--ticks takes a number of ticks, not '1.5'"},
      // The "=" form is taken: the command line gets as far as the missing --plugin.
      {{L"watch", L"--interval=5", L"--rescan-every=0"}, 2, "", "--plugin is required"},
      {{L"watch", L"--verbose=1"}, 2, "", "--verbose takes no value"},
      {{L"watch", L"--folder"}, 2, "", "--folder needs a folder\n"},
      {{L"watch", L"--folder", L"--verbose"}, 2, "", "--folder needs a folder, not the option --verbose"},
      {{L"watch", L"--logs", L"a", L"--logs", L"b"}, 2, "", "--logs is given twice"},
      {{L"watch", L"--plugin", plugin, L"--logs", folder}, 2, "", "at least one --folder is required"},
      {{L"watch", L"--plugin", plugin, L"--folder", folder}, 2, "", "--logs is required"},
      {{L"watch", L"--plugin", plugin, L"--logs", folder, L"--folder", folder, folder + L"\\b"}, 2, "",
       "' stands where an option was expected; to watch that folder too, give it its own --folder"},
      {{L"watch", L"--plugin", plugin, L"--logs", folder, L"--folder", folder, L"stray"}, 2, "",
       "'stray' stands where an option was expected\n"},
      {{L"watch", L"--plugin", plugin, L"--logs", folder, L"--folder", folder, L"--folder", folder + L"\\"}, 2, "",
       "is given twice"},
      {{L"watch", L"--plugin", plugin, L"--logs", folder, L"--folder", L"C:\\" + std::wstring(300, L'x')}, 2, "",
       "is 304 characters long with its backslash; the plug-in cannot scan folders longer than 258"},
      {{L"status", L"extra"}, 2, "", "status takes no argument, not 'extra'"},
      {{L"send", L"--plugin", plugin}, 2, "", "which event? (send --plugin <dll> <event>)"},
      {{L"purge", L"--plugin", plugin, L"a", L"b"}, 2, "", "purge takes one folder; 'b' is one too many"},
      {{L"help", L"frob"}, 2, "", "no command 'frob'"},
  });
}

TEST(WatchHostCommandLine, EveryCommandHasItsHelp) {
  WatchHost host;
  RunCases(host, {
      {{L"--help"}, 0, "watchhost <command> --help shows one command's help", ""},
      {{L"help", L"watch"}, 0, "watchhost watch --plugin <dll>", ""},
      {{L"watch", L"--help"}, 0, "--rescan-every ticks (default: every 300 s worth of ticks; 0: never)", ""},
      {{L"watch", L"--interval", L"3", L"-h"}, 0, "watchhost watch --plugin <dll>", ""},
      {{L"send", L"--help"}, 0, "watchhost send --plugin <dll> <event>", ""},
      {{L"purge", L"--help"}, 0, "watchhost purge --plugin <dll> <folder>", ""},
      {{L"status", L"--help"}, 0, "watchhost status [--plugin <dll>]\n", ""},
  });
}

// The plug-in's settings are ANSI: a folder the code page cannot spell is refused, named as typed.
TEST(WatchHostCommandLine, RefusesAFolderTheCodePageCannotSpell) {
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "a UTF-8 code page spells every name";
  WatchHost host;
  const std::wstring name = Widen(host.Folder().Path()) + L"\\Dvo\u0159\u00e1k";
  ASSERT_TRUE(CreateDirectoryW(name.c_str(), nullptr));
  RunCases(host, {{{L"watch", L"--plugin", Widen(WatchHost::PluginPath()), L"--logs", Widen(host.Folder() / "logs"),
                    L"--folder", name},
                   2, "", "--folder '" + Utf8(name) + "' cannot be spelt in the ANSI code page"},
                  {{L"purge", L"--plugin", Widen(WatchHost::PluginPath()), name}, 2, "",
                   "the folder '" + Utf8(name) + "' cannot be spelt"}});
  EXPECT_FALSE(IsDirectory(host.Folder() / "logs")) << "nothing is done for a refused command line";
}

// A copy of the plug-in with another machine type in its headers: what a host of the other width
// would be given.
std::string OtherMachineCopy(const TempFolder& folder) {
  std::string image = ReadBytes(WatchHost::PluginPath());
  DWORD offset = 0;
  std::memcpy(&offset, image.data() + 0x3c, sizeof offset);
  const WORD machine = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
  const WORD magic = sizeof(void*) == 8 ? IMAGE_NT_OPTIONAL_HDR32_MAGIC : IMAGE_NT_OPTIONAL_HDR64_MAGIC;
  std::memcpy(&image[offset + 4], &machine, sizeof machine);
  std::memcpy(&image[offset + 4 + sizeof(IMAGE_FILE_HEADER)], &magic, sizeof magic);
  const std::string path = folder / "othermachine.dll";
  WriteBytes(path, image);
  return path;
}

TEST(WatchHostCommandLine, PlugInsThatCannotBeLoadedAreToldApart) {
  WatchHost host;
  WriteBytes(host.Folder() / "notes.dll", "not a program");
  const std::string other = OtherMachineCopy(host.Folder());
  struct PluginCase {
    std::string dll;
    std::string err;
  };
  const std::vector<PluginCase> plugins = {
      {host.Folder() / "missing.dll", "missing.dll (no such file, or not readable)"},
      {host.Folder() / "notes.dll", "notes.dll is not a Windows program or DLL"},
      {host.Folder() / "watchhost.exe", "watchhost.exe is a program, not a DLL"},
      {other, sizeof(void*) == 8 ? "is a 32-bit (x86) module; this watchhost is 64-bit and loads only x64 DLLs"
                                 : "is a 64-bit (x64) module; this watchhost is 32-bit and loads only x86 DLLs"},
      {WatchHost::TestDll("gone\\gone.dll"), "gone.dll does not export EventCallback"},
      {WatchHost::TestDll("failinit.dll"),
       "(error 1114): its initialisation failed: DllMain returned FALSE, or a static object's constructor failed"},
      {WatchHost::TestDll("needsgone.dll"), "(error 126): a DLL it depends on is missing"},
  };
  for (const PluginCase& c : plugins) {
    SCOPED_TRACE(c.dll);
    for (const char* command : {"watch", "send"}) {
      const HostResult result =
          command == std::string("watch")
              ? host.Run({L"watch", L"--plugin", Widen(c.dll), L"--logs", Widen(host.Folder() / "logs"), L"--folder",
                          Widen(host.Folder().Path())})
              : host.Run({L"send", L"--plugin", Widen(c.dll), L"WatchFolders_Timer"});
      EXPECT_EQ(1, result.exit_code) << command;
      EXPECT_THAT(result.err, HasSubstr(c.err)) << command;
      // The hint of a missing dependency belongs to that case alone (a failed DllMain is not one).
      if (c.dll.find("needsgone") == std::string::npos) {
        EXPECT_THAT(result.err, ::testing::Not(HasSubstr("depends on is missing"))) << command;
      }
    }
  }
  EXPECT_FALSE(IsDirectory(host.Folder() / "logs")) << "a plug-in that cannot be loaded changes nothing";
}

}  // namespace
