// Directory stamps read by path, and the volume a folder lies on, on real folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/directorystamp.h"
#include "testfiles.h"
#include "uncshare.h"

namespace {

TEST(DirectoryStampReader, ReadsFullyQualifiedDirectoriesOnly) {
  TempFolder temp("stamp");
  ASSERT_TRUE(WriteBytes(temp / "Album\\song.mp3", "x"));
  const DirectoryStampReader reader;
  DirectoryStamp album;
  ASSERT_TRUE(reader.Read((temp / "Album").c_str(), &album));
  EXPECT_NE(0u, album.write_time);
  EXPECT_NE(0u, album.change_time);

  struct Case {
    const char* what;
    std::string path;
    bool read;
  };
  const std::string drive_root = temp.Path().substr(0, 3);
  const Case cases[] = {
      {"the same directory with its backslash", temp / "Album\\", true},
      {"the top of a drive", drive_root, true},
      {"a drive without its backslash (the current directory there)", drive_root.substr(0, 2), false},
      {"a file", temp / "Album\\song.mp3", false},
      {"a missing directory", temp / "Gone", false},
      {"a relative path", "Album", false},
      {"a raw path", "\\\\?\\" + temp.Path(), false},
      {"a device path", "\\\\.\\" + drive_root.substr(0, 2), false},
      {"past the path limit", temp / std::string(300, 'x'), false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DirectoryStamp stamp;
    EXPECT_EQ(c.read, reader.Read(c.path.c_str(), &stamp));
  }
  DirectoryStamp again;
  ASSERT_TRUE(reader.Read((temp / "Album\\").c_str(), &again));
  EXPECT_EQ(album, again) << "a trailing backslash names the same directory";
  EXPECT_FALSE(reader.Read(nullptr, &again));
}

// What a quick rescan relies on: an entry added, renamed or removed moves its directory's stamp,
// and a change inside a subdirectory does not move its parent's.
TEST(DirectoryStampReader, MovesWhenAnEntryChanges) {
  TempFolder temp("stampmoves");
  ASSERT_TRUE(WriteBytes(temp / "Album\\Disc\\one.mp3", "x"));
  const DirectoryStampReader reader;
  struct Case {
    const char* what;
    const char* from;  // null: a new file
    const char* to;    // null: removed
  };
  const Case cases[] = {
      {"a file added", nullptr, "Album\\two.mp3"},
      {"a file renamed", "Album\\two.mp3", "Album\\three.mp3"},
      {"a file removed", "Album\\three.mp3", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DirectoryStamp before;
    DirectoryStamp parent_before;
    ASSERT_TRUE(reader.Read((temp / "Album").c_str(), &before));
    ASSERT_TRUE(reader.Read(temp.Path().c_str(), &parent_before));
    // Stamps have a resolution of their own: let it pass.
    Sleep(20);
    if (!c.from) {
      ASSERT_TRUE(WriteBytes(temp / c.to, "x"));
    } else if (!c.to) {
      ASSERT_TRUE(DeleteFileA((temp / c.from).c_str()));
    } else {
      ASSERT_TRUE(MoveFileA((temp / c.from).c_str(), (temp / c.to).c_str()));
    }
    DirectoryStamp after;
    DirectoryStamp parent_after;
    ASSERT_TRUE(reader.Read((temp / "Album").c_str(), &after));
    ASSERT_TRUE(reader.Read(temp.Path().c_str(), &parent_after));
    EXPECT_NE(before, after);
    EXPECT_EQ(parent_before, parent_after);
  }
}

TEST(DirectoryStampReader, ReadsThroughAUncShare) {
  UncShare share;
  if (!share.Available()) GTEST_SKIP() << "no UNC share here";
  const DirectoryStampReader reader;
  DirectoryStamp by_unc;
  DirectoryStamp by_drive;
  ASSERT_TRUE(reader.Read(share.Unc().c_str(), &by_unc));
  ASSERT_TRUE(reader.Read(share.Local().c_str(), &by_drive));
  EXPECT_EQ(by_drive, by_unc);
}

TEST(VolumeIdentity, NamesTheFileSystemOfTheFolder) {
  TempFolder temp("volume");
  VolumeIdentity volume;
  ASSERT_TRUE(ReadVolumeIdentity(temp.Path().c_str(), &volume));
  EXPECT_NE('\0', volume.file_system[0]);
  VolumeIdentity missing;
  EXPECT_FALSE(ReadVolumeIdentity((temp / "Gone").c_str(), &missing));
  EXPECT_FALSE(ReadVolumeIdentity(nullptr, &missing));

  VolumeIdentity ntfs;
  std::snprintf(ntfs.file_system, sizeof ntfs.file_system, "NTFS");
  VolumeIdentity fat;
  std::snprintf(fat.file_system, sizeof fat.file_system, "FAT32");
  EXPECT_TRUE(StampsFollowEntries(ntfs));
  EXPECT_FALSE(StampsFollowEntries(fat));
}

}  // namespace
