#include <string>

#include <gtest/gtest.h>

#include "text/parsedpath.h"
#include "text_test_support.h"

namespace {

// The text of a path, or "<empty>" for an empty one.
std::string TextOf(const ParsedPath& path) { return path.IsValid() ? path.GetPath().CStr() : "<empty>"; }

struct ParseCase {
  const char* text;
  int root;
  int directory;
  const char* drive;
  const char* driveAndDirectory;
};

void ExpectParses(const ParseCase* cases, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const ParseCase& c = cases[i];
    const ParsedPath path(c.text);
    ASSERT_TRUE(path.IsValid()) << c.text;
    EXPECT_STREQ(path.GetPath().CStr(), c.text);
    EXPECT_EQ(path.RootLength(), c.root) << c.text;
    EXPECT_EQ(path.DirectoryLength(), c.directory) << c.text;
    EXPECT_EQ(TextOf(path.Drive()), c.drive) << c.text;
    EXPECT_EQ(TextOf(path.DriveAndDirectory()), c.driveAndDirectory) << c.text;
  }
}

TEST(ParsedPath, SplitsRootDirectoryAndLastComponent) {
  const ParseCase cases[] = {
      {"C:\\dir\\file.txt", 2, 4, "C:", "C:\\dir"},
      {"C:\\file.txt", 2, 1, "C:", "C:\\"},
      {"C:\\a\\b\\", 2, 2, "C:", "C:\\a"},
      {"\\\\srv\\share\\app\\host.exe", 5, 10, "\\\\srv", "\\\\srv\\share\\app"},
      {"dir\\file", 0, 3, "<empty>", "dir"},
      {"C:", 2, 0, "C:", "C:"},
      {"C:\\", 2, 1, "C:", "C:\\"},
      {"C:/a/b", 2, 2, "C:", "C:/a"},
      {"C:\\a/b\\c.txt", 2, 4, "C:", "C:\\a/b"},
      {"C:\\a\\\\b", 2, 2, "C:", "C:\\a"},
      {"C:file", 2, 0, "C:", "C:"},
      {"file.txt", 0, 0, "<empty>", "<empty>"},
      {"\\dir\\file", 0, 4, "<empty>", "\\dir"},
      {"\\file", 0, 1, "<empty>", "\\"},
      {"\\\\srv", 5, 0, "\\\\srv", "\\\\srv"},
      {"\\\\srv\\share", 5, 1, "\\\\srv", "\\\\srv\\"},
      {"\\\\srv\\share\\", 5, 1, "\\\\srv", "\\\\srv\\"},
      {"\\\\srv\\", 5, 1, "\\\\srv", "\\\\srv\\"},
      {"\\\\\\x\\y", 0, 4, "<empty>", "\\\\\\x"},  // three separators: no UNC root
      {"C:\\\\srv\\x", 2, 5, "C:", "C:\\\\srv"},  // after a drive: no UNC root
  };
  ExpectParses(cases, sizeof cases / sizeof cases[0]);
}

TEST(ParsedPath, EmptyTextGivesAnInvalidPathWithEmptyParts) {
  const ParsedPath fromEmpty("");
  const ParsedPath fromNull(static_cast<const char*>(nullptr));
  const ParsedPath byDefault;
  for (const ParsedPath* path : {&fromEmpty, &fromNull, &byDefault}) {
    EXPECT_FALSE(path->IsValid());
    EXPECT_FALSE(path->Drive().IsValid());
    EXPECT_FALSE(path->DriveAndDirectory().IsValid());
    EXPECT_TRUE(path->GetPath().IsEmpty());
  }
}

TEST(ParsedPath, JoinInsertsABackslashOnlyWhenNeeded) {
  struct Case {
    const char* base;
    const char* component;
    const char* joined;
  };
  const Case cases[] = {
      {"C:", "x", "C:\\x"},           {"C:\\", "x", "C:\\x"},
      {"", "x", "x"},                 {"C:/a/", "x", "C:/a/x"},
      {"dir", "x", "dir\\x"},         {"C:\\a", nullptr, "C:\\a"},
      {"", nullptr, "<empty>"},       {"C:\\data cache", "Formats", "C:\\data cache\\Formats"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextOf(ParsedPath(c.base).Join(c.component)), c.joined) << c.base;
  }
  const ParsedPath joined = ParsedPath("C:\\dir").Join("file.txt");
  EXPECT_EQ(joined.DirectoryLength(), 4);
  EXPECT_EQ(TextOf(joined.DriveAndDirectory()), "C:\\dir");
}

TEST(ParsedPath, AssignmentReparsesOrEmpties) {
  ParsedPath path("C:\\a\\b");
  path = ParsedPath("\\\\srv\\share\\x");
  EXPECT_EQ(path.RootLength(), 5);
  EXPECT_EQ(path.DirectoryLength(), 6);
  path = ParsedPath();
  EXPECT_FALSE(path.IsValid());
  EXPECT_TRUE(path.GetPath().IsEmpty());
  const ParsedPath& same = path;
  path = ParsedPath("C:\\x");
  path = same;
  EXPECT_EQ(TextOf(path), "C:\\x");
}

TEST(ParsedPath, ParsesOnlyTheFirst256Segments) {
  std::string text = "a";
  for (int i = 1; i < 300; ++i) text += "\\a";
  const ParsedPath path(text.c_str());
  // Segment 256 starts at byte 509; the rest of the text is not parsed.
  EXPECT_EQ(path.DirectoryLength(), 509);
  EXPECT_EQ(TextOf(path.DriveAndDirectory()), text.substr(0, 509));
}

TEST_F(DoubleByteCodePage, TrailByteBackslashNeverSplitsAName) {
  const ParseCase cases[] = {
      {"C:\\" SO_932 "\\f.txt", 2, 3, "C:", "C:\\" SO_932},
      {"\\\\" SO_932 "srv\\share\\x", 7, 6, "\\\\" SO_932 "srv", "\\\\" SO_932 "srv\\share"},
      {"C:\\a\x83", 2, 1, "C:", "C:\\"},  // a lead byte at the very end
      {"\\\\ab\x83", 5, 0, "\\\\ab\x83", "\\\\ab\x83"},
  };
  ExpectParses(cases, sizeof cases / sizeof cases[0]);
  EXPECT_EQ(TextOf(ParsedPath("C:\\" SO_932).Join("x")), "C:\\" SO_932 "\\x");
}

TEST_F(SingleByteCodePage, TrailByteBackslashSplitsByteByByte) {
  const ParseCase cases[] = {
      {"C:\\" SO_932 "\\f.txt", 2, 2, "C:", "C:\\\x83"},
  };
  ExpectParses(cases, sizeof cases / sizeof cases[0]);
  EXPECT_EQ(TextOf(ParsedPath("C:\\" SO_932).Join("x")), "C:\\" SO_932 "x");
}

}  // namespace
