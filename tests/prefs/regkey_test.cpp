// The registry layer's rules for types, sizes, defaults and untouched outputs.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <utility>

#include "prefs/prefs.h"
#include "prefs/regkey.h"
#include "testfiles.h"
#include "testregistry.h"

namespace {

const std::string kTestKey = std::string(kNorvaneKey) + "\\RegistryRules";

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

class RegKeyTest : public NorvaneRegistryTest {};

// ---- strings ---------------------------------------------------------------------------------

struct StringCase {
  const char* label;
  DWORD type;            // REG_NONE: the value is not written at all
  std::string stored;    // written with its terminator
  DWORD buffer;          // destination size in bytes
  bool expected_result;
  std::string expected;  // destination text afterwards
  bool expected_too_long;
};

class ReadStringRules : public RegKeyTest, public ::testing::WithParamInterface<StringCase> {};

TEST_P(ReadStringRules, LeavesTheDocumentedTextAndResult) {
  const StringCase& c = GetParam();
  SetRegDword(kTestKey, "Other", 1);  // the key exists even when the value does not
  if (c.type != REG_NONE) SetRegString(kTestKey, "Value", c.stored, c.type);

  // Garbage around and inside the destination: the whole buffer must be rewritten and stay
  // terminated, and the guard bytes after it untouched.
  std::string buffer(c.buffer + 16, '#');
  bool too_long = !c.expected_too_long;
  const bool result = ReadPrefString(true, "Value", "dflt", &buffer[0], c.buffer,
                                     kTestKey.c_str(), &too_long);
  EXPECT_EQ(c.expected_result, result);
  EXPECT_EQ(c.expected_too_long, too_long);
  EXPECT_EQ(c.expected, std::string(buffer.c_str()));
  for (std::size_t i = c.expected.size(); i < c.buffer; ++i) {
    ASSERT_EQ('\0', buffer[i]) << "byte " << i << " not zero-filled";
  }
  EXPECT_EQ(Repeat('#', 16), buffer.substr(c.buffer));

  // The plain form gives the same answer.
  std::string plain(c.buffer, '#');
  EXPECT_EQ(c.expected_result,
            ReadPrefString(true, "Value", "dflt", &plain[0], c.buffer, kTestKey.c_str()));
  EXPECT_EQ(c.expected, std::string(plain.c_str()));
}

INSTANTIATE_TEST_SUITE_P(
    Registry, ReadStringRules,
    ::testing::Values(
        StringCase{"Short", REG_SZ, "C:\\Logs\\", 260, true, "C:\\Logs\\", false},
        StringCase{"Empty", REG_SZ, "", 260, true, "", false},
        StringCase{"Missing", REG_NONE, "", 260, false, "dflt", false},
        StringCase{"ExpandSzIsNotExpanded", REG_EXPAND_SZ, "%TEMP%\\", 512, false, "dflt", true},
        StringCase{"MultiSz", REG_MULTI_SZ, "a", 260, false, "dflt", true},
        StringCase{"ThreeHundredInto260", REG_SZ, Repeat('x', 300), 260, false, "dflt", true},
        StringCase{"ThreeHundredInto512", REG_SZ, Repeat('x', 300), 512, true, Repeat('x', 300),
                   false},
        StringCase{"OneShortOfTheBuffer", REG_SZ, Repeat('y', 259), 260, true, Repeat('y', 259),
                   false},
        // Fits the query (size + 1 bytes) but leaves no room for the terminator: too long.
        StringCase{"ExactlyTheBuffer", REG_SZ, Repeat('z', 260), 260, false, "dflt", true},
        StringCase{"DefaultCutToTheBuffer", REG_SZ, Repeat('z', 10), 3, false, "df", true}),
    [](const ::testing::TestParamInfo<StringCase>& param) { return param.param.label; });

TEST_F(RegKeyTest, StringWithoutTerminatorIsReadWhole) {
  SetRegBytes(kTestKey, "Value", REG_SZ, "abc", 3);
  char buffer[4];
  std::memset(buffer, '#', sizeof(buffer));
  EXPECT_TRUE(ReadPrefString(true, "Value", "", buffer, sizeof(buffer), kTestKey.c_str()));
  EXPECT_STREQ("abc", buffer);
}

TEST_F(RegKeyTest, MissingKeyLeavesTheDestinationUntouched) {
  char text[8] = "preset";
  DWORD number = 42;
  bool too_long = true;
  EXPECT_FALSE(ReadPrefString(true, "LogPath", "dflt", text, sizeof(text), kWatchFoldersKey,
                              &too_long));
  EXPECT_FALSE(too_long);
  EXPECT_FALSE(ReadPrefDword(true, "NumFolders", 7, &number, kWatchFoldersKey));
  EXPECT_STREQ("preset", text);
  EXPECT_EQ(42u, number);
  EXPECT_FALSE(KeyExists(kWatchFoldersKey)) << "a read created the key";
}

TEST_F(RegKeyTest, UnusableDestinationIsNotWritten) {
  SetRegString(kTestKey, "Value", "abc");
  RegKey key;
  ASSERT_TRUE(key.OpenForRead(HKEY_CURRENT_USER, kTestKey.c_str()));
  char byte = '#';
  EXPECT_FALSE(key.ReadString("Value", "dflt", &byte, 0));
  EXPECT_EQ('#', byte);
  EXPECT_FALSE(key.ReadString("Value", "dflt", nullptr, 10));
  EXPECT_FALSE(key.ReadDword("Value", 1, nullptr));
}

// ---- numbers ---------------------------------------------------------------------------------

struct DwordCase {
  const char* label;
  DWORD type;  // REG_NONE: not written
  std::string bytes;
  bool expected_result;
  DWORD expected;
};

class ReadDwordRules : public RegKeyTest, public ::testing::WithParamInterface<DwordCase> {};

TEST_P(ReadDwordRules, LeavesTheDocumentedValueAndResult) {
  const DwordCase& c = GetParam();
  SetRegDword(kTestKey, "Other", 1);
  if (c.type != REG_NONE) {
    SetRegBytes(kTestKey, "Value", c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
  }
  DWORD value = 0xDEADBEEF;
  EXPECT_EQ(c.expected_result, ReadPrefDword(true, "Value", 5, &value, kTestKey.c_str()));
  EXPECT_EQ(c.expected, value);
}

INSTANTIATE_TEST_SUITE_P(
    Registry, ReadDwordRules,
    ::testing::Values(DwordCase{"Dword", REG_DWORD, std::string("\x03\x01\x00\x80", 4), true,
                                0x80000103u},
                      DwordCase{"Missing", REG_NONE, "", false, 5},
                      DwordCase{"DigitsAsString", REG_SZ, std::string("12\0", 3), false, 5},
                      DwordCase{"Binary", REG_BINARY, std::string("\x01\x00\x00\x00", 4), false, 5},
                      DwordCase{"Qword", REG_QWORD, std::string(8, '\x01'), false, 5},
                      DwordCase{"DwordLongerThanEightBytes", REG_DWORD, std::string(12, '\x01'),
                                false, 5},
                      // Two stored bytes: the rest reads as zero, never as stack contents.
                      DwordCase{"ShortDword", REG_DWORD, std::string("\x34\x12", 2), true, 0x1234u}),
    [](const ::testing::TestParamInfo<DwordCase>& param) { return param.param.label; });

// ---- writing and key ownership ---------------------------------------------------------------

TEST_F(RegKeyTest, WriteCreatesTheMissingSubkey) {
  const std::string subkey = std::string(kWatchFoldersKey) + "\\WatchFolder3";
  EXPECT_TRUE(WritePrefDword(true, "Dirty", 1, subkey.c_str()));
  EXPECT_EQ(1, GetRegDword(subkey, "Dirty"));
  EXPECT_TRUE(WritePrefDword(true, "Dirty", 0, subkey.c_str()));
  EXPECT_EQ(0, GetRegDword(subkey, "Dirty"));
}

TEST_F(RegKeyTest, FalseRootSelectsClassesRoot) {
  const char subkey[] = "NorvaneWatchFoldersRootTest";
  RegDeleteTreeA(HKEY_CLASSES_ROOT, subkey);
  ASSERT_TRUE(WritePrefDword(false, "Dirty", 9, subkey));
  DWORD value = 0;
  EXPECT_TRUE(ReadPrefDword(false, "Dirty", 0, &value, subkey));
  EXPECT_EQ(9u, value);
  EXPECT_FALSE(KeyExists(subkey)) << "written below HKEY_CURRENT_USER";
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, subkey, 0, KEY_READ, &key));
  if (key) RegCloseKey(key);
  RegDeleteTreeA(HKEY_CLASSES_ROOT, subkey);
}

