// A host that a test can kill at any moment: loads the plug-in and sends it events.
//   killhost DLL init    one "WatchFolders_InitLogs"
//   killhost DLL once    one full refresh: the change notices of WatchFolder0 and of the pictures
//                        folder, then "WatchFolders_Timer"
//   killhost DLL loop    the same as once, over and over until the process is killed
// Exit code 0 when the events were sent, 2 when the plug-in could not be loaded.
#include <windows.h>

#include <cstring>

using EventCallbackFunction = HRESULT(__stdcall*)(const char*);

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  HMODULE module = LoadLibraryA(argv[1]);
  if (!module) return 2;
  auto send = reinterpret_cast<EventCallbackFunction>(
      reinterpret_cast<void*>(GetProcAddress(module, "EventCallback")));
  if (!send) return 2;
  if (std::strcmp(argv[2], "init") == 0) {
    send("WatchFolders_InitLogs");
    return 0;
  }
  const bool loop = std::strcmp(argv[2], "loop") == 0;
  do {
    send("WatchFolder0");
    send("WatchFolderPicture");
    send("WatchFolders_Timer");
  } while (loop);
  return 0;
}
