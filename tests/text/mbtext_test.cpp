#include <cstring>

#include <gtest/gtest.h>

#include "text/codepage.h"
#include "text/mbtext.h"

#ifdef _WIN32
#include <windows.h>

#include "importpatch.h"
#endif
#include "text_test_support.h"

namespace {

// Offset of a found position, -1 for null.
long long At(const char* text, const char* found) { return found ? found - text : -1; }

// ---- stepping --------------------------------------------------------------

TEST(MbNext, StepsOneByteOverAsciiAndOverTheTerminator) {
  const char text[] = "ab";
  EXPECT_EQ(MbNext(text), text + 1);
  EXPECT_EQ(MbNext(text + 2), text + 3);
  EXPECT_EQ(MbNext(static_cast<const char*>(nullptr)), nullptr);
}

TEST_F(SingleByteCodePage, MbNextStepsOneByteInsideHighBytes) {
  const char text[] = SO_932;
  EXPECT_EQ(MbNext(text), text + 1);
}

TEST_F(DoubleByteCodePage, MbNextStepsOverWholeDoubleByteCharacters) {
  const char text[] = "a" SO_932 "b";
  EXPECT_EQ(MbNext(text), text + 1);
  EXPECT_EQ(MbNext(text + 1), text + 3);
  EXPECT_EQ(MbNext(text + 4), text + 5);  // at the NUL: one byte on
}

TEST_F(DoubleByteCodePage, MbNextTakesALoneLeadByteBeforeTheTerminatorAsOneByte) {
  const char text[] = "\x83";
  EXPECT_EQ(MbNext(text), text + 1);
}

TEST_F(DoubleByteCodePage, MbIsSingleByteAtRejectsBothBytesOfADoubleByteCharacter) {
  const char text[] = SO_932 "\\";
  EXPECT_FALSE(MbIsSingleByteAt(text, '\x83'));
  EXPECT_TRUE(MbIsSingleByteAt(text + 2, '\\'));
  EXPECT_FALSE(MbIsSingleByteAt(text + 2, '/'));
  EXPECT_FALSE(MbIsSingleByteAt(nullptr, '\\'));
}

TEST(MbIsSingleByteAt, NullIsNeverAMatch) { EXPECT_FALSE(MbIsSingleByteAt(nullptr, 'a')); }

// ---- lead bytes ------------------------------------------------------------

TEST_F(SingleByteCodePage, NoByteIsALeadByte) {
  for (int b = 0; b < 256; ++b) EXPECT_FALSE(MbIsLeadByte(static_cast<unsigned char>(b))) << b;
}

TEST_F(DoubleByteCodePage, LeadBytesAreThoseOfCodePage932) {
  struct Case { unsigned char byte; bool lead; };
  const Case cases[] = {{0x80, false}, {0x81, true},  {0x9F, true},  {0xA0, false}, {0xDF, false},
                        {0xE0, true},  {0xFC, true},  {0xFD, false}, {'A', false},  {'\\', false}};
  for (const Case& c : cases) EXPECT_EQ(MbIsLeadByte(c.byte), c.lead) << int(c.byte);
}

#ifdef _WIN32
int g_metricsAsked = 0;
void* g_realGetSystemMetrics = nullptr;
int WINAPI CountingGetSystemMetrics(int index) {
  if (index == SM_DBCSENABLED) ++g_metricsAsked;
  return reinterpret_cast<decltype(&GetSystemMetrics)>(g_realGetSystemMetrics)(index);
}

// A text walked character by character must not cost a system call per character.
TEST(MbDoubleByteFlag, IsAskedOncePerProcess) {
  ImportPatch patch(GetModuleHandleA(nullptr), "user32.dll", "GetSystemMetrics",
                    reinterpret_cast<void*>(&CountingGetSystemMetrics));
  ASSERT_TRUE(patch.Applied());
  g_realGetSystemMetrics = patch.Original();
  const char text[] = "C:\\Music\\Live\\song.mp3";
  for (int round = 0; round < 100; ++round) {
    for (const char* p = text; *p; p = MbNext(p)) {
    }
    MbIsLeadByte(0x81);
  }
  EXPECT_LE(g_metricsAsked, 1);
}
#endif

// ---- character search ------------------------------------------------------

TEST_F(SingleByteCodePage, FindsATrailByteBackslashByteByByte) {
  const char text[] = SO_932;
  EXPECT_EQ(At(text, MbFindChar(text, '\\')), 1);
  EXPECT_EQ(At(text, MbFindLastChar(text, '\\')), 1);
}

TEST_F(DoubleByteCodePage, NeverFindsATrailByteBackslash) {
  const char text[] = SO_932;
  EXPECT_EQ(MbFindChar(text, '\\'), nullptr);
  EXPECT_EQ(MbFindLastChar(text, '\\'), nullptr);
}

TEST_F(DoubleByteCodePage, FindsOnlyRealBackslashesAroundDoubleByteCharacters) {
  const char text[] = "a\\" SO_932 "\\" SO_932;
  EXPECT_EQ(At(text, MbFindChar(text, '\\')), 1);
  EXPECT_EQ(At(text, MbFindLastChar(text, '\\')), 4);
  EXPECT_EQ(At(text, MbFindChar(text + 2, '\\')), 4);
}

TEST(MbFindChar, FollowsStrchrAndStrrchrOnAscii) {
  const char text[] = "a/b/c";
  EXPECT_EQ(At(text, MbFindChar(text, '/')), 1);
  EXPECT_EQ(At(text, MbFindLastChar(text, '/')), 3);
  EXPECT_EQ(MbFindChar(text, 'x'), nullptr);
  EXPECT_EQ(MbFindLastChar(text, 'x'), nullptr);
  EXPECT_EQ(At(text, MbFindChar(text, '\0')), 5);
  EXPECT_EQ(MbFindChar(nullptr, 'a'), nullptr);
  EXPECT_EQ(MbFindLastChar(nullptr, 'a'), nullptr);
}

TEST_F(DoubleByteCodePage, SearchingForNulFindsTheTerminatorAsStrchrDoes) {
  const char text[] = SO_932 "a";
  EXPECT_EQ(At(text, MbFindChar(text, '\0')), 3);
  EXPECT_EQ(At(text, MbFindLastChar(text, '\0')), 3);
}

// ---- string search ---------------------------------------------------------

struct FindCase {
  const char* text;
  const char* pattern;
  long long at;
};

void ExpectFinds(const FindCase* cases, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const FindCase& c = cases[i];
    EXPECT_EQ(At(c.text, MbFindString(c.text, c.pattern)), c.at) << "case " << i;
  }
}

