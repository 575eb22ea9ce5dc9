#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "scan/scanlog.h"
#include "scan_test_support.h"

namespace {

TEST(FlattenPath, ReplacesEveryBackslashAndColonByteWithAnUnderscore) {
  struct Case {
    const char* source;
    const char* flat;
  };
  const Case cases[] = {
      {"C:\\Music\\", "C__Music_"},
      {"\\\\server\\share\\Music\\", "__server_share_Music_"},
      {"C:/Music/Live:2", "C_/Music/Live_2"},  // a forward slash stays
      {"", ""},
      {"\x83\x5C\\", "\x83_\x5F"},            // byte by byte: a trail byte 0x5C too
  };
  for (const Case& c : cases) {
    char flat[64];
    std::memset(flat, 'x', sizeof flat);
    EXPECT_TRUE(FlattenPath(c.source, flat)) << c.source;
    EXPECT_STREQ(flat, c.flat) << c.source;
  }
  char untouched[4] = "abc";
  EXPECT_FALSE(FlattenPath(nullptr, untouched));
  EXPECT_STREQ(untouched, "abc");
  EXPECT_FALSE(FlattenPath("C:\\", nullptr));
}

TEST(ScanLogNames, FolderWithOrWithoutItsBackslashGivesTheSameNames) {
  ScanLogNames plain, slashed, unc;
  ASSERT_TRUE(FormScanLogNames("C:\\Music", "D:\\Logs\\", &plain));
  ASSERT_TRUE(FormScanLogNames("C:\\Music\\", "D:\\Logs\\", &slashed));
  EXPECT_STREQ(plain.folder, "C:\\Music\\");
  EXPECT_STREQ(plain.stem, "C__Music_");
  EXPECT_STREQ(plain.log, "D:\\Logs\\C__Music_scan.log");
  EXPECT_STREQ(plain.previous, "D:\\Logs\\C__Music_scan2.log");
  EXPECT_STREQ(slashed.log, plain.log);
  EXPECT_STREQ(slashed.previous, plain.previous);
  ASSERT_TRUE(FormScanLogNames("\\\\server\\share\\Music", "pre-", &unc));
  EXPECT_STREQ(unc.log, "pre-__server_share_Music_scan.log") << "the prefix is used as it is";
  ASSERT_TRUE(FormScanLogNames("C:\\Music", nullptr, &unc));
  EXPECT_STREQ(unc.log, "C__Music_scan.log");
}

TEST(ScanLogNames, KindGoesBetweenTheStemAndTheNameAndCountsTowardsTheLength) {
  ScanLogNames names;
  ASSERT_TRUE(FormScanLogNames("C:\\Music", "D:\\Logs\\", &names, "pictures."));
  EXPECT_STREQ(names.stem, "C__Music_");
  EXPECT_STREQ(names.log, "D:\\Logs\\C__Music_pictures.scan.log");
  EXPECT_STREQ(names.previous, "D:\\Logs\\C__Music_pictures.scan2.log");
  EXPECT_STREQ(names.fresh, "D:\\Logs\\C__Music_pictures.scan.new");
  // 505 bytes of prefix fit without a kind (see below); with one, 496 is the most that does.
  EXPECT_TRUE(FormScanLogNames("C:\\M", std::string(496, 'p').c_str(), &names, "pictures."));
  EXPECT_EQ(std::strlen(names.previous), 519u);
  EXPECT_FALSE(FormScanLogNames("C:\\M", std::string(497, 'p').c_str(), &names, "pictures."));
}

TEST(ScanLogNames, NamesThatDoNotFitAreRefused) {
  ScanLogNames names;
  std::memset(&names, 'u', sizeof names);
  const std::string folder258 = "C:\\" + std::string(255, 'm');
  EXPECT_TRUE(FormScanLogNames(folder258.c_str(), "", &names)) << "259 with the backslash fits";
  EXPECT_EQ(std::strlen(names.folder), 259u);
  EXPECT_TRUE(FormScanLogNames((folder258 + "\\").c_str(), "", &names)) << "259 already ending in it";
  EXPECT_EQ(std::strlen(names.folder), 259u);
  std::memset(&names, 'u', sizeof names);
  EXPECT_FALSE(FormScanLogNames((folder258 + "m").c_str(), "", &names));
  EXPECT_FALSE(FormScanLogNames("", "", &names));
  EXPECT_FALSE(FormScanLogNames(nullptr, "", &names));
  EXPECT_EQ(names.folder[0], 'u') << "untouched on refusal";

  // "C:\M\" flattens to 5 bytes; with "scan2.log" a 505-byte prefix makes 519.
  EXPECT_TRUE(FormScanLogNames("C:\\M", std::string(505, 'p').c_str(), &names));
  EXPECT_EQ(std::strlen(names.previous), 519u);
  EXPECT_FALSE(FormScanLogNames("C:\\M", std::string(506, 'p').c_str(), &names));
}

TEST(ScanLogNamesDoubleByte, TrailByteBackslashIsNoTrailingBackslash) {
  if (GetACP() != 932) GTEST_SKIP() << "the ANSI code page is not 932";
  ScanLogNames names;
  ASSERT_TRUE(FormScanLogNames("C:\\\x83\x5C", "", &names));
  EXPECT_STREQ(names.folder, "C:\\\x83\x5C\\");
  EXPECT_STREQ(names.log, "C__\x83__scan.log");
}

class RebuildScanLogTest : public NorvaneRegistryTest {
 protected:
  std::string Library() const { return temp_ / "Music"; }
  // A log directory two levels deep that does not exist yet.
  std::string Prefix() const { return temp_ / "Logs\\Deep\\"; }
  std::string Stem() const { return ScanLogStem(Library()); }
  std::string Log() const { return Prefix() + Stem() + "scan.log"; }
  std::string Previous() const { return Prefix() + Stem() + "scan2.log"; }
  void Rebuild(bool init, bool rotateOnly, const char* patterns = "*.mp3;*.wma") const {
    UpdateWithoutChangeList(Library().c_str(), Prefix().c_str(), init, rotateOnly, patterns);
  }
  std::string Line(const std::string& relative) const { return Library() + "\\" + relative + "\r\n"; }

