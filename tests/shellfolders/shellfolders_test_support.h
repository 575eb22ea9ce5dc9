// Helpers shared by the shell-folder tests: a temporary folder of each test's own, the
// registry keys the tests write (all below HKCU\Software\Norvane, deleted first and last),
// and text helpers.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

// A fresh folder below the prefix's temporary folder, removed with all it holds at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's path, without a trailing backslash.
  const std::string& Path() const { return path_; }
  // Path() + "\" + relative.
  std::string Join(const std::string& relative) const { return path_ + "\\" + relative; }

 private:
  std::string path_;
};

bool IsDirectory(const std::string& path);
bool PathExists(const std::string& path);
void MakeDirectory(const std::string& path);
void MakeFile(const std::string& path);

std::wstring Widen(const std::string& text);   // ANSI code page
std::string Narrow(const std::wstring& text);  // ANSI code page

// Deletes HKCU\Software\Norvane and everything below it.
void DeleteNorvaneKeys();

// The player's preference key of the pictures folder.
extern const wchar_t kPicturesPreferenceKeyW[];
// Sets the default value of a key below HKCU (created when missing) to data of the given
// type and exact byte count.
void SetDefaultValue(const wchar_t* subKey, DWORD type, const void* data, DWORD bytes);
// REG_SZ with its terminator.
void SetPicturesPreference(const std::string& text);

// Registry tests: HKCU\Software\Norvane is deleted before and after each test.
class NorvaneRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteNorvaneKeys(); }
  void TearDown() override { DeleteNorvaneKeys(); }
};