TEST(MbFindString, FindsAsciiPatterns) {
  const FindCase cases[] = {
      {"hello world", "world", 6}, {"hello", "hello", 0}, {"hello", "lo", 3},
      {"hello", "hello!", -1},     {"aaab", "aab", 1},    {"hello", "x", -1},
  };
  ExpectFinds(cases, sizeof cases / sizeof cases[0]);
  EXPECT_EQ(MbFindString(nullptr, "a"), nullptr);
  EXPECT_EQ(MbFindString("a", nullptr), nullptr);
}

TEST_F(SingleByteCodePage, FindStringMatchesInsideHighBytes) {
  const FindCase cases[] = {
      {SO_932, "\\", 1},
      {"a" SO_932, "a\x83", 0},
      {"", "", 0},
  };
  ExpectFinds(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(DoubleByteCodePage, FindStringMatchesOnCharacterBoundariesOnly) {
  const FindCase cases[] = {
      {SO_932, "\\", -1},                  // the trail byte is no backslash
      {SO_932 "\\", "\\", 2},              // the real one after it is
      {"a" SO_932, "a\x83", -1},           // would end inside the character
      {"a" SO_932 "b", SO_932 "b", 1},     // a whole character matches
      {"\x83\x83\x5C", "\x83\x5C", -1},     // starts on a trail byte
      {"", "", -1},                        // empty text: nothing
      {"ab", "", 0},
  };
  ExpectFinds(cases, sizeof cases / sizeof cases[0]);
}

// ---- fixed buffers ---------------------------------------------------------

TEST(BoundedCopy, CopiesWhatFitsPadsAndTerminates) {
  char buffer[4];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(BoundedCopy(buffer, "abcdefghij", sizeof buffer), buffer);
  EXPECT_STREQ(buffer, "abc");

  char padded[6];
  std::memset(padded, 'x', sizeof padded);
  BoundedCopy(padded, "ab", sizeof padded);
  EXPECT_EQ(std::memcmp(padded, "ab\0\0\0\0", 6), 0);
}

TEST(BoundedAppend, AppendsWithinTheTotalSize) {
  struct Case {
    const char* start;
    const char* source;
    std::size_t size;
    const char* result;
  };
  const Case cases[] = {
      {"ab", "cd", 8, "abcd"},         {"abc", "defghij", 6, "abcde"},
      {"abcdefg", "h", 8, "abcdefg"},  // full: unchanged, still terminated
      {"", "abc", 2, "a"},             {"ab", "", 8, "ab"},
  };
  for (const Case& c : cases) {
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    std::strcpy(buffer, c.start);
    EXPECT_EQ(BoundedAppend(buffer, c.source, c.size), buffer);
    EXPECT_STREQ(buffer, c.result) << c.start << " + " << c.source;
    EXPECT_EQ(buffer[c.size - 1], '\0');
  }
}

TEST(BoundedAppend, TerminatesABufferThatHasNoNul) {
  char buffer[4] = {'a', 'b', 'c', 'd'};
  BoundedAppend(buffer, "e", sizeof buffer);
  EXPECT_STREQ(buffer, "abc");
}

TEST(BoundedCopyAndAppend, LeaveTheDestinationAloneWithoutSourceOrSize) {
  struct Case {
    const char* name;
    char* (*function)(char*, const char*, std::size_t);
  } const cases[] = {{"BoundedCopy", &BoundedCopy}, {"BoundedAppend", &BoundedAppend}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char buffer[4] = {'k', 'e', 'p', 't'};
    EXPECT_EQ(c.function(buffer, nullptr, sizeof buffer), buffer);
    EXPECT_EQ(c.function(buffer, "abc", 0), buffer);
    EXPECT_EQ(std::memcmp(buffer, "kept", 4), 0);
    EXPECT_EQ(c.function(nullptr, "abc", 4), nullptr);
  }
}

}  // namespace
