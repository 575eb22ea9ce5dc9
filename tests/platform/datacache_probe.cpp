// Writes GetDataCacheDirectory of wherever this program runs into the file named by argv[1].
#include <cstdio>

#include "platform/installpaths.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  FILE* out = std::fopen(argv[1], "wb");
  if (!out) return 1;
  std::fputs(GetDataCacheDirectory().GetPath().CStr(), out);
  return std::fclose(out) == 0 ? 0 : 1;
}
