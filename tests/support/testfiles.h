// Files and folders for the tests: a temporary folder of each test's own, whole files as bytes,
// and the path tools the test programs share. Paths are ANSI. Removal goes through the wide
// \\?\ form, so trees deeper than the ANSI limit and names that end in a dot go too.
#pragma once

#include <string>
#include <vector>

// A fresh folder below the temporary folder, removed with everything in it when the object goes.
// The tag only makes the name easier to recognise.
class TempFolder {
 public:
  explicit TempFolder(const char* tag = "test");
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

// Writes the bytes as they are (binary), creating missing folders on the way. False, and a
// test failure, when the file cannot be written.
bool WriteBytes(const std::string& path, const std::string& bytes);
// The file's bytes, or "<missing>" when it cannot be opened.
std::string ReadBytes(const std::string& path);

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsFile(const std::string& path);
// Creates the folder and its missing parents; a test failure when it is not there afterwards.
void MakeFolder(const std::string& path);
// Deletes a file, or a folder with everything below it (a directory link itself, not what it
// points at); true when nothing is left.
bool DeleteTree(const std::string& path);
// Names in the folder (no "." and ".."), sorted.
std::vector<std::string> ListFolder(const std::string& path);

// The directory of the running test program, without a trailing backslash.
std::string ProgramDirectory();
// A Unix path of the build tree in Windows form ("/tmp/b/x.exe" is "Z:\tmp\b\x.exe"); other
// paths unchanged.
std::string WindowsPath(const std::string& path);

// The scan-log stem of a folder: a backslash added unless the last character is one (a trail
// byte 0x5C is none), then every '\' and ':' made '_'.
std::string ScanLogStem(std::string folder);

// A drive letter ("Q:") that Wine does not map; empty when every letter from Q to Y is taken.
std::string UnmappedDrive();

// Between the ANSI code page and UTF-16.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
