#include "platform/streams.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

bool FlushToDisk(std::FILE* file) {
  if (!file) return false;
  if (std::fflush(file) != 0 || std::ferror(file)) return false;
#ifdef _WIN32
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return false;
  if (FlushFileBuffers(handle)) return true;
  // Some redirectors and devices do not offer the flush at all. The runtime's flush has handed
  // the bytes to the system already, which holds them whatever becomes of this process; only a
  // flush that was tried and failed says that bytes may be lost.
  const DWORD error = GetLastError();
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
#else
  return fsync(fileno(file)) == 0;
#endif
}

void UseRuntimeTextMode(std::FILE* file) {
#ifdef _WIN32
  if (file) _setmode(_fileno(file), _O_TEXT);
#else
  (void)file;
#endif
}
