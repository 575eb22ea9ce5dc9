#include "scan/stdiofile.h"

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
  return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
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