  TempFolder temp_;
};

TEST_F(RebuildScanLogTest, TimerModeRotatesAndWritesAFreshScan) {
  Touch(Library() + "\\b.mp3");
  Touch(Library() + "\\notes.txt");
  Touch(Library() + "\\Live\\a.wma");
  Rebuild(false, false);
  const std::string first = Line("b.mp3") + Line("Live\\a.wma");
  EXPECT_EQ(ReadBytes(Log()), first) << "the log directory chain was created";
  EXPECT_FALSE(PathExists(Previous()));

  Touch(Library() + "\\a.mp3");
  Rebuild(false, false);
  EXPECT_EQ(ReadBytes(Previous()), first);
  EXPECT_EQ(ReadBytes(Log()), Line("a.mp3") + Line("b.mp3") + Line("Live\\a.wma"));

  // The folder named with its backslash is the same folder.
  UpdateWithoutChangeList((Library() + "\\").c_str(), Prefix().c_str(), false, false, "*.wma");
  EXPECT_EQ(ReadBytes(Previous()), Line("a.mp3") + Line("b.mp3") + Line("Live\\a.wma"));
  EXPECT_EQ(ReadBytes(Log()), Line("Live\\a.wma"));
}

TEST_F(RebuildScanLogTest, InitModeKeepsAnExistingLogAndWritesAMissingOne) {
  Touch(Library() + "\\a.mp3");
  WriteBytes(Log(), "kept as it is\r\n");
  Rebuild(true, false);
  EXPECT_EQ(ReadBytes(Log()), "kept as it is\r\n");
  EXPECT_FALSE(PathExists(Previous()));

  DeleteFileA(Log().c_str());
  WriteBytes(Previous(), "old previous\r\n");
  Rebuild(true, false);
  EXPECT_EQ(ReadBytes(Log()), Line("a.mp3"));
  EXPECT_EQ(ReadBytes(Previous()), "old previous\r\n") << "nothing to rotate: the old previous log stays";
}

TEST_F(RebuildScanLogTest, RotateOnlyLeavesAnEmptyLog) {
  Touch(Library() + "\\a.mp3");
  WriteBytes(Log(), "last scan\r\n");
  WriteBytes(Previous(), "older scan\r\n");
  Rebuild(false, true);
  EXPECT_EQ(ReadBytes(Previous()), "last scan\r\n");
  EXPECT_EQ(ReadBytes(Log()), "");
  // A second purge right after: the empty log becomes the previous one.
  Rebuild(false, true);
  EXPECT_EQ(ReadBytes(Previous()), "");
  EXPECT_EQ(ReadBytes(Log()), "");
}

TEST_F(RebuildScanLogTest, MissingLogWithAnOldPreviousLogRotatesNothing) {
  Touch(Library() + "\\a.mp3");
  WriteBytes(Previous(), "older scan\r\n");
  Rebuild(false, false);
  EXPECT_EQ(ReadBytes(Previous()), "older scan\r\n");
  EXPECT_EQ(ReadBytes(Log()), Line("a.mp3"));
}

TEST_F(RebuildScanLogTest, NullListUsesTheGeneralListOfFormatsIni) {
  FormatsIni ini;
  Touch(Library() + "\\a.mp3");
  Touch(Library() + "\\b.flac");
  Rebuild(false, false, nullptr);
  EXPECT_EQ(ReadBytes(Log()), "") << "no formats.ini: nothing is media";
  ini.Write("*.flac", "*.jpg");
  Rebuild(false, false, nullptr);
  EXPECT_EQ(ReadBytes(Log()), Line("b.flac"));
}

TEST_F(RebuildScanLogTest, UnusableFolderOrPrefixTouchesNothing) {
  Touch(Library() + "\\a.mp3");
  UpdateWithoutChangeList("", Prefix().c_str(), false, false, "*.mp3");
  UpdateWithoutChangeList(nullptr, Prefix().c_str(), false, false, "*.mp3");
  const std::string tooLong = Library() + "\\" + std::string(259 - Library().size(), 'x');
  UpdateWithoutChangeList(tooLong.c_str(), Prefix().c_str(), false, false, "*.mp3");
  const std::string longPrefix = temp_ / std::string(519, 'p');
  UpdateWithoutChangeList(Library().c_str(), longPrefix.c_str(), false, false, "*.mp3");
  EXPECT_FALSE(PathExists(temp_ / "Logs")) << "no log directory was made";
}

}  // namespace

namespace {

class RebuildScanLogDoubleByte : public RebuildScanLogTest {
 protected:
  void SetUp() override {
    RebuildScanLogTest::SetUp();
    if (GetACP() != 932) GTEST_SKIP() << "the ANSI code page is not 932";
  }
};

TEST_F(RebuildScanLogDoubleByte, FolderEndingInATrailByteBackslashIsWalked) {
  // Code page 932's SO ends in the byte 0x5C; the folder still needs its own backslash.
  const std::string folder = Library() + "\\\x83\x5C";
  Touch(folder + "\\a.mp3");
  ASSERT_TRUE(PathExists(folder + "\\a.mp3"));
  UpdateWithoutChangeList(folder.c_str(), Prefix().c_str(), false, false, "*.mp3");
  EXPECT_EQ(ReadBytes(Prefix() + ScanLogStem(folder) + "scan.log"), folder + "\\a.mp3\r\n");
}

}  // namespace
