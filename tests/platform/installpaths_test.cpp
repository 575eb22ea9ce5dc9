// The install-path resolver: the host's directories, directory creation root first, and the
// resolver object's reference count and teardown.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/directories.h"
#include "platform/dllaccesspath.h"
#include "platform/installpaths.h"
#include "testfiles.h"
#include "testregistry.h"
#include "uncshare.h"

namespace {

std::string Text(const ParsedPath& path) { return path.GetPath().CStr(); }

// ---- the host's directories ------------------------------------------------------------------

TEST(InstallPaths, FollowTheProcessExecutable) {
  char image[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, image, MAX_PATH);
  EXPECT_EQ(image, Text(GetProcessImagePath()));
  EXPECT_EQ(ProgramDirectory(), Text(GetProcessImageDirectory()));
  EXPECT_EQ(ProgramDirectory() + "\\DataCache", Text(GetDataCacheDirectory()));
}

// The probe prints GetDataCacheDirectory for wherever it is copied and run.
std::string DataCacheOfCopyAt(const std::string& exe) {
  if (!CopyFileA(WindowsPath(WF_DATACACHE_PROBE).c_str(), exe.c_str(), FALSE)) return "<no copy>";
  const std::string output = exe + ".txt";
  std::string command = "\"" + exe + "\" \"" + output + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  std::string result = "<not run>";
  if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result = ReadBytes(output);
  }
  DeleteFileA(output.c_str());
  DeleteFileA(exe.c_str());
  return result;
}

