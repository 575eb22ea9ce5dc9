#include "platform/pathtext.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool IsFullyQualified(const char* path) {
  if (IsAsciiLetter(path[0]) && path[1] == ':' && IsSeparator(path[2])) return true;
  return IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] != '\0' && !IsSeparator(path[2]);
}

bool HasDriveOrUncPrefix(const char* path) {
  return (IsAsciiLetter(path[0]) && path[1] == ':') || (path[0] == '\\' && path[1] == '\\');
}
