// Helpers shared by the registry, file-system and plug-in tests: a registry fixture that starts
// and ends without HKCU\Software\Norvane, a temporary folder per test, and small file and
// registry accessors that read and write exactly what they are given.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

// "Software\Norvane", deleted before and after each registry test.
extern const char kNorvaneKey[];

// Deletes HKCU\Software\Norvane in SetUp and TearDown.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// A folder of its own below %TEMP%, deleted with everything in it when the object goes.
class TempFolder {
 public:
  explicit TempFolder(const char* tag);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder, without a trailing backslash.
  const std::string& Path() const { return path_; }
  // Path() + "\" + relative.
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

 private:
  std::string path_;
};

// A UNC share \\<server>\share for this test. Wine maps \\server\share to the folder
// <prefix>\dosdevices\unc\server\share, so the share is made there and removed afterwards;
// elsewhere it is not available.
class UncShare {
 public:
  UncShare();
  ~UncShare();
  UncShare(const UncShare&) = delete;
  UncShare& operator=(const UncShare&) = delete;

  bool Available() const { return available_; }
  // \\<server>\share, and the same folder by its drive path.
  const std::string& Unc() const { return unc_; }
  const std::string& Local() const { return local_; }

 private:
  bool available_ = false;
  std::string server_folder_;
  std::string unc_;
  std::string local_;
};

// Deletes a file or a folder with everything below it; true when nothing is left.
bool DeleteTree(const std::string& path);

// Raw file access (binary, so CR LF stays visible).
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// The file's bytes; "<missing>" when it cannot be opened.
std::string ReadFileBytes(const std::string& path);
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
// Names in the folder (no "." and ".."), sorted.
std::vector<std::string> ListFolder(const std::string& path);

// HKCU values written and read exactly as given; the key is created when missing.
void SetRegString(const std::string& subkey, const char* name, const std::string& text,
                  DWORD type = REG_SZ);
void SetRegDword(const std::string& subkey, const char* name, DWORD value);
void SetRegBytes(const std::string& subkey, const char* name, DWORD type, const void* data,
                 DWORD size);
bool KeyExists(const std::string& subkey);
// The REG_DWORD value, or -1 when it is missing or has another type.
long long GetRegDword(const std::string& subkey, const char* name);

// The directory of the running test program, without a trailing backslash.
std::string ProgramDirectory();
// A Unix path of the build tree in Windows form (Z:\...); other paths unchanged.
std::string WindowsPath(const std::string& path);
