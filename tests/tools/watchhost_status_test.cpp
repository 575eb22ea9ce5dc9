// watchhost status against settings as a host may leave them: every value with its type, a
// missing value told from one of the wrong type, what the plug-in makes of each; and formats.ini
// read as the plug-in reads it, with a warning, from status and from watch, when a list has no
// usable pattern.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "testregistry.h"
#include "watchhostrun.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class WatchHostStatus : public NorvaneRegistryTest {};

struct StatusCase {
  const char* what;
  std::function<void(const TempFolder&)> setup;
  std::vector<std::string> shown;      // each in the output
  std::vector<std::string> not_shown;  // none in the output
};

TEST_F(WatchHostStatus, SaysWhatThePlugInMakesOfEachSetting) {
  const std::vector<StatusCase> cases = {
      {"nothing set", [](const TempFolder&) {},
       {"SkipFolderScan       (not set: 0, change notices mark folders dirty)",
        "ExemptWatch          (not set: no folder is exempt)",
        "LogPath              (not set: the scan logs and change lists go to the host's current directory)",
        "NumFolders           (not set: 0, no numbered folder is visited)",
        "QuickRescan          (not set: rescans may be quick: only directories whose times moved are listed again)",
        "WatchFolderPicture   Dirty (not set: 0)",
        "(default)            (not set: the plug-in takes the shell's pictures folder",
        "Log folder  (the host's current directory: not known here)"},
       {}},
      {"a count written as text is a wrong type, not a number",
       [](const TempFolder&) {
         SetRegString(kWatchFolders, "NumFolders", "1");
         SetRegString(kWatchFolders + "\\WatchFolder0", "Folder", "C:\\Music");
       },
       {"NumFolders           REG_SZ \"1\" -- wrong type, REG_DWORD expected: the plug-in reads 0 and visits no "
        "numbered folder",
        "WatchFolder0         beyond NumFolders: not visited"},
       {"REG_DWORD 1", "REG_DWORD 49"}},
      {"a huge count is bounded by the entries there are",
       [](const TempFolder&) {
         SetRegDword(kWatchFolders, "NumFolders", 0xFFFFFFFFu);
         SetRegString(kWatchFolders + "\\WatchFolder0", "Folder", "C:\\Music");
         SetRegString(kWatchFolders + "\\WatchFolder4", "Folder", "C:\\Video", REG_EXPAND_SZ);
         SetRegString(kWatchFolders + "\\WatchFolder4", "Dirty", "1");
       },
       {"NumFolders           REG_DWORD 4294967295 (the plug-in visits WatchFolder0 to WatchFolder4, the last entry",
        "WatchFolder0         Folder REG_SZ \"C:\\Music\" (not reachable now), Dirty (not set: 0)",
        "WatchFolder1 to WatchFolder3: no key, passed over",
        "WatchFolder4         Folder REG_EXPAND_SZ \"C:\\Video\" -- wrong type, REG_SZ expected: passed over, Dirty "
        "REG_SZ \"1\" -- wrong type, REG_DWORD expected: read as 0"},
       {"WatchFolder5"}},
      {"quick rescans turned off",
       [](const TempFolder&) { SetRegDword(kWatchFolders, "QuickRescan", 0); },
       {"QuickRescan          REG_DWORD 0 -- 0: every rescan lists every directory"},
       {}},
      {"skipping folder scans",
       [](const TempFolder&) {
         SetRegDword(kPreferences, "SkipFolderScan", 1);
         SetRegDword(kWatchFolders, "NumFolders", 1);
         SetRegDword(kWatchFolders + "\\WatchFolder0", "Dirty", 2);
         SetRegDword(kWatchFolders + "\\WatchFolderPicture", "Dirty", 1);
       },
       {"SkipFolderScan       REG_DWORD 1 -- non-zero: the plug-in never changes a Dirty flag, so change notices are "
        "ignored and nothing is reported",
        "WatchFolder0         Folder (not set: passed over), Dirty REG_DWORD 2 (only 1 means dirty: not rescanned)",
        "WatchFolderPicture   Dirty REG_DWORD 1 (rescanned at the next timer event)"},
       {}},
      {"values of the wrong type or too long",
       [](const TempFolder&) {
         SetRegString(kPreferences, "SkipFolderScan", "1");
         SetRegString(kPreferences, "ExemptWatch", "C:\\" + std::string(300, 'x'));
         SetRegString(kWatchFolders, "LogPath", "%TEMP%\\", REG_EXPAND_SZ);
         SetRegString(kPictures, "", "%USERPROFILE%\\Pictures", REG_EXPAND_SZ);
       },
       {"SkipFolderScan       REG_SZ \"1\" -- wrong type, REG_DWORD expected: the plug-in reads 0",
        "ExemptWatch          REG_SZ of 303 characters -- at most 259 are read: no folder is exempt",
        "LogPath              REG_EXPAND_SZ \"%TEMP%\\\" -- wrong type, REG_SZ expected: the plug-in does nothing at "
        "all (no refresh, no purge)",
        "(default)            REG_EXPAND_SZ \"%USERPROFILE%\\Pictures\" -- wrong type, REG_SZ (REG_EXPAND_SZ is not "
        "expanded) expected: the plug-in takes the shell's pictures folder"},
       {}},
      {"a log path without its backslash, and the log folder's files",
       [](const TempFolder& folder) {
         SetRegString(kWatchFolders, "LogPath", folder / "logs\\wf-");
         WriteBytes(folder / "logs\\wf-fldrscan.out", "C:\\a.mp3\r\n");
         WriteBytes(folder / "logs\\other.txt", "");
       },
       {"-- no trailing '\\': it is a prefix, the files are named ", "wf-fldrscan.out", "Log folder  ",
        "logs\\ (the files beginning with wf-): 1 file(s)", "wf-fldrscan.out                          10 bytes"},
       {"other.txt"}},
      {"a stray notice's key", [](const TempFolder&) { SetRegDword(kWatchFolders + "\\WatchFolders_Timer ", "Dirty", 1); },
       {"WatchFolders_Timer   not a folder entry (made by a notice of that name)"}, {}},
  };
  for (const StatusCase& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteNorvaneKeys();
    WatchHost host;
    c.setup(host.Folder());
    const HostResult result = host.Run({L"status"});
    EXPECT_EQ(0, result.exit_code);
    for (const std::string& text : c.shown) EXPECT_THAT(result.out, HasSubstr(text));
    for (const std::string& text : c.not_shown) EXPECT_THAT(result.out, Not(HasSubstr(text)));
    EXPECT_LT(std::count(result.out.begin(), result.out.end(), '\n'), 40) << result.out;
  }
}

