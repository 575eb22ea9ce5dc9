// A directory's change stamp, read from the directory itself, and what its volume is.
//
// NTFS and ReFS set a directory's last-write and change times whenever an entry in it is added,
// removed or renamed; a walk that finds both times as it left them may take the directory's
// entries as unchanged. Other file systems (FAT, exFAT, shares of unknown kind) give no such
// promise. Cost: one query by path, no handle opened (a handle costs ten times as much under
// some systems), so a walk can afford one per directory.
#pragma once

#include <windows.h>

#include <cstdint>

struct DirectoryStamp {
  std::uint64_t write_time = 0;   // 100 ns since 1601, UTC
  std::uint64_t change_time = 0;
  bool operator==(const DirectoryStamp& other) const {
    return write_time == other.write_time && change_time == other.change_time;
  }
  bool operator!=(const DirectoryStamp& other) const { return !(*this == other); }
};

// Reads directory stamps through the system's query by path, looked up once per reader.
class DirectoryStampReader {
 public:
  DirectoryStampReader();
  // The stamp of the directory at path (ANSI, fully qualified: "C:\Music", "C:\",
  // "\\server\share\Music"; a trailing backslash is ignored). False when it cannot be read: no
  // such directory, no access, not a directory, a relative or device path, a path too long, or a
  // system without the query. False too for a directory that is a link, junction or mount point,
  // and then *link is set when given: the query answers for such a one with its own times, which
  // do not move when what lies behind it changes.
  bool Read(const char* path, DirectoryStamp* stamp, bool* link = nullptr) const;

 private:
  // NtQueryFullAttributesFile, its structures left opaque here.
  using Query = LONG WINAPI(void* attributes, void* information);
  Query* query_ = nullptr;
};

// The system clock as a stamp time.
std::uint64_t CurrentStampTime();

struct VolumeIdentity {
  DWORD serial = 0;
  char file_system[32] = {};
  // A local fixed disk: not a share (by UNC path, mapped drive, or a link into one), not
  // removable media. What a share's server says of its stamps is not to be trusted: it may keep
  // the change time as the last-write time, which any copy tool sets back, and its clock is not
  // this machine's.
  bool local_fixed = false;
};

// The identity of the volume that holds the folder. False when it cannot be told (a folder that
// cannot be opened, a share that does not answer).
bool ReadVolumeIdentity(const char* folder, VolumeIdentity* volume);

// True for a local fixed volume whose file system keeps directory stamps as said above (NTFS,
// ReFS).
bool StampsFollowEntries(const VolumeIdentity& volume);
