#include "shellfolders/registrystring.h"

#include "platform/handles.h"
#include "shellfolders/mediafolderplatform.h"

LSTATUS ReadRegistryStringW(HKEY root, const wchar_t* sub_key, const wchar_t* value_name,
                            WideString& out) {
  RegistryKey key;
  LSTATUS status = RegOpenKeyExW(root, sub_key ? sub_key : L"", 0, KEY_READ, key.Put());
  if (status != ERROR_SUCCESS) return status;

  const wchar_t* const name = value_name ? value_name : L"";
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
  DWORD read_size = size;
  status = RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                            &read_size);
  if (status != ERROR_SUCCESS) return status;
  // The value may have been rewritten with another type between the two reads.
  if (type != REG_SZ) return ERROR_DATATYPE_MISMATCH;

  const int read_units = static_cast<int>((read_size < size ? read_size : size) / 2);
  int length = 0;
  while (length < read_units && buffer[length] != L'\0') ++length;
  value.ReleaseBuffer(length);
  out.Swap(value);
  return ERROR_SUCCESS;
}

LSTATUS ReadRegistryString(HKEY root, const char* sub_key, const char* value_name, ByteString& out) {
  WideString wide_key;
  WideString wide_name;
  if (!AnsiToWide(sub_key, wide_key) || !AnsiToWide(value_name, wide_name)) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  WideString value;
  const LSTATUS status =
      GetMediaFolderPlatform().readRegistryStringW(root, wide_key.CStr(), wide_name.CStr(), value);
  if (status != ERROR_SUCCESS) return status;
  ByteString text;
  if (!WideToAnsi(value.CStr(), text)) return ERROR_NOT_ENOUGH_MEMORY;
  out.Swap(text);
  return ERROR_SUCCESS;
}
