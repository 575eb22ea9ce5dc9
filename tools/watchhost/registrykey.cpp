#include "registrykey.h"

#include <cstring>

std::string RegistryValue::Text() const {
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return std::string();
  const char* text = reinterpret_cast<const char*>(data.data());
  return std::string(text, strnlen(text, data.size()));
}

bool RegistryValue::AsDword(DWORD* value) const {
  if (!present || type != REG_DWORD || data.size() > 8) return false;
  BYTE bytes[4] = {};
  std::memcpy(bytes, data.data(), data.size() < 4 ? data.size() : 4);
  *value = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
           static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
  return true;
}

std::string RegistryTypeName(DWORD type) {
  switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: return "type " + std::to_string(type);
  }
}

RegistryKey::~RegistryKey() {
  if (key_) RegCloseKey(key_);
}

bool RegistryKey::Open(const std::string& path) {
  return !key_ && RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key_) == ERROR_SUCCESS;
}

bool RegistryKey::Create(const std::string& path) {
  return !key_ && RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                  nullptr, &key_, nullptr) == ERROR_SUCCESS;
}

RegistryValue RegistryKey::Query(const char* name) const {
  RegistryValue value;
  if (!key_) return value;
  DWORD size = 0;
  if (RegQueryValueExA(key_, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return value;
  // Room for a terminator the stored bytes may lack.
  value.data.assign(size + 2, 0);
  DWORD read = size;
  if (RegQueryValueExA(key_, name, nullptr, &value.type, value.data.data(), &read) != ERROR_SUCCESS) {
    return RegistryValue();
  }
  value.present = true;
  value.data.resize(read);
  return value;
}

bool RegistryKey::SetString(const char* name, const std::string& text) {
  return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool RegistryKey::SetDword(const char* name, DWORD value) {
  return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
         ERROR_SUCCESS;
}

bool RegistryKey::DeleteValue(const char* name) {
  const LONG status = RegDeleteValueA(key_, name);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

std::vector<std::string> RegistryKey::Subkeys() const {
  std::vector<std::string> names;
  char name[256];
  for (DWORD index = 0; key_; ++index) {
    DWORD length = sizeof(name);
    const LONG status = RegEnumKeyExA(key_, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) continue;  // longer than any key name we look for
    if (status != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

bool DeleteRegistryTree(const std::string& path) {
  const LONG status = RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}
