#include "watchhostrun.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

const std::string kPreferences = "Software\\Norvane\\Tamblin\\1.0\\Preferences";
const std::string kWatchFolders = kPreferences + "\\WatchFolders";
const std::string kPictures = "Software\\Norvane\\Brisola\\12.0\\Preferences\\PicturesPath";

namespace {

// The command-line form of one argument that CommandLineToArgvW turns back into it.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

// Reads the pipe until the process has ended and the pipe holds nothing more, not until the
// pipe's end: a process the child starts may inherit the write end and keep it open long after
// the child is gone (under Wine, the desktop's explorer.exe that the first window call starts).
// A child that never ends is given up after two minutes; the caller then ends it.
void Drain(HANDLE pipe, HANDLE process, std::string* into) {
  char buffer[4096];
  const ULONGLONG deadline = GetTickCount64() + 120000;
  while (GetTickCount64() < deadline) {
    DWORD available = 0;
    // Fails once every writer has closed its end.
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return;
    if (available > 0) {
      DWORD read = 0;
      if (!ReadFile(pipe, buffer, available < sizeof buffer ? available : sizeof buffer, &read, nullptr)) return;
      into->append(buffer, read);
      continue;
    }
    if (WaitForSingleObject(process, 10) != WAIT_OBJECT_0) continue;
    // Ended: what it wrote just before is read, then nothing more comes.
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return;
  }
}

}  // namespace

WatchHost::WatchHost() : folder_("watchhost"), exe_(folder_ / "watchhost.exe") {
  const std::string built = WindowsPath(WF_WATCHHOST_EXE);
  EXPECT_TRUE(CopyFileA(built.c_str(), exe_.c_str(), FALSE)) << built;
  // The sample formats.ini that watch installs unless told otherwise.
  const std::string sample = built.substr(0, built.find_last_of('\\') + 1) + "formats.ini";
  EXPECT_TRUE(CopyFileA(sample.c_str(), (folder_ / "formats.ini").c_str(), FALSE)) << sample;
}

std::string WatchHost::FormatsPath() const { return folder_ / "DataCache\\Formats\\formats.ini"; }

std::string WatchHost::PluginPath() { return WindowsPath(WF_PLUGIN_DLL); }

std::string WatchHost::TestDll(const std::string& name) { return ProgramDirectory() + "\\" + name; }

HostResult WatchHost::Run(const std::vector<std::wstring>& args) const {
  std::wstring command = Quote(Widen(exe_));
  for (const std::wstring& arg : args) command += L" " + Quote(arg);
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE out_read = nullptr, out_write = nullptr, err_read = nullptr, err_write = nullptr;
  HostResult result;
  if (!CreatePipe(&out_read, &out_write, &inherit, 0) || !CreatePipe(&err_read, &err_write, &inherit, 0)) {
    ADD_FAILURE() << "no pipes";
    return result;
  }
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  PROCESS_INFORMATION process{};
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(out_write);
  CloseHandle(err_write);
  if (started) {
    std::thread err_reader(Drain, err_read, process.hProcess, &result.err);
    Drain(out_read, process.hProcess, &result.out);
    err_reader.join();
    // Generous: a watch run of a few ticks takes seconds.
    if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 99);
      ADD_FAILURE() << "watchhost did not end";
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exit_code = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    ADD_FAILURE() << "cannot start " << exe_;
  }
  CloseHandle(out_read);
  CloseHandle(err_read);
  return result;
}

std::string Utf8(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], length, nullptr, nullptr);
  utf8.resize(utf8.size() - 1);
  return utf8;
}