struct FormatsCase {
  const char* what;
  bool present;  // false: no formats.ini at all
  std::string contents;
  std::vector<std::string> warnings;
};

TEST_F(WatchHostStatus, WarnsOfAFormatsIniWithoutUsablePatterns) {
  const std::string overlong = "[searchpatterns]\r\next1=*.mp3;" + std::string(1100, 'a') + "\r\n";
  const char garbage[] = "\x7f" "ELF\x01\x02\x00\xff\xfe garbage\r\n=;;==\r\n";
  const std::vector<FormatsCase> cases = {
      {"no file", false, "", {"no formats.ini at ", "the plug-in will report no media files and no pictures"}},
      {"empty", true, "",
       {"[searchpatterns] ext1 has no usable pattern (there is no [searchpatterns] section): the plug-in will report "
        "no media files of the watched folders",
        "[image] imageext has no usable pattern (there is no [image] section): the plug-in will report no pictures"}},
      {"garbage", true, std::string(garbage, sizeof garbage - 1),
       {"[searchpatterns] ext1 has no usable pattern (there is no [searchpatterns] section)"}},
      {"upper case only", true, "[searchpatterns]\r\next1=*.MP3;*.WMA;*.Flac\r\n[image]\r\nimageext=*.JPG\r\n",
       {"[searchpatterns] ext1 has no usable pattern ('*.MP3' is not in lower case (the plug-in lowers the file's "
        "extension, never the list), and 2 more never match)",
        "[image] imageext has no usable pattern ('*.JPG' is not in lower case"}},
      {"no key, an empty key", true, "[searchpatterns]\r\next2=*.mp3\r\n[image]\r\nimageext=\r\n",
       {"ext1 has no usable pattern (the section has no ext1)", "imageext has no usable pattern (imageext is empty)"}},
      {"not patterns", true, "[searchpatterns]\r\next1=mp3;.wma;*.;*.*\r\n[image]\r\nimageext=*.jpg\r\n",
       {"ext1 has no usable pattern ('mp3' is not of the form *.<ext>, and 3 more never match)"}},
      {"overlong", true, overlong,
       {"[searchpatterns] ext1 is 1106 characters long; the plug-in reads only the first 1023, and never sees the rest"}},
  };
  for (const FormatsCase& c : cases) {
    SCOPED_TRACE(c.what);
    WatchHost host;
    if (c.present) WriteBytes(host.FormatsPath(), c.contents);
    const HostResult status = host.Run({L"status"});
    EXPECT_EQ(0, status.exit_code);
    for (const std::string& warning : c.warnings) EXPECT_THAT(status.out, HasSubstr(warning));
    if (!c.present) continue;
    // watch installs the file it is given and warns of the same.
    const std::string given = host.Folder() / "given.ini";
    WriteBytes(given, ReadBytes(host.FormatsPath()));
    const HostResult watch = host.Run({L"watch", L"--plugin", Widen(WatchHost::PluginPath()), L"--logs",
                                       Widen(host.Folder() / "logs"), L"--folder", Widen(host.Folder().Path()),
                                       L"--pictures", Widen(host.Folder().Path()), L"--formats", Widen(given),
                                       L"--ticks", L"1", L"--interval", L"1"});
    EXPECT_EQ(0, watch.exit_code) << watch.err;
    EXPECT_THAT(watch.err, HasSubstr("watchhost: warning: " + host.FormatsPath() + ": "));
    for (const std::string& warning : c.warnings) EXPECT_THAT(watch.err, HasSubstr(warning));
  }
}

