// What ByteString does with its text: fields, trims, replacing, formatting,
// slicing and searching, single-byte and under code page 932.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "text/bytestring.h"
#include "text_test_support.h"

namespace {

// ---- fields --------------------------------------------------------------------

TEST(ByteStringFields, CountAndSplitIncludingEmptyFields) {
  struct Case {
    const char* text;
    char separator;
    std::vector<const char*> fields;
  };
  const Case cases[] = {
      {"a\\\\b", '\\', {"a", "", "b"}},
      {"\\a", '\\', {"", "a"}},
      {"a\\", '\\', {"a", ""}},
      {"", '\\', {""}},
      {"abc", '\\', {"abc"}},
      {"one,two,three,four and more", ',', {"one", "two", "three", "four and more"}},
  };
  for (const Case& c : cases) {
    const ByteString s(c.text);
    EXPECT_EQ(s.CountFields(c.separator), static_cast<int>(c.fields.size())) << c.text;
    for (std::size_t i = 0; i < c.fields.size(); ++i) {
      EXPECT_STREQ(s.Field(c.separator, static_cast<int>(i) + 1).CStr(), c.fields[i]) << c.text << " #" << i + 1;
    }
    EXPECT_TRUE(s.Field(c.separator, static_cast<int>(c.fields.size()) + 1).IsEmpty()) << c.text;
  }
}

TEST(ByteStringFields, IndexZeroOrBelowIsTheFirstField) {
  const ByteString s("first,second");
  EXPECT_STREQ(s.Field(',', 0).CStr(), "first");
  EXPECT_STREQ(s.Field(',', -3).CStr(), "first");
}

TEST(ByteStringFields, NulSeparatorMakesOneField) {
  const ByteString s("a,b");
  EXPECT_EQ(s.CountFields('\0'), 1);
  EXPECT_STREQ(s.Field('\0', 1).CStr(), "a,b");
  EXPECT_TRUE(s.Field('\0', 2).IsEmpty());
}

TEST_F(DoubleByteCodePage, TrailByteBackslashIsNoFieldSeparator) {
  const ByteString single(SO_932);
  EXPECT_EQ(single.CountFields('\\'), 1);
  EXPECT_STREQ(single.Field('\\', 1).CStr(), SO_932);
  EXPECT_EQ(single.ReverseFind('\\'), -1);

  const ByteString path("a\\" SO_932 "\\b");
  EXPECT_EQ(path.CountFields('\\'), 3);
  EXPECT_STREQ(path.Field('\\', 2).CStr(), SO_932);
  EXPECT_STREQ(path.Field('\\', 3).CStr(), "b");
  EXPECT_EQ(path.ReverseFind('\\'), 4);
}

TEST_F(SingleByteCodePage, TrailByteBackslashSeparatesByteByByte) {
  const ByteString single(SO_932);
  EXPECT_EQ(single.CountFields('\\'), 2);
  EXPECT_STREQ(single.Field('\\', 1).CStr(), "\x83");
  EXPECT_EQ(single.ReverseFind('\\'), 1);
}

TEST(ByteStringSearch, ReverseFindGivesTheLastIndexOrMinusOne) {
  EXPECT_EQ(ByteString("a\\b\\c").ReverseFind('\\'), 3);
  EXPECT_EQ(ByteString("a\\b\\c").ReverseFind('x'), -1);
  EXPECT_EQ(ByteString().ReverseFind('\\'), -1);
  EXPECT_EQ(ByteString("C:\\some\\longer\\path").ReverseFind('\\'), 14);
}

// ---- trims -------------------------------------------------------------------

TEST(ByteStringTrim, RemovesLeadingOrTrailingWhiteSpace) {
  struct Case {
    const char* text;
    const char* left;
    const char* right;
  };
  const Case cases[] = {
      {"  ab  ", "ab  ", "  ab"},
      {"\t\r\n\v\f ab", "ab", "\t\r\n\v\f ab"},
      {" a b ", "a b ", " a b"},
      {"ab", "ab", "ab"},
      {"   ", "", ""},
      {"", "", ""},
      {"   a longer text   ", "a longer text   ", "   a longer text"},
  };
  for (const Case& c : cases) {
    ByteString left(c.text);
    left.TrimLeft();
    EXPECT_STREQ(left.CStr(), c.left) << '"' << c.text << '"';
    EXPECT_EQ(left.Length(), static_cast<int>(std::strlen(c.left)));
    ByteString right(c.text);
    right.TrimRight();
    EXPECT_STREQ(right.CStr(), c.right) << '"' << c.text << '"';
    EXPECT_EQ(right.Length(), static_cast<int>(std::strlen(c.right)));
  }
}

TEST(ByteStringTrim, TrimmedHeapStringStaysInTheHeapForm) {
  ByteString left("          abc");
  left.TrimLeft();
  EXPECT_FALSE(left.IsInlineForm());
  EXPECT_EQ(left.Length(), 3);
  EXPECT_STREQ(left.CStr(), "abc");

  ByteString right("abc          ");
  right.TrimRight();
  EXPECT_FALSE(right.IsInlineForm());
  EXPECT_EQ(right.Length(), 3);
  EXPECT_STREQ(right.CStr(), "abc");
}

TEST(ByteStringTrim, HeapStringTrimmedToNothingIsEmpty) {
  for (int side = 0; side < 2; ++side) {
    ByteString s("            ");
    side == 0 ? s.TrimLeft() : s.TrimRight();
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(s.Length(), 0);
    EXPECT_STREQ(s.CStr(), "");
    EXPECT_FALSE(s.IsInlineForm());
  }
}

TEST(ByteStringTrim, HighBytesAreNeverWhiteSpace) {
  ByteString s("\xA0" "a" "\xA0");
  s.TrimLeft();
  s.TrimRight();
  EXPECT_STREQ(s.CStr(), "\xA0" "a" "\xA0");
}

TEST_F(DoubleByteCodePage, TrimsNeverCutIntoADoubleByteCharacter) {
  ByteString both(" " SO_932 " ");
  both.TrimLeft();
  EXPECT_STREQ(both.CStr(), SO_932 " ");
  both.TrimRight();
  EXPECT_STREQ(both.CStr(), SO_932);

  // A lead byte takes the following byte, even a space, as its trail byte.
  ByteString leadThenSpace("ab\x83 ");
  leadThenSpace.TrimRight();
  EXPECT_STREQ(leadThenSpace.CStr(), "ab\x83 ");
}

TEST_F(SingleByteCodePage, SpaceAfterAHighByteIsTrimmed) {
  ByteString s("ab\x83 ");
  s.TrimRight();
  EXPECT_STREQ(s.CStr(), "ab\x83");
}

// ---- replace -------------------------------------------------------------------

TEST(ByteStringReplace, ReplacesTheFirstOrEveryOccurrence) {
  struct Case {
    const char* text;
    const char* pattern;
    const char* replacement;
    bool all;
    const char* result;
    bool replaced;
  };
  const Case cases[] = {
      {"a.b.c", ".", "\\", false, "a\\b.c", true},
      {"a.b.c", ".", "\\", true, "a\\b\\c", true},
      {"a.b.c", "", "x", true, "a.b.c", false},
      {"a.b.c", "x", "y", true, "a.b.c", false},
      {"aaa", "a", "bb", true, "bbbbbb", true},
      {"aaa", "aa", "b", true, "ba", true},
      {"abc", "abc", "", false, "", true},
      {"C:/Program Files/app/", "/", "\\", true, "C:\\Program Files\\app\\", true},
      {"%DIR%\\%DIR%", "%DIR%", "C:\\long directory", false, "C:\\long directory\\%DIR%", true},
  };
  for (const Case& c : cases) {
    ByteString s(c.text);
    EXPECT_EQ(s.Replace(c.pattern, c.replacement, c.all), c.replaced) << c.text << " / " << c.pattern;
    EXPECT_STREQ(s.CStr(), c.result) << c.text << " / " << c.pattern;
    EXPECT_EQ(s.Length(), static_cast<int>(std::strlen(c.result)));
  }
}

TEST(ByteStringReplace, NullPatternOrReplacementDoesNothing) {
  ByteString s("abc");
  EXPECT_FALSE(s.Replace(nullptr, "x", true));
  EXPECT_FALSE(s.Replace("b", nullptr, true));
  EXPECT_STREQ(s.CStr(), "abc");
}

TEST(ByteStringReplace, PatternAndReplacementMayComeFromTheStringItself) {
  ByteString s("one-two-three-four");
  const char* own = s.CStr();
  EXPECT_TRUE(s.Replace(own + 3, own, false));  // "-two-three-four" -> whole text
  EXPECT_STREQ(s.CStr(), "oneone-two-three-four");
}

TEST_F(DoubleByteCodePage, ReplaceSkipsTrailBytes) {
  ByteString s(SO_932 "\\x" SO_932);
  EXPECT_TRUE(s.Replace("\\", "/", true));
  EXPECT_STREQ(s.CStr(), SO_932 "/x" SO_932);
}

// ---- lower case --------------------------------------------------------------

TEST(ByteStringLower, LowerCasesAsciiLetters) {
  ByteString s("MiXeD Case 123 \\PATH");
  s.MakeLower();
  EXPECT_STREQ(s.CStr(), "mixed case 123 \\path");
  ByteString shortText("ABC");
  shortText.MakeLower();
  EXPECT_STREQ(shortText.CStr(), "abc");
}

TEST_F(DoubleByteCodePage, LowerCaseKeepsTrailBytesThatLookLikeLetters) {
  ByteString s("A\x83\x41");  // katakana A: trail byte 0x41 is 'A'
  s.MakeLower();
  EXPECT_STREQ(s.CStr(), "a\x83\x41");
}

// ---- slices and concatenation ----------------------------------------------------

TEST(ByteStringSlices, LeftAndMidClampToTheString) {
  struct Case {
    const char* text;
    int start;  // -1: Left
    int count;
    const char* result;
  };
  const Case cases[] = {
      {"abc", -1, 10, "abc"},     {"abc", -1, 2, "ab"},       {"abc", -1, 0, ""},
      {"abc", -1, -5, ""},        {"abc", 5, 2, ""},          {"abc", 3, 1, ""},
      {"abc", 1, 10, "bc"},       {"abc", 1, 1, "b"},         {"abc", 0, -1, ""},
      {"0123456789", -1, 8, "01234567"}, {"0123456789", 2, 5, "23456"}, {"0123456789", 7, 100, "789"},
  };
  for (const Case& c : cases) {
    const ByteString s(c.text);
    const ByteString slice = c.start < 0 ? s.Left(c.count) : s.Mid(c.start, c.count);
    EXPECT_STREQ(slice.CStr(), c.result) << c.text << " " << c.start << " " << c.count;
    EXPECT_EQ(slice.IsInlineForm(), std::strlen(c.result) <= 7);
  }
  EXPECT_STREQ(ByteString("abc").Mid(-2, 2).CStr(), "ab");
}

TEST(ByteStringConcat, CopiesTheFirstAndAppendsTheSecond) {
  const ByteString dir("C:\\data");
  EXPECT_STREQ(ByteString::Concat(dir, '\\').CStr(), "C:\\data\\");
  EXPECT_STREQ(ByteString::Concat(dir, "\\file.txt").CStr(), "C:\\data\\file.txt");
  EXPECT_STREQ(ByteString::Concat(dir, nullptr).CStr(), "C:\\data");
  EXPECT_STREQ(dir.CStr(), "C:\\data");
}

// ---- format ------------------------------------------------------------------

TEST(ByteStringFormat, FormatsLikePrintf) {
  ByteString s("old content that goes away");
  EXPECT_EQ(s.Format("%s%s%d", "WatchFolder", "#", 3), 13);
  EXPECT_STREQ(s.CStr(), "WatchFolder#3");
  EXPECT_EQ(s.Length(), 13);
}

TEST(ByteStringFormat, SizesAttemptsAndCutsAt131072Bytes) {
  struct Case {
    int output;
    int result;
    int kept;
    std::size_t block;  // the last attempt's buffer plus count byte and NUL
  };
  const Case cases[] = {
      {0, 0, 0, 514},
      {511, 511, 511, 514},
      {512, 512, 512, 515},  // filled exactly: second attempt at 513
      {513, 513, 513, 2050},
      {131072, 131072, 131072, 131075},
      {131073, -1, 131072, 131074},
      {200000, -1, 131072, 131074},
  };
  for (const Case& c : cases) {
    const std::string output(static_cast<std::size_t>(c.output), 'x');
    TestAllocator allocator;
    ByteString s;
    EXPECT_EQ(s.Format("%s", output.c_str()), c.result) << c.output;
    EXPECT_EQ(s.Length(), c.kept) << c.output;
    EXPECT_EQ(std::string(s.CStr()), output.substr(0, static_cast<std::size_t>(c.kept)));
    EXPECT_EQ(allocator.BlockSize(s), c.block) << c.output;
  }
}

TEST(ByteStringFormat, ArgumentsMayPointIntoTheStringItself) {
  ByteString s("a longer heap text");
  EXPECT_EQ(s.Format("%s|%s", s.CStr(), s.CStr()), 37);
  EXPECT_STREQ(s.CStr(), "a longer heap text|a longer heap text");
}

TEST(ByteStringFormat, NullFormatLeavesTheStringAlone) {
  ByteString s("kept");
  EXPECT_EQ(s.Format(nullptr), -1);
  EXPECT_STREQ(s.CStr(), "kept");
}

}  // namespace
