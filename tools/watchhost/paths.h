// Folders and files as watchhost handles them: full ANSI paths, as the plug-in's settings hold them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The full path of a command-line folder in the ANSI code page. False with *problem when it has no
// full path or when the code page cannot spell it (the message then names it as typed and, when
// the file system has one, offers its short name).
bool FullAnsiPath(const std::wstring& typed, const char* option, std::string* path, std::wstring* problem);

std::string WithBackslash(std::string path);
bool IsDirectory(const std::string& path);
bool FileExists(const std::string& path);
// Creates the folder and its missing parents; true when it is there afterwards.
bool MakeDirectories(const std::string& path);

// The folder of watchhost.exe, with its backslash.
std::string ExeDirectory();
// Where the plug-in reads formats.ini: DataCache\Formats\formats.ini beside the host's executable.
std::string InstalledFormatsPath();

// The pictures folder the shell gives when the player has no preference: the known pictures
// folder, else the classic one, else the documents folder, in the order the plug-in asks for them.
std::string ShellPicturesFolder();

struct FileEntry {
  std::string name;
  uint64_t size;
  uint64_t written;  // last write, in 100 ns units
  bool directory;
};
// The entries of a folder matching pattern ("*", "*scan.new"), without "." and "..", in the file
// system's order. False when it cannot be listed.
bool ListFolder(const std::string& folder, const char* pattern, std::vector<FileEntry>* entries);
