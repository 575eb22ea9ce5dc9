#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shellfolders/picturesfolder.h"
#include "shellfolders/registrystring.h"
#include "shellfolders_test_support.h"

namespace {

const wchar_t kTestKey[] = L"Software\\Norvane\\ShellFolderTests";

using RegistryString = NorvaneRegistryTest;

struct ValueCase {
  const char* what;
  DWORD type;
  const void* data;
  DWORD bytes;
  LSTATUS status;
  const wchar_t* text;  // expected on success
};

TEST_F(RegistryString, ReadsRegSzByItsDataAndRefusesEveryOtherType) {
  static const wchar_t kPath[] = L"C:\\Pics";
  static const wchar_t kTwoTexts[] = L"ab\0cd";
  static const DWORD kNumber = 7;
  static const wchar_t kMulti[] = L"a\0b\0";
  const ValueCase cases[] = {
      {"with terminator", REG_SZ, kPath, sizeof kPath, ERROR_SUCCESS, L"C:\\Pics"},
      {"without terminator", REG_SZ, kPath, 7 * sizeof(wchar_t), ERROR_SUCCESS, L"C:\\Pics"},
      {"ends at the first NUL", REG_SZ, kTwoTexts, sizeof kTwoTexts, ERROR_SUCCESS, L"ab"},
      {"odd byte count", REG_SZ, kPath, 5, ERROR_SUCCESS, L"C:"},
      {"zero bytes", REG_SZ, kPath, 0, ERROR_SUCCESS, L""},
      {"REG_EXPAND_SZ", REG_EXPAND_SZ, kPath, sizeof kPath, ERROR_DATATYPE_MISMATCH, nullptr},
      {"REG_DWORD", REG_DWORD, &kNumber, sizeof kNumber, ERROR_DATATYPE_MISMATCH, nullptr},
      {"REG_MULTI_SZ", REG_MULTI_SZ, kMulti, sizeof kMulti, ERROR_DATATYPE_MISMATCH, nullptr},
  };
  for (const ValueCase& c : cases) {
    SetDefaultValue(kTestKey, c.type, c.data, c.bytes);
    WideString out(L"sentinel");
    EXPECT_EQ(ReadRegistryStringW(HKEY_CURRENT_USER, kTestKey, L"", out), c.status) << c.what;
    EXPECT_STREQ(out.CStr(), c.text ? c.text : L"sentinel") << c.what;
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
  }
}

TEST_F(RegistryString, MissingKeyOrValueReportsTheRegistryErrorAndLeavesTheOutput) {
  WideString out(L"sentinel");
  EXPECT_EQ(ReadRegistryStringW(HKEY_CURRENT_USER, kTestKey, L"", out), ERROR_FILE_NOT_FOUND);
  SetDefaultValue(kTestKey, REG_SZ, L"x", 4);
  EXPECT_EQ(ReadRegistryStringW(HKEY_CURRENT_USER, kTestKey, L"Named", out), ERROR_FILE_NOT_FOUND);
  EXPECT_STREQ(out.CStr(), L"sentinel");
  ByteString ansi("sentinel");
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, "Software\\Norvane\\Nowhere", "", ansi),
            ERROR_FILE_NOT_FOUND);
  EXPECT_STREQ(ansi.CStr(), "sentinel");
}

TEST_F(RegistryString, NullOrEmptyValueNameSelectsTheDefaultValue) {
  SetDefaultValue(kTestKey, REG_SZ, L"default", sizeof L"default");
  WideString out;
  EXPECT_EQ(ReadRegistryStringW(HKEY_CURRENT_USER, kTestKey, nullptr, out), ERROR_SUCCESS);
  EXPECT_STREQ(out.CStr(), L"default");
  ByteString ansi;
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, "Software\\Norvane\\ShellFolderTests", nullptr,
                               ansi),
            ERROR_SUCCESS);
  EXPECT_STREQ(ansi.CStr(), "default");
}

TEST_F(RegistryString, AnsiReadPassesTheTextThroughTheCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << GetACP();
  static const wchar_t kText[] = L"C:\\Caf\u00E9\\\u4E2D";
  SetDefaultValue(kTestKey, REG_SZ, kText, sizeof kText);
  ByteString ansi;
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, "Software\\Norvane\\ShellFolderTests", "", ansi),
            ERROR_SUCCESS);
  EXPECT_STREQ(ansi.CStr(), "C:\\Caf\xE9\\?");
}

using PlayerPreference = NorvaneRegistryTest;

TEST_F(PlayerPreference, ReadsTheDefaultValueOfThePreferencesOwnKey) {
  SetPicturesPreference("D:\\Photos");
  WideString text;
  EXPECT_EQ(ReadPlayerPreference("PicturesPath", text), S_OK);
  EXPECT_STREQ(text.CStr(), L"D:\\Photos");

  SetPicturesPreference("");
  EXPECT_EQ(ReadPlayerPreference("PicturesPath", text), S_OK);
  EXPECT_TRUE(text.IsEmpty());
}

TEST_F(PlayerPreference, MissingNameOrUnreadableValueLeavesTheOutput) {
  // The preferences key's own default value is no preference.
  SetDefaultValue(L"Software\\Norvane\\Brisola\\12.0\\Preferences", REG_SZ, L"C:\\", 8);
  WideString text(L"sentinel");
  EXPECT_EQ(ReadPlayerPreference(nullptr, text), E_INVALIDARG);
  EXPECT_EQ(ReadPlayerPreference("", text), E_INVALIDARG);
  EXPECT_EQ(ReadPlayerPreference("VideosPath", text), E_FAIL);
  const DWORD number = 1;
  SetDefaultValue(kPicturesPreferenceKeyW, REG_DWORD, &number, sizeof number);
  EXPECT_EQ(ReadPlayerPreference("PicturesPath", text), E_FAIL);
  EXPECT_STREQ(text.CStr(), L"sentinel");

  EXPECT_EQ(GetMediaFolderPreference(nullptr, MediaFolderKind::Pictures, text), E_INVALIDARG);
  EXPECT_EQ(GetDefaultMediaFolder(static_cast<MediaFolderKind>(3), text), E_FAIL);
  EXPECT_STREQ(text.CStr(), L"sentinel");
}

}  // namespace
