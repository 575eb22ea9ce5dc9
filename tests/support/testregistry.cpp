#include "testregistry.h"

const char kNorvaneKey[] = "Software\\Norvane";

void DeleteNorvaneKeys() { RegDeleteTreeA(HKEY_CURRENT_USER, kNorvaneKey); }

void SetRegBytes(const std::string& subkey, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
  RegCloseKey(key);
}

void SetRegString(const std::string& subkey, const char* name, const std::string& text, DWORD type) {
  SetRegBytes(subkey, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void SetRegDword(const std::string& subkey, const char* name, DWORD value) {
  SetRegBytes(subkey, name, REG_DWORD, &value, sizeof value);
}

bool KeyExists(const std::string& subkey) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

long long GetRegDword(const std::string& subkey, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
  DWORD type = 0, value = 0, size = sizeof value;
  const LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && type == REG_DWORD ? value : -1;
}
