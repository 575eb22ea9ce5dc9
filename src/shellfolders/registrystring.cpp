#include "shellfolders/registrystring.h"

#include "platform/handles.h"
#include "shellfolders/mediafolderplatform.h"

LSTATUS ReadRegistryStringW(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                            WideString& out) {
  RegistryKey key;
  LSTATUS status = RegOpenKeyExW(root, subKey ? subKey : L"", 0, KEY_READ, key.Put());
  if (status != ERROR_SUCCESS) return status;

  const wchar_t* const name = valueName ? valueName : L"";
  DWORD type = REG_NONE;
  DWORD size = 0;
  status = RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &size);
  if (status != ERROR_SUCCESS) return status;
  if (type != REG_SZ) return ERROR_DATATYPE_MISMATCH;
  if (size == 0) {
    out.Clear();
    return ERROR_SUCCESS;
  }

  // size / 2 units and a terminator hold the data even when its byte count is odd.
  const DWORD units = size / 2;
  if (units > static_cast<DWORD>(WideString::kMaxLength)) return ERROR_NOT_ENOUGH_MEMORY;
  WideString value;
  wchar_t* buffer = value.GetBuffer(static_cast<int>(units));
  if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
  // Passing the size learned above keeps the second read inside the buffer even when the value
  // grew in between (it then fails with ERROR_MORE_DATA).
  DWORD readSize = size;
  status = RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                            &readSize);
  if (status != ERROR_SUCCESS) return status;
  // The value may have been rewritten with another type between the two reads.
  if (type != REG_SZ) return ERROR_DATATYPE_MISMATCH;

  const int readUnits = static_cast<int>((readSize < size ? readSize : size) / 2);
  int length = 0;
  while (length < readUnits && buffer[length] != L'\0') ++length;
  value.ReleaseBuffer(length);
  out.Swap(value);
  return ERROR_SUCCESS;
}

LSTATUS ReadRegistryString(HKEY root, const char* subKey, const char* valueName, ByteString& out) {
  WideString wideKey;
  WideString wideName;
  if (!AnsiToWide(subKey, wideKey) || !AnsiToWide(valueName, wideName)) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  WideString value;
  const LSTATUS status =
      GetMediaFolderPlatform().readRegistryStringW(root, wideKey.CStr(), wideName.CStr(), value);
  if (status != ERROR_SUCCESS) return status;
  ByteString text;
  if (!WideToAnsi(value.CStr(), text)) return ERROR_NOT_ENOUGH_MEMORY;
  out.Swap(text);
  return ERROR_SUCCESS;
}