TEST_F(RegKeyTest, ClosedKeyReadsNothingAndLeavesOutputsAlone) {
  RegKey key;
  char text[8] = "preset";
  DWORD number = 42;
  EXPECT_FALSE(key.ReadString("Value", "dflt", text, sizeof(text)));
  EXPECT_FALSE(key.ReadDword("Value", 7, &number));
  EXPECT_STREQ("preset", text);
  EXPECT_EQ(42u, number);
}

TEST_F(RegKeyTest, OwnershipMovesAndEndsWithTheOwner) {
  SetRegDword(kTestKey, "Value", 11);
  RegKey first;
  ASSERT_TRUE(first.CreateOrOpen(HKEY_CURRENT_USER, kTestKey.c_str()));
  const HKEY handle = first.Handle();

  RegKey second(std::move(first));
  EXPECT_FALSE(first.IsOpen());
  EXPECT_EQ(handle, second.Handle());
  DWORD value = 0;
  EXPECT_TRUE(second.ReadDword("Value", 0, &value));
  EXPECT_EQ(11u, value);

  RegKey third;
  ASSERT_TRUE(third.OpenForRead(HKEY_CURRENT_USER, kTestKey.c_str()));
  third = std::move(second);
  EXPECT_EQ(handle, third.Handle());
  third.Close();
  EXPECT_FALSE(third.IsOpen());
  // The handle really went: using it now fails.
  EXPECT_NE(ERROR_SUCCESS, RegQueryValueExA(handle, "Value", nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegKeyTest, CloseKeepsTheCallersLastError) {
  RegKey key;
  ASSERT_TRUE(key.CreateOrOpen(HKEY_CURRENT_USER, kTestKey.c_str()));
  SetLastError(ERROR_FILE_NOT_FOUND);
  key.Close();
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(RegKeyTest, ReadsNeverCreateKeys) {
  RegKey key;
  EXPECT_FALSE(key.OpenForRead(HKEY_CURRENT_USER, kTestKey.c_str()));
  EXPECT_FALSE(KeyExists(kTestKey));
  EXPECT_TRUE(key.CreateOrOpen(HKEY_CURRENT_USER, kTestKey.c_str()));
  EXPECT_TRUE(KeyExists(kTestKey));
}

}  // namespace