// The version an installer compares: the DLL's version resource, from the VERSION file; a DLL
// without one is said to have none.
TEST_F(WatchHostStatus, NamesThePluginsVersion) {
  WatchHost host;
  const HostResult plugin = host.Run({L"status", L"--plugin", Widen(WatchHost::PluginPath())});
  EXPECT_EQ(0, plugin.exit_code) << plugin.err;
  EXPECT_THAT(plugin.out, HasSubstr("Plug-in  " + WatchHost::PluginPath() + ": version " WF_VERSION "\n"));
  const HostResult other = host.Run({L"status", L"--plugin", Widen(WatchHost::TestDll("failinit.dll"))});
  EXPECT_THAT(other.out, HasSubstr("failinit.dll: no version resource\n"));
  const HostResult operand = host.Run({L"status", L"extra"});
  EXPECT_EQ(2, operand.exit_code);
  EXPECT_THAT(operand.err, HasSubstr("status takes no argument, not 'extra'"));
}

TEST_F(WatchHostStatus, ListsTheUsablePatternsOfAGoodFile) {
  WatchHost host;
  WriteBytes(host.FormatsPath(), "[searchpatterns]\r\next1=*.mp3;*.WMA;x*.ogg\r\n[image]\r\nimageext=*.jpg;*.png\r\n");
  const HostResult result = host.Run({L"status"});
  EXPECT_THAT(result.out, HasSubstr("[searchpatterns] ext1, for the media files of the watched folders: 2 usable: "
                                    "*.mp3 *.ogg\n    never matches: '*.WMA' is not in lower case"));
  EXPECT_THAT(result.out, HasSubstr("[image] imageext, for the pictures of the pictures folder: 2 usable: *.jpg *.png"));
  EXPECT_THAT(result.out, Not(HasSubstr("warning")));
}

}  // namespace
