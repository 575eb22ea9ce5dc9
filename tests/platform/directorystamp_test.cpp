// Directory stamps read by path, and the volume a folder lies on, on real folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "directorylink.h"
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

// A query by path on a link answers for the link, not for what lies behind it (Windows gives the
// link's own times): such a directory has no stamp to trust.
TEST(DirectoryStampReader, RefusesALink) {
  TempFolder temp("stamplink");
  ASSERT_TRUE(WriteBytes(temp / "Real\\song.mp3", "x"));
  const DirectoryLink link(temp / "Link", "Real");
  if (!link.Made()) GTEST_SKIP() << "no Linux symbolic links from this test";
  const DirectoryStampReader reader;
  DirectoryStamp stamp;
  bool is_link = false;
  EXPECT_TRUE(reader.Read((temp / "Real").c_str(), &stamp, &is_link));
  EXPECT_FALSE(is_link);
  EXPECT_FALSE(reader.Read((temp / "Link").c_str(), &stamp, &is_link));
  EXPECT_TRUE(is_link);
  EXPECT_FALSE(reader.Read((temp / "Link").c_str(), &stamp));
  // Below a link, a directory is itself again.
  ASSERT_TRUE(WriteBytes(temp / "Real\\Sub\\other.mp3", "x"));
  is_link = false;
  EXPECT_TRUE(reader.Read((temp / "Link\\Sub").c_str(), &stamp, &is_link));
  EXPECT_FALSE(is_link);
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
  EXPECT_TRUE(volume.local_fixed) << "the temporary folder lies on a fixed local disk";
  VolumeIdentity missing;
  EXPECT_FALSE(ReadVolumeIdentity((temp / "Gone").c_str(), &missing));
  EXPECT_FALSE(ReadVolumeIdentity(nullptr, &missing));
}

TEST(VolumeIdentity, AShareIsNoLocalFixedDisk) {
  UncShare share;
  if (!share.Available()) GTEST_SKIP() << "no UNC share here";
  VolumeIdentity by_unc;
  ASSERT_TRUE(ReadVolumeIdentity(share.Unc().c_str(), &by_unc));
  EXPECT_FALSE(by_unc.local_fixed);
  EXPECT_FALSE(StampsFollowEntries(by_unc));
}

TEST(VolumeIdentity, StampsFollowEntriesOnLocalNtfsAndRefsOnly) {
  struct Case {
    const char* file_system;
    bool local_fixed;
    bool follow;
  };
  const Case cases[] = {
      {"NTFS", true, true}, {"ReFS", true, true}, {"FAT32", true, false}, {"exFAT", true, false},
      {"NTFS", false, false}, {"ReFS", false, false},
  };
  for (const Case& c : cases) {
    VolumeIdentity volume;
    std::snprintf(volume.file_system, sizeof volume.file_system, "%s", c.file_system);
    volume.local_fixed = c.local_fixed;
    EXPECT_EQ(c.follow, StampsFollowEntries(volume)) << c.file_system << (c.local_fixed ? " local" : " remote");
  }
}

}  // namespace
