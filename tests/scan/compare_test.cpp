#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "scan/compare.h"
#include "scan/scanparts.h"
#include "scan_test_support.h"

namespace {

// Logs of the folder C:\Lib (which need not exist) in a temporary log directory, compared as a
// rescan compares them: the previous scan and the new one by name, the change list by its path.
class CompareTest : public ::testing::Test {
 protected:
  std::string Prefix() const { return temp_.Path() + "\\"; }
  std::string Log() const { return Prefix() + "C__Lib_scan.log"; }
  std::string Previous() const { return Prefix() + "C__Lib_scan2.log"; }
  std::string ChangeList() const { return Prefix() + "fldrscan.out"; }
  bool Compare(bool removals) const {
    return AppendScanLogChanges(Previous().c_str(), Log().c_str(), ChangeList().c_str(), removals);
  }

  TempFolder temp_;
};

struct CompareCase {
  const char* name;
  std::string previous;
  std::string current;
  bool removals;
  std::string appended;
};

TEST_F(CompareTest, AppendsAdditionsThenRemovalsByWholeLineIgnoringAsciiCase) {
  const std::string p519(519, 'p');
  const std::string r519(519, 'r');
  const CompareCase cases[] = {
      {"identical", "C:\\Lib\\a.mp3\r\nC:\\Lib\\b.mp3\r\n", "C:\\Lib\\a.mp3\r\nC:\\Lib\\b.mp3\r\n", true, ""},
      {"other letter case", "C:\\Lib\\Song.MP3\r\n", "c:\\lib\\SONG.mp3\r\n", true, ""},
      {"order", "a\r\nb\r\nc\r\n", "c\r\nd\r\na\r\ne\r\n", true, "d\r\ne\r\n-b\r\n"},
      {"no removals asked", "a\r\nb\r\nc\r\n", "c\r\nd\r\na\r\ne\r\n", false, "d\r\ne\r\n"},
      {"an addition is the line as read", "x\r\n", "x\r\nNew Folder\\Mixed Case.Mp3\r\n", false,
       "New Folder\\Mixed Case.Mp3\r\n"},
      {"duplicates all reported", "", "x\r\nx\r\n", true, "x\r\nx\r\n"},
      {"membership only", "X\r\n", "x\r\nx\r\n", true, ""},
      {"duplicate removals", "y\r\ny\r\n", "", true, "-y\r\n-y\r\n"},
      {"a duplicate found stands for all", "a\r\nb\r\nA\r\n", "b\r\nA\r\n", true, ""},
      {"purge: empty new log", "a\r\nb\r\n", "", true, "-a\r\n-b\r\n"},
      {"empty previous log", "", "a\r\nb\r\n", true, "a\r\nb\r\n"},
      // Every entry is a line of its own, even a piece that had no line end.
      {"last line without line end", "a\r\nb", "a\r\nb\r\n", true, "b\r\n-b\r\n"},
      {"letters only: 0xC4 is not 0xE4", "\xC4.mp3\r\n", "\xE4.mp3\r\n", true, "\xE4.mp3\r\n-\xC4.mp3\r\n"},
      // A 600-byte line is read as 519 bytes and the rest; each piece is a line of its own.
      {"overlong line in pieces", p519 + "qqqqqqqqqq\r\n", p519 + std::string(81, 'p') + "\r\n", true,
       std::string(81, 'p') + "\r\n-qqqqqqqqqq\r\n"},
      {"a removal of a full 519-byte piece", r519 + "\r\n", "", true, "-" + r519 + "\r\n"},
      // An empty line, or a NUL where a name starts, names no file: no entry.
      {"empty lines name no file", "", "a\r\n\r\n\r\nb\r\n", true, "a\r\nb\r\n"},
      {"a NUL where a name starts", std::string("\0old\r\n", 6), std::string("\0x\r\ny\r\n", 7), true, "y\r\n"},
      // Text mode as the runtime reads it: a lone CR is text, a NUL ends the line's text.
      {"lone CR", "x\r\n", "a\rb\r\nx\r\n", true, "a\rb\r\n"},
      {"Ctrl-Z ends the text", "", "a\r\n\x1A" "b\r\n", false, "a\r\n"},
      {"CR at the very end", "", "a\r\nb\r", false, "a\r\nb\r\r\n"},
      {"CR before Ctrl-Z", "", "a\r\x1A\n", false, "a\r\r\n"},
      {"CR CR LF", "", "a\r\r\n", false, "a\r\r\n"},
      {"NUL inside a line", "", std::string("ab\0cd\r\nef\r\n", 11), false, "ab\r\nef\r\n"},
  };
  // The same entries whether the previous log is indexed in memory or, as when memory for the
  // index is refused, reread for every line.
  for (const bool reread : {false, true}) {
    for (const CompareCase& c : cases) {
      const std::string label = std::string(c.name) + (reread ? " (reread)" : "");
      WriteBytes(Previous(), c.previous);
      WriteBytes(Log(), c.current);
      WriteBytes(ChangeList(), "old entry\r\n");
      if (reread) {
        StdioFile previous, current, changes;
        ASSERT_TRUE(previous.Open(Previous().c_str(), "rb")) << label;
        ASSERT_TRUE(current.Open(Log().c_str(), "rb")) << label;
        ASSERT_TRUE(changes.Open(ChangeList().c_str(), "a")) << label;
        AppendScanLogChangesByRereading(previous.Get(), current.Get(), changes.Get(), c.removals);
      } else {
        EXPECT_TRUE(Compare(c.removals)) << label;
      }
      EXPECT_EQ(ReadBytes(ChangeList()), "old entry\r\n" + c.appended) << label;
      // The logs themselves are only read.
      EXPECT_EQ(ReadBytes(Previous()), c.previous) << label;
      EXPECT_EQ(ReadBytes(Log()), c.current) << label;
    }
  }
}

TEST_F(CompareTest, RereadingWithAMissingFileWritesNothing) {
  WriteBytes(Previous(), "a\r\n");
  WriteBytes(Log(), "b\r\n");
  WriteBytes(ChangeList(), "kept\r\n");
  {
    StdioFile previous, changes;
    ASSERT_TRUE(previous.Open(Previous().c_str(), "rb"));
    ASSERT_TRUE(changes.Open(ChangeList().c_str(), "a"));
    AppendScanLogChangesByRereading(previous.Get(), nullptr, changes.Get(), true);
    AppendScanLogChangesByRereading(nullptr, previous.Get(), changes.Get(), true);
    AppendScanLogChangesByRereading(previous.Get(), previous.Get(), nullptr, true);
  }
  EXPECT_EQ(ReadBytes(ChangeList()), "kept\r\n");
}

TEST_F(CompareTest, CreatesTheChangeListAndAccumulatesEntries) {
  WriteBytes(Previous(), "a\r\n");
  WriteBytes(Log(), "a\r\nb\r\n");
  ASSERT_TRUE(Compare(false));
  EXPECT_EQ(ReadBytes(ChangeList()), "b\r\n");
  WriteBytes(Log(), "c\r\n");
  ASSERT_TRUE(Compare(true));
  EXPECT_EQ(ReadBytes(ChangeList()), "b\r\nc\r\n-a\r\n");
}

TEST_F(CompareTest, MissingLogLeavesTheChangeListAlone) {
  WriteBytes(Log(), "a\r\n");
  EXPECT_FALSE(Compare(true)) << "no previous log";
  EXPECT_FALSE(PathExists(ChangeList())) << "not even created";

  WriteBytes(ChangeList(), "kept\r\n");
  EXPECT_FALSE(Compare(true));
  EXPECT_EQ(ReadBytes(ChangeList()), "kept\r\n");

  DeleteFileA(Log().c_str());
  WriteBytes(Previous(), "a\r\n");
  EXPECT_FALSE(Compare(true)) << "no scan log";
  EXPECT_EQ(ReadBytes(ChangeList()), "kept\r\n");
}

TEST_F(CompareTest, LockedChangeListGetsNothingAndTheLogsStay) {
  WriteBytes(Previous(), "a\r\n");
  WriteBytes(Log(), "b\r\n");
  WriteBytes(ChangeList(), "kept\r\n");
  HANDLE lock = CreateFileA(ChangeList().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Compare(true));
  CloseHandle(lock);
  EXPECT_EQ(ReadBytes(ChangeList()), "kept\r\n");
  EXPECT_EQ(ReadBytes(Previous()), "a\r\n");
  EXPECT_EQ(ReadBytes(Log()), "b\r\n");
  // Once free again the same comparison goes through.
  EXPECT_TRUE(Compare(true));
  EXPECT_EQ(ReadBytes(ChangeList()), "kept\r\nb\r\n-a\r\n");
}

TEST_F(CompareTest, UnusableNamesCompareNothing) {
  WriteBytes(Previous(), "a\r\n");
  WriteBytes(Log(), "b\r\n");
  EXPECT_FALSE(AppendScanLogChanges(Previous().c_str(), nullptr, ChangeList().c_str(), true));
  EXPECT_FALSE(AppendScanLogChanges(Previous().c_str(), "", ChangeList().c_str(), true));
  EXPECT_FALSE(AppendScanLogChanges(Previous().c_str(), Log().c_str(), nullptr, true));
  EXPECT_FALSE(AppendScanLogChanges(Previous().c_str(), Log().c_str(), "", true));
  // A change list past the path limit cannot be opened: nothing is written, anywhere.
  const std::string longName = Prefix() + std::string(520 - Prefix().size(), 'n');
  EXPECT_FALSE(AppendScanLogChanges(Previous().c_str(), Log().c_str(), longName.c_str(), true));
  EXPECT_FALSE(PathExists(ChangeList()));
  EXPECT_EQ(ListFolder(temp_.Path()).size(), 2u) << "the two logs alone";
}

TEST_F(CompareTest, LargeLogsCompareInOrder) {
  // Enough lines to grow the index many times over and fill several 1 MB blocks with records
  // of every length; every third line changes.
  std::string previous, current, expectedAdded, expectedRemoved;
  for (int i = 0; i < 60000; ++i) {
    const std::string line = "C:\\Lib\\Album " + std::to_string(i / 50) + "\\Track " + std::to_string(i) +
                             std::string(i % 97, 't') + ".mp3\r\n";
    previous += line;
    if (i % 3 == 0) {
      const std::string renamed = "C:\\Lib\\New\\" + std::to_string(i) + ".mp3\r\n";
      current += renamed;
      expectedAdded += renamed;
      expectedRemoved += "-" + line;
    } else {
      current += line;
    }
  }
  WriteBytes(Previous(), previous);
  WriteBytes(Log(), current);
  ASSERT_TRUE(Compare(true));
  EXPECT_TRUE(ReadBytes(ChangeList()) == expectedAdded + expectedRemoved);
}

// ---- the comparison of what a quick walk did not copy ------------------------------------------

// A previous scan of directory blocks, and a new scan made of some of them copied whole and of
// lines the walk listed itself. The comparison of the parts either proves itself the whole
// comparison and appends exactly what that appends, or writes nothing and says so.
struct Block {
  std::string line_start;  // "C:\Lib\Al\"; empty: lines that belong to no one directory
  std::string lines;
};
struct NewPart {
  int copied;  // the previous block copied, or -1 for listed lines
  std::string listed;
};
struct PartsCase {
  const char* name;
  std::vector<Block> previous;
  std::vector<NewPart> current;
  bool proven;
  bool backslash_separates = true;
};

TEST_F(CompareTest, PartsCompareAsTheWholeScansOrNotAtAll) {
  const std::string al = "C:\\Lib\\Al\\";
  const std::string bo = "C:\\Lib\\Bo\\";
  const std::string cy = "C:\\Lib\\Cy\\";
  const auto lines = [](const std::string& start, std::initializer_list<const char*> names) {
    std::string text;
    for (const char* name : names) text += start + name + "\r\n";
    return text;
  };
  const std::vector<Block> library = {
      {"C:\\Lib\\", lines("C:\\Lib\\", {"top.mp3"})},
      {al, lines(al, {"1.mp3", "2.mp3"})},
      {bo, lines(bo, {"1.mp3", "2.mp3", "3.mp3"})},
      {cy, lines(cy, {"1.mp3"})},
  };
  const std::string long_line = "C:\\Lib\\Dy\\" + std::string(600, 'x') + ".mp3\r\n";
  const PartsCase cases[] = {
      {"an album in, an album out, a track added", library,
       {{0, ""},
        {1, ""},
        {-1, lines(bo, {"1.mp3", "2.mp3", "3.mp3", "4.mp3"})},
        {-1, lines("C:\\Lib\\New\\", {"n.mp3"})}},
       true},
      {"nothing changed", library, {{0, ""}, {1, ""}, {2, ""}, {3, ""}}, true},
      {"copies in another order", library, {{3, ""}, {0, ""}, {2, ""}, {1, ""}}, true},
      {"folders renamed in letter case only", library,
       {{0, ""}, {-1, lines("C:\\Lib\\AL\\", {"1.mp3", "2.MP3"})}, {2, ""}, {3, ""}}, true},
      {"a last line without its end, outside the copies", {library[0], {"", lines(al, {"1.mp3"}) + al + "2.mp3"}},
       {{0, ""}, {-1, lines(al, {"1.mp3", "2.mp3"})}}, true},
      {"a listed folder that is a copied one in other letters", library,
       {{0, ""}, {1, ""}, {-1, lines("C:\\Lib\\al\\", {"1.mp3"})}, {2, ""}, {3, ""}}, false},
      {"a removed folder that is a copied one in other letters",
       {library[0], library[1], {"C:\\Lib\\AL\\", lines("C:\\Lib\\AL\\", {"1.mp3"})}}, {{0, ""}, {1, ""}}, false},
      {"a line longer than a line buffer", library, {{0, ""}, {1, ""}, {2, ""}, {3, ""}, {-1, long_line}}, false},
      {"a NUL", library, {{0, ""}, {1, ""}, {2, ""}, {-1, std::string("C:\\Lib\\Cy\\\0.mp3\r\n", 17)}}, false},
      {"a Ctrl-Z", {library[0], library[1], {"", "C:\\Lib\\Bo\\\x1A.mp3\r\n"}}, {{0, ""}, {1, ""}}, false},
      {"a copy that would start inside a line", {library[0], {"", al + "1.mp3\r\n" + al + "x"}, library[2]},
       {{0, ""}, {2, ""}}, false},
      {"a double-byte code page", library, {{0, ""}, {1, ""}, {2, ""}}, false, false},
  };
  for (const PartsCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string previous;
    std::vector<std::uint64_t> offsets;
    for (const Block& block : c.previous) {
      offsets.push_back(previous.size());
      previous += block.lines;
    }
    ScanParts parts;
    std::string current;
    for (const NewPart& part : c.current) {
      if (part.copied < 0) {
        current += part.listed;
        parts.AddListed(part.listed.data(), part.listed.size());
      } else {
        const Block& block = c.previous[static_cast<std::size_t>(part.copied)];
        current += block.lines;
        parts.AddCopied(offsets[static_cast<std::size_t>(part.copied)], block.lines.size(), block.line_start);
      }
    }
    WriteBytes(Previous(), previous);
    WriteBytes(Log(), current);
    for (const bool removals : {true, false}) {
      WriteBytes(ChangeList(), "old entry\r\n");
      ASSERT_TRUE(AppendScanLogChanges(Previous().c_str(), Log().c_str(), ChangeList().c_str(), removals));
      const std::string whole = ReadBytes(ChangeList());
      WriteBytes(ChangeList(), "old entry\r\n");
      StdioFile file;
      ASSERT_TRUE(file.Open(Previous().c_str(), "rb"));
      const PartsComparison result = AppendChangesOfParts(file.Get(), previous.size(), parts, ChangeList().c_str(),
                                                          removals, c.backslash_separates);
      if (c.proven) {
        EXPECT_EQ(PartsComparison::kAppended, result);
        EXPECT_EQ(whole, ReadBytes(ChangeList())) << (removals ? "with removals" : "additions only");
      } else {
        EXPECT_EQ(PartsComparison::kUnproven, result);
        EXPECT_EQ("old entry\r\n", ReadBytes(ChangeList())) << "nothing is written when unproven";
      }
    }
  }
}

TEST_F(CompareTest, PartsTooLargeOrGivenUpAreLeftToTheWholeComparison) {
  const std::string album = "C:\\Lib\\Al\\";
  std::string removed;
  while (removed.size() <= kMaxRest) removed += "C:\\Lib\\Gone\\" + std::to_string(removed.size()) + ".mp3\r\n";
  WriteBytes(Previous(), album + "a.mp3\r\n" + removed);
  StdioFile file;
  ASSERT_TRUE(file.Open(Previous().c_str(), "rb"));
  ScanParts parts;
  parts.AddCopied(0, album.size() + 7, album);
  EXPECT_EQ(PartsComparison::kUnproven, AppendChangesOfParts(file.Get(), album.size() + 7 + removed.size(), parts,
                                                             ChangeList().c_str(), true, true));
  ScanParts given_up;
  given_up.AddListed("x\r\n", 3);
  given_up.GiveUp();
  EXPECT_EQ(PartsComparison::kUnproven,
            AppendChangesOfParts(file.Get(), album.size() + 7, given_up, ChangeList().c_str(), true, true));
  EXPECT_FALSE(PathExists(ChangeList()));
}

class CompareDoubleByte : public CompareTest {
 protected:
  void SetUp() override {
    if (GetACP() != 932) GTEST_SKIP() << "the ANSI code page is not 932";
  }
};

TEST_F(CompareDoubleByte, TrailBytesAreNotLetters) {
  // 0x83 0x41 and 0x83 0x61 are two katakana; only their trail bytes differ, as 'A' and 'a' do.
  WriteBytes(Previous(), "C:\\Lib\\\x83\x41.mp3\r\nC:\\LIB\\\x83\x42.MP3\r\n");
  WriteBytes(Log(), "C:\\Lib\\\x83\x61.mp3\r\nc:\\lib\\\x83\x42.mp3\r\n");
  ASSERT_TRUE(Compare(true));
  EXPECT_EQ(ReadBytes(ChangeList()), "C:\\Lib\\\x83\x61.mp3\r\n-C:\\Lib\\\x83\x41.mp3\r\n");
}

}  // namespace
