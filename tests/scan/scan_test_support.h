// Helpers shared by the scanning tests: a temporary folder per test, whole files as bytes, the
// formats.ini beside the test program, and the registry keys the scanner reads.
#pragma once

#include <gtest/gtest.h>

#include <string>

// A fresh folder under the system's temporary folder, removed with all it holds at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's path without a trailing backslash.
  const std::string& Path() const { return path_; }
  // Path() + "\" + relative.
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

 private:
  std::string path_;
};

// Writes the bytes as they are (binary), creating the missing directories on the way.
void WriteBytes(const std::string& path, const std::string& bytes);
// The file's bytes, or "<missing>" when it cannot be opened.
std::string ReadBytes(const std::string& path);
bool Exists(const std::string& path);
void MakeFolder(const std::string& path);
// Removes a file or a whole folder tree; names ending in a dot included.
void RemoveTree(const std::string& path);
// Creates an empty file, also one whose name ends in a dot (through the \\?\ form).
void Touch(const std::string& path);
// The same past the ANSI path limit (wide functions, \\?\ form); the parent must exist.
void MakeDeepFolder(const std::string& path);
void TouchDeep(const std::string& path);

// The scanner's registry: HKCU\Software\Norvane deleted before and after each test.
class ScanRegistry : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// Sets "ExemptWatch" below the Preferences key.
void SetExemptWatch(const std::string& folder);

// formats.ini in DataCache\Formats beside the test program, removed again at the end.
class FormatsIni {
 public:
  FormatsIni();
  ~FormatsIni();
  FormatsIni(const FormatsIni&) = delete;
  FormatsIni& operator=(const FormatsIni&) = delete;

  static std::string Path();
  static void Write(const std::string& ext1, const std::string& imageext);
  static void WriteText(const std::string& text);
  static void Remove();
};
