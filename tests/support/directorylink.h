// Directory links for tests under Wine, made as Linux symbolic links (Z: maps the Linux root):
// Wine lists such a link as a directory that is a reparse point and follows it like a Windows
// symbolic link. (CreateSymbolicLinkA under Wine 8 answers success and makes nothing, and neither
// RemoveDirectoryW nor DeleteFileW removes a Linux link: Linux does both.)
#pragma once

#include <string>

// Runs a Linux program from the test and waits for it (at most 10 s); false when it cannot start.
bool RunLinuxCommand(const std::string& command_line);

// The Linux path of a Windows path, through Wine's own export; empty elsewhere.
std::string LinuxPath(const std::string& path);

// A link at link to target (a Linux path, relative to the link's folder or absolute), for the
// object's lifetime.
class DirectoryLink {
 public:
  DirectoryLink(const std::string& link, const std::string& target);
  ~DirectoryLink();
  DirectoryLink(const DirectoryLink&) = delete;
  DirectoryLink& operator=(const DirectoryLink&) = delete;
  bool Made() const { return made_; }

 private:
  std::string linux_path_;
  std::string link_;
  bool made_ = false;
};
