#include "prefs/regkey.h"

#include <cstring>
#include <memory>
#include <new>

#include "text/mbtext.h"

namespace {

// Read and write rights as the settings have always been opened: KEY_READ | KEY_WRITE.
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

// The default text into the whole buffer, cut to leave room for the terminator.
void CopyDefault(const char* default_text, char* destination, DWORD size) {
  BoundedCopy(destination, default_text ? default_text : "", size);
}

}  // namespace

bool RegKey::CreateOrOpen(HKEY root, const char* subkey) {
  Close();
  if (!subkey) return false;
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, subkey, 0, nullptr, 0, kReadWrite, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    key = nullptr;
    if (RegOpenKeyExA(root, subkey, 0, kReadWrite, &key) != ERROR_SUCCESS) return false;
  }
  key_.Reset(key);
  return true;
}

bool RegKey::OpenForRead(HKEY root, const char* subkey) {
  Close();
  if (!subkey) return false;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  key_.Reset(key);
  return true;
}

bool RegKey::ReadString(const char* name, const char* default_text, char* destination,
                        DWORD size) {
  return ReadString(name, default_text, destination, size, nullptr);
}

bool RegKey::ReadString(const char* name, const char* default_text, char* destination,
                        DWORD size, bool* unusable) {
  if (unusable) *unusable = false;
  // No buffer to terminate (or size + 1 would wrap): nothing is written.
  if (!key_.IsOpen() || !destination || size == 0 || size == MAXDWORD) return false;

  // One byte more than the destination, so a string that fills it exactly is still seen whole.
  std::unique_ptr<char[]> data(new (std::nothrow) char[size + 1]);
  if (!data) return false;
  DWORD type = REG_NONE;
  DWORD bytes = size + 1;
  const LONG status = RegQueryValueExA(key_.Get(), name, nullptr, &type,
                                       reinterpret_cast<BYTE*>(data.get()), &bytes);

  if (type == REG_SZ && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)) {
    std::memset(destination, 0, size);
    if (status == ERROR_SUCCESS) {
      // The stored bytes need not end in a NUL; measure within what was returned.
      const DWORD returned = bytes < size + 1 ? bytes : size + 1;
      const std::size_t length = strnlen(data.get(), returned);
      if (length < size) {
        std::memcpy(destination, data.get(), length);
        return true;
      }
    }
    if (unusable) *unusable = true;
    CopyDefault(default_text, destination, size);
    return false;
  }

  // Missing value or any other type (REG_EXPAND_SZ is not expanded, REG_MULTI_SZ not joined).
  // A value of another type is still a setting the host made: "LogPath" as REG_EXPAND_SZ must not
  // send the logs to the current directory as a missing one does.
  if (unusable) *unusable = status == ERROR_SUCCESS || status == ERROR_MORE_DATA;
  std::memset(destination, 0, size);
  CopyDefault(default_text, destination, size);
  return false;
}

bool RegKey::ReadDword(const char* name, DWORD default_value, DWORD* destination) {
  if (!key_.IsOpen() || !destination) return false;
  // Eight bytes, zeroed, so a REG_DWORD stored with fewer than four bytes reads no stack bytes.
  BYTE data[8] = {};
  DWORD type = REG_NONE;
  DWORD bytes = sizeof(data);
  const LONG status = RegQueryValueExA(key_.Get(), name, nullptr, &type, data, &bytes);
  if (type == REG_DWORD && status == ERROR_SUCCESS) {
    *destination = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
                   static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
    return true;
  }
  *destination = default_value;
  return false;
}
