// Runs watchhost.exe as a user would and hands back what it printed. Each test gets a copy of
// the program in a folder of its own, so that the formats.ini the plug-in reads beside it
// (DataCache\Formats) is the test's own.
#pragma once

#include <string>
#include <vector>

#include "testfiles.h"

// The keys watchhost writes the plug-in's settings to.
extern const std::string kPreferences;
extern const std::string kWatchFolders;
extern const std::string kPictures;  // the player's pictures preference

struct HostResult {
  int exit_code = -1;
  std::string out;  // standard output, bytes as written (UTF-8 on a pipe)
  std::string err;
};

class WatchHost {
 public:
  WatchHost();
  // The copy's folder, the formats.ini the plug-in reads there, and the DLLs the tests load.
  const TempFolder& Folder() const { return folder_; }
  std::string FormatsPath() const;
  static std::string PluginPath();
  // Test DLLs built beside this program: "failinit.dll", "needsgone.dll", "gone\gone.dll".
  static std::string TestDll(const std::string& name);

  // Runs it with the arguments (UTF-16, quoted as CommandLineToArgvW reads them back).
  HostResult Run(const std::vector<std::wstring>& args) const;

 private:
  TempFolder folder_;
  std::string exe_;
};

// Text as UTF-8, as watchhost writes it to a pipe.
std::string Utf8(const std::wstring& text);
