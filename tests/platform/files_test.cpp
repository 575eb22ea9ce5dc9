// FileExists, CreateDirectoryChain and CreateFolderChain on real folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/directories.h"
#include "platform/files.h"
#include "testfiles.h"
#include "testregistry.h"
#include "uncshare.h"

namespace {

TEST(FileExists, AnswersForFilesOnly) {
  TempFolder temp("exists");
  const std::string file = temp / "song.mp3";
  ASSERT_TRUE(WriteBytes(file, "x"));
  EXPECT_TRUE(FileExists(file.c_str()));
  EXPECT_FALSE(FileExists(temp.Path().c_str())) << "a directory counts as missing";
  EXPECT_FALSE(FileExists((temp / "other.mp3").c_str()));
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists(nullptr));
}

TEST(FileExists, FileHeldWithoutSharingCountsAsMissing) {
  TempFolder temp("locked");
  const std::string file = temp / "locked.log";
  ASSERT_TRUE(WriteBytes(file, "x"));
  HANDLE held = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_FALSE(FileExists(file.c_str()));
  CloseHandle(held);
  EXPECT_TRUE(FileExists(file.c_str()));
}

TEST(CreateDirectoryChain, CreatesEveryMissingAncestor) {
  TempFolder temp("chain");
  struct Case {
    const char* what;
    const char* path;  // below the temporary folder
    const char* made;
  } const cases[] = {
      {"with a trailing backslash", "Logs\\Watch\\", "Logs\\Watch"},
      {"eight levels", "a\\b\\c\\d\\e\\f\\g\\h", "a\\b\\c\\d\\e\\f\\g\\h"},
      {"spaces inside components are kept", "My Music\\Live Sets\\", "My Music\\Live Sets"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(CreateDirectoryChain(ByteString((temp / c.path).c_str()))) << c.what;
    EXPECT_TRUE(IsDirectory(temp / c.made)) << c.what;
  }
}

TEST(CreateDirectoryChain, ExistingDirectoryIsTrueAndUnchanged) {
  TempFolder temp("existing");
  ASSERT_TRUE(CreateDirectoryA((temp / "Logs").c_str(), nullptr));
  EXPECT_TRUE(CreateDirectoryChain(ByteString((temp / "Logs").c_str())));
  EXPECT_TRUE(CreateDirectoryChain(ByteString((temp / "Logs\\").c_str())));
  EXPECT_TRUE(ListFolder(temp / "Logs").empty());
}

TEST(CreateDirectoryChain, ComponentThatIsAFileFails) {
  TempFolder temp("file");
  ASSERT_TRUE(WriteBytes(temp / "notes.txt", "x"));
  EXPECT_FALSE(CreateDirectoryChain(ByteString((temp / "notes.txt\\sub\\deeper").c_str())));
  EXPECT_FALSE(PathExists(temp / "notes.txt\\sub"));
  // A directory whose own name is taken by a file: the retry after the parent must not count
  // "already exists" as success.
  EXPECT_FALSE(CreateDirectoryChain(ByteString((temp / "notes.txt").c_str())));
}

TEST(CreateDirectoryChain, NameWithoutBackslashIsNotRecursed) {
  // Forward slashes are no separators here: the whole text is one component, and its missing
  // parent is never created.
  TempFolder temp("slashes");
  std::string forward = temp / "a/b/c";
  for (char& c : forward) {
    if (c == '\\') c = '/';
  }
  EXPECT_FALSE(CreateDirectoryChain(ByteString(forward.c_str())));
  EXPECT_FALSE(PathExists(temp / "a"));
  EXPECT_FALSE(CreateDirectoryChain(ByteString("bad|name")));
  EXPECT_FALSE(CreateDirectoryChain(ByteString("")));
}

TEST(CreateDirectoryChain, UncPath) {
  UncShare share;
  if (!share.Available()) GTEST_SKIP() << "no UNC mapping in this Wine prefix";
  const std::string target = share.Unc() + "\\new\\deeper\\";
  EXPECT_TRUE(CreateDirectoryChain(ByteString(target.c_str())));
  EXPECT_TRUE(IsDirectory(share.Local() + "\\new\\deeper"));
}

TEST(CreateFolderChain, CreatesEveryMissingLevel) {
  TempFolder folder;
  EXPECT_TRUE(CreateFolderChain((folder / "a\\b\\c").c_str()));
  EXPECT_TRUE(IsDirectory(folder / "a\\b\\c"));
  EXPECT_TRUE(CreateFolderChain((folder / "a\\b\\c\\").c_str()));  // existing, trailing separator
  EXPECT_TRUE(CreateFolderChain((folder / "d/e").c_str()));
  EXPECT_TRUE(IsDirectory(folder / "d\\e"));
  WriteBytes(folder / "file", "x");
  EXPECT_FALSE(CreateFolderChain((folder / "file\\sub").c_str()));
  EXPECT_FALSE(CreateFolderChain(""));
  EXPECT_FALSE(CreateFolderChain(nullptr));
  EXPECT_FALSE(CreateFolderChain(std::string(2000, 'a').c_str()));

  char saved[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof saved, saved);
  SetCurrentDirectoryA(folder.Path().c_str());
  EXPECT_TRUE(CreateFolderChain("Zell\\Brisola\\ErrorLogs"));  // relative: below the current one
  SetCurrentDirectoryA(saved);
  EXPECT_TRUE(IsDirectory(folder / "Zell\\Brisola\\ErrorLogs"));
}

}  // namespace
