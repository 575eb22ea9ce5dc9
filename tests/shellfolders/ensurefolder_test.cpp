#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "shellfolders/picturesfolder.h"
#include "shellfolders_test_support.h"

namespace {

HRESULT Ensure(const std::string& path) { return EnsureFolderExists(WideString(Widen(path).c_str())); }

TEST(EnsureFolderExists, ExistingFolderOrCreatableLevelsSucceed) {
  const TempFolder temp;
  EXPECT_EQ(Ensure(temp.Path()), S_OK);
  EXPECT_EQ(Ensure(temp.Path() + "\\"), S_OK);
  EXPECT_EQ(Ensure(temp / "a\\b\\c"), S_OK);
  EXPECT_TRUE(IsDirectory(temp / "a\\b\\c"));
  MakeFolder(temp / "d");
  EXPECT_EQ(Ensure(temp.Path() + "/d"), S_OK);
  EXPECT_EQ(Ensure("\\\\?\\" + temp.Path()), S_OK);
}

TEST(EnsureFolderExists, PathsThatCannotBeAFolderFailWithoutCreatingAnything) {
  const TempFolder temp;
  WriteBytes(temp / "file", "");
  const std::string drive = UnmappedDrive();
  ASSERT_FALSE(drive.empty());

  char cwd[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, cwd);
  ASSERT_TRUE(SetCurrentDirectoryA(temp.Path().c_str()));
  const std::string overlong = temp / "level\\" + std::string(MAX_PATH, 'x');
  struct Case {
    const char* what;
    std::string path;
  } cases[] = {
      {"empty", ""},
      {"a file in the way", temp / "file\\sub"},
      {"unmapped drive", drive + "\\Pictures\\New"},
      {"root of an unmapped drive", drive + "\\"},
      {"bare server", "\\\\nosuchsrv\\"},
      {"relative", "relative\\pics"},
      {"drive-relative", temp.Path().substr(0, 2) + "relative2"},
      {"rooted without a drive", "\\rooted_without_drive"},
      {"library parsing name", "::{031E4825-7B94-4DC3-B131-E946B44C8DD5}\\Pictures.library-ms"},
      {"longer than MAX_PATH", overlong},
      {"wildcard", temp / "wild*card"},
      {"question mark", temp / "what?"},
  };
  for (const Case& c : cases) EXPECT_EQ(Ensure(c.path), E_FAIL) << c.what;
  SetCurrentDirectoryA(cwd);

  EXPECT_FALSE(PathExists(temp / "relative"));
  EXPECT_FALSE(PathExists(temp / "relative2"));
  EXPECT_FALSE(PathExists(temp / "level"));
  EXPECT_FALSE(PathExists(temp / "wild*card"));
  EXPECT_FALSE(PathExists(temp.Path().substr(0, 3) + "rooted_without_drive"));
}

TEST(EnsureFolderExists, UnrepresentableCharactersAreTestedInTheirConvertedForm) {
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << GetACP();
  const TempFolder temp;
  const std::wstring path = Widen(temp.Path()) + L"\\\u0E01";
  EXPECT_EQ(EnsureFolderExists(WideString(path.c_str())), E_FAIL);
  EXPECT_EQ(EnsureFolderExists(WideString((Widen(temp.Path()) + L"\\Caf\u00E9").c_str())), S_OK);
  EXPECT_TRUE(IsDirectory(temp / "Caf\xE9"));
}

// Katakana SO (83 5C) and the kanji for table (95 5C): their trail byte is a backslash.
TEST(EnsureFolderExists, DoubleByteNamesWithABackslashTrailByteStayWhole) {
  if (GetACP() != 932) GTEST_SKIP() << "the ANSI code page is " << GetACP();
  const TempFolder temp;
  const std::wstring path = Widen(temp.Path()) + L"\\\u30BD\\\u8868";
  EXPECT_EQ(EnsureFolderExists(WideString(path.c_str())), S_OK);
  EXPECT_TRUE(IsDirectory(temp / "\x83\x5C\\\x95\x5C"));
  // One level made of the whole character, none split off at its trail byte.
  WIN32_FIND_DATAA found;
  const HANDLE find = FindFirstFileA((temp / "*").c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  std::string names;
  do {
    if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..") {
      names += std::string(found.cFileName) + "|";
    }
  } while (FindNextFileA(find, &found));
  FindClose(find);
  EXPECT_EQ(names, "\x83\x5C|");
}

}  // namespace