TEST(InstallPaths, DataCacheIsBesideTheExecutableWhereverItRuns) {
  char top[64] = {};
  std::snprintf(top, sizeof(top), "C:\\wfprobe%lu.exe", GetCurrentProcessId());
  TempFolder temp("probe");
  struct Case {
    const char* where;
    std::string executable;
    std::string data_cache;
  } const cases[] = {
      {"at the top of a drive: one separator", top, "C:\\DataCache"},
      {"in a subdirectory", temp / "host.exe", temp / "DataCache"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.data_cache, DataCacheOfCopyAt(c.executable)) << c.where;
}

TEST(DirectoryExists, OnlyForDirectories) {
  TempFolder temp("direxists");
  ASSERT_TRUE(WriteBytes(temp / "file.txt", "x"));
  EXPECT_TRUE(DirectoryExists(ParsedPath(temp.Path().c_str())));
  EXPECT_FALSE(DirectoryExists(ParsedPath((temp / "file.txt").c_str())));
  EXPECT_FALSE(DirectoryExists(ParsedPath((temp / "missing").c_str())));
  EXPECT_FALSE(DirectoryExists(ParsedPath()));
}

// ---- CreateDirectoryPath ---------------------------------------------------------------------

TEST(CreateDirectoryPath, ExistingDirectoryCreatesNothing) {
  TempFolder temp("cdp-existing");
  EXPECT_EQ(S_OK, CreateDirectoryPath(ParsedPath(temp.Path().c_str())));
  EXPECT_TRUE(ListFolder(temp.Path()).empty());
}

TEST(CreateDirectoryPath, CreatesMissingLevelsRootFirst) {
  TempFolder temp("cdp-levels");
  ASSERT_TRUE(CreateDirectoryA((temp / "a").c_str(), nullptr));
  EXPECT_EQ(S_OK, CreateDirectoryPath(ParsedPath((temp / "a\\b\\c").c_str())));
  EXPECT_TRUE(IsDirectory(temp / "a\\b\\c"));
}

TEST(CreateDirectoryPath, TrimsSpacesAroundComponentsAndSkipsEmptyOnes) {
  TempFolder temp("cdp-spaces");
  EXPECT_EQ(S_OK, CreateDirectoryPath(ParsedPath((temp / "a\\ b \\\\c\\").c_str())));
  EXPECT_TRUE(IsDirectory(temp / "a\\b\\c"));
  EXPECT_EQ(std::vector<std::string>{"b"}, ListFolder(temp / "a"));
  // Spaces inside a name stay.
  EXPECT_EQ(S_OK, CreateDirectoryPath(ParsedPath((temp / "My Pictures").c_str())));
  EXPECT_TRUE(IsDirectory(temp / "My Pictures"));
}

TEST(CreateDirectoryPath, ComponentThatIsAFileFails) {
  TempFolder temp("cdp-file");
  ASSERT_TRUE(WriteBytes(temp / "f", "x"));
  EXPECT_EQ(E_FAIL, CreateDirectoryPath(ParsedPath((temp / "f\\sub").c_str())));
  EXPECT_FALSE(IsDirectory(temp / "f"));
}

TEST(CreateDirectoryPath, StopsAtTheFirstFailureAndKeepsWhatWasMade) {
  TempFolder temp("cdp-partial");
  EXPECT_EQ(E_FAIL, CreateDirectoryPath(ParsedPath((temp / "made\\bad|name\\never").c_str())));
  EXPECT_TRUE(IsDirectory(temp / "made"));
  EXPECT_TRUE(ListFolder(temp / "made").empty());
}

// A path with no level below its root to create is usable only if the root itself is there: the
// answer is for what exists afterwards, not for how many levels were attempted.
TEST(CreateDirectoryPath, RootThatIsNotThereFails) {
  const std::string drive = UnmappedDrive();
  ASSERT_FALSE(drive.empty());
  struct Case {
    const char* what;
    std::string path;
  } const cases[] = {
      {"root of a missing drive", drive + "\\"},
      {"missing drive without its separator", drive},
      {"bare server", "\\\\nosuchsrv\\"},
      {"bare server without a separator", "\\\\nosuchsrv"},
  };
  for (const Case& c : cases) EXPECT_EQ(E_FAIL, CreateDirectoryPath(ParsedPath(c.path.c_str()))) << c.what;
}

TEST(CreateDirectoryPath, UncPathStartsAtTheServer) {
  UncShare share;
  if (!share.Available()) GTEST_SKIP() << "no UNC mapping in this Wine prefix";
  EXPECT_EQ(S_OK, CreateDirectoryPath(ParsedPath((share.Unc() + "\\new\\deeper").c_str())));
  EXPECT_TRUE(IsDirectory(share.Local() + "\\new\\deeper"));
}

TEST(CreateDirectoryPath, PathRootedAtTheCurrentDriveStaysThere) {
  TempFolder temp("cdp-rooted");
  char previous[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(temp.Path().c_str()));
  // The same folder without its drive: it must be created there, not below the current folder.
  const std::string rooted = (temp / "r\\s").substr(2);
  const HRESULT result = CreateDirectoryPath(ParsedPath(rooted.c_str()));
  const bool relative_made = PathExists(temp / rooted.substr(1));
  SetCurrentDirectoryA(previous);
  EXPECT_EQ(S_OK, result);
  EXPECT_TRUE(IsDirectory(temp / "r\\s"));
  EXPECT_FALSE(relative_made);
}

// ---- DLLAccessPath ---------------------------------------------------------------------------

class CountedResolver : public DLLAccessPath {
 public:
  explicit CountedResolver(bool* destroyed) : destroyed_(destroyed) {}
  ~CountedResolver() override { *destroyed_ = true; }

 private:
  bool* destroyed_;
};

TEST(DLLAccessPath, StartsEmpty) {
  DLLAccessPath resolver;
  EXPECT_EQ(0, resolver.ReferenceCount());
  EXPECT_EQ(0, resolver.Map().Count());
  EXPECT_EQ(17u, resolver.Map().BucketCount());
  EXPECT_EQ(10, resolver.Map().EntriesPerBlock());
  EXPECT_FALSE(resolver.Map().HasBucketTable());
  EXPECT_TRUE(resolver.SavedEnvironmentAssignment().IsEmpty());
}

TEST(DLLAccessPath, ReleaseDestroysAtZero) {
  bool destroyed = false;
  DLLAccessPath* resolver = new CountedResolver(&destroyed);
  EXPECT_EQ(1, resolver->AddRef());
  EXPECT_EQ(2, resolver->AddRef());
  EXPECT_EQ(1, resolver->Release());
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(0, resolver->Release());
  EXPECT_TRUE(destroyed);
}

TEST(DLLAccessPath, DestructionPutsTheSavedAssignmentBack) {
  _putenv("WF_RESOLVER_TEST=changed");
  {
    DLLAccessPath resolver;
    resolver.SaveEnvironmentAssignment(ByteString("WF_RESOLVER_TEST=original"));
  }
  ASSERT_NE(nullptr, std::getenv("WF_RESOLVER_TEST"));
  EXPECT_STREQ("original", std::getenv("WF_RESOLVER_TEST"));
  _putenv("WF_RESOLVER_TEST=");

  // An assignment _putenv refuses is dropped quietly.
  {
    DLLAccessPath resolver;
    resolver.SaveEnvironmentAssignment(ByteString("no equals sign"));
  }
}

}  // namespace
