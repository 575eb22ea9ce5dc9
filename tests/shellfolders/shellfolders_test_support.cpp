#include "shellfolders_test_support.h"

const wchar_t kPicturesPreferenceKeyW[] =
    L"Software\\Norvane\\Brisola\\12.0\\Preferences\\PicturesPath";

void SetDefaultValue(const wchar_t* subKey, DWORD type, const void* data, DWORD bytes) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, subKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, L"", 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
  RegCloseKey(key);
}

void SetPicturesPreference(const std::string& text) {
  const std::wstring wide = Widen(text);
  SetDefaultValue(kPicturesPreferenceKeyW, REG_SZ, wide.c_str(),
                  static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}
