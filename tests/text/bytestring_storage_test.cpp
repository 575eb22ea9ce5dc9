// How ByteString keeps its bytes: inline or in a shared, counted heap block,
// exact-fit growth, copy-on-write, and what happens when memory runs out.
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "text/bytestring.h"
#include "text_test_support.h"

namespace {

// ---- inline and heap forms -------------------------------------------------

TEST(ByteStringStorage, UpToSevenBytesStayInlineLongerTextGetsAnExactBlock) {
  TestAllocator allocator;
  struct Case {
    int length;
    bool inlineForm;
    std::size_t block;
  };
  const Case cases[] = {{0, true, 0},   {1, true, 0},   {6, true, 0},     {7, true, 0},
                        {8, false, 10}, {9, false, 11}, {300, false, 302}};
  for (const Case& c : cases) {
    const std::string text(static_cast<std::size_t>(c.length), 'a');
    const ByteString s(text.c_str());
    EXPECT_EQ(s.IsInlineForm(), c.inlineForm) << c.length;
    EXPECT_EQ(allocator.BlockSize(s), c.block) << c.length;
    EXPECT_EQ(s.Length(), c.length);
    EXPECT_EQ(text, s.CStr());
  }
  EXPECT_EQ(allocator.Calls(), 3);  // only the three heap strings
  EXPECT_EQ(allocator.LiveBlocks(), 0);
}

TEST(ByteStringStorage, SevenByteStringUsesItsTagByteAsTerminator) {
  const ByteString s("1234567");
  EXPECT_TRUE(s.IsInlineForm());
  EXPECT_EQ(s.TagByte(), 0);
  EXPECT_EQ(s.CStr()[7], '\0');
}

TEST(ByteStringStorage, EmptyStringHasTagSeven) {
  const ByteString s;
  EXPECT_TRUE(s.IsInlineForm());
  EXPECT_EQ(s.TagByte(), 7);
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_STREQ(s.CStr(), "");
}

TEST(ByteStringConstruction, TakesTextBytesOrNothing) {
  struct Case {
    const char* bytes;
    int length;
    const char* text;
    int resultLength;
  };
  const Case cases[] = {
      {nullptr, -1, "", 0},       {nullptr, 5, "", 0},       {"abc", -1, "abc", 3},
      {"abcdef", 3, "abc", 3},    {"abc", -2, "", 0},        {"abcdefghij", 9, "abcdefghi", 9},
      {"a\0b", 3, "a", 3},  // the length counts, embedded NULs included
  };
  for (const Case& c : cases) {
    const ByteString s(c.bytes, c.length);
    EXPECT_STREQ(s.CStr(), c.text);
    EXPECT_EQ(s.Length(), c.resultLength);
  }
  EXPECT_TRUE(ByteString(static_cast<const char*>(nullptr)).IsEmpty());
}

// ---- sharing -----------------------------------------------------------------

TEST(ByteStringSharing, CopiesShareOneBlockUpTo255Holders) {
  TestAllocator allocator;
  const ByteString original("shared heap text");
  std::vector<ByteString> copies;
  copies.reserve(255);
  for (int i = 0; i < 254; ++i) copies.emplace_back(original);
  EXPECT_EQ(original.ShareCount(), 255);
  for (const ByteString& copy : copies) EXPECT_EQ(copy.HeapBlock(), original.HeapBlock());
  EXPECT_EQ(allocator.LiveBlocks(), 1);

  copies.emplace_back(original);  // the 255th copy
  const ByteString& deep = copies.back();
  EXPECT_NE(deep.HeapBlock(), original.HeapBlock());
  EXPECT_EQ(deep.ShareCount(), 1);
  EXPECT_STREQ(deep.CStr(), "shared heap text");
  EXPECT_EQ(original.ShareCount(), 255);
  EXPECT_EQ(allocator.LiveBlocks(), 2);

  copies.clear();
  EXPECT_EQ(original.ShareCount(), 1);
  EXPECT_EQ(allocator.LiveBlocks(), 1);
}

TEST(ByteStringSharing, AssignmentFollowsTheCopyRules) {
  const ByteString original("shared heap text");
  std::vector<ByteString> copies(255);
  for (int i = 0; i < 254; ++i) copies[static_cast<std::size_t>(i)] = original;
  EXPECT_EQ(original.ShareCount(), 255);
  copies[254] = original;
  EXPECT_NE(copies[254].HeapBlock(), original.HeapBlock());
  EXPECT_STREQ(copies[254].CStr(), "shared heap text");
}

TEST(ByteStringSharing, InlineCopiesNeverTouchTheHeap) {
  TestAllocator allocator;
  const ByteString original("short");
  ByteString copy(original);
  ByteString assigned;
  assigned = copy;
  copy.Append('!');
  EXPECT_STREQ(original.CStr(), "short");
  EXPECT_STREQ(copy.CStr(), "short!");
  EXPECT_STREQ(assigned.CStr(), "short");
  EXPECT_EQ(allocator.Calls(), 0);
}

TEST(ByteStringSharing, ChangingACopyLeavesTheOthersAlone) {
  using Change = std::function<void(ByteString&)>;
  const Change changes[] = {
      [](ByteString& s) { s.Append("++"); },
      [](ByteString& s) { s.TrimLeft(); },
      [](ByteString& s) { s.TrimRight(); },
      [](ByteString& s) { s.MakeLower(); },
      [](ByteString& s) { s.Replace("Text", "x", true); },
      [](ByteString& s) { s.GetBuffer(0)[1] = '#'; },
      [](ByteString& s) { s.GetBuffer(0); s.ReleaseBuffer(3); },
      [](ByteString& s) { s.Format("%d", 5); },
  };
  for (const Change& change : changes) {
    const ByteString original(" Shared Text ");
    ByteString copy(original);
    change(copy);
    EXPECT_STREQ(original.CStr(), " Shared Text ");
    EXPECT_EQ(original.ShareCount(), 1);
    EXPECT_NE(copy.HeapBlock(), original.HeapBlock());
  }
}

TEST(ByteStringSharing, MakeUniqueOfAShortenedSharedStringMovesItInline) {
  ByteString s("          abc");
  s.TrimLeft();  // heap form, length 3
  ByteString copy(s);
  EXPECT_TRUE(copy.MakeUnique());
  EXPECT_TRUE(copy.IsInlineForm());
  EXPECT_STREQ(copy.CStr(), "abc");
  EXPECT_EQ(s.ShareCount(), 1);
  EXPECT_FALSE(s.IsInlineForm());
}

TEST(ByteStringSharing, SelfAssignmentAndMovesKeepTheText) {
  ByteString s("a longer heap text");
  const ByteString& same = s;
  s = same;
  s.Assign(same);
  EXPECT_STREQ(s.CStr(), "a longer heap text");
  EXPECT_EQ(s.ShareCount(), 1);

  ByteString moved(std::move(s));
  EXPECT_STREQ(moved.CStr(), "a longer heap text");
  EXPECT_TRUE(s.IsEmpty());  // a moved-from string is empty
  s = std::move(moved);
  EXPECT_STREQ(s.CStr(), "a longer heap text");
  EXPECT_EQ(s.ShareCount(), 1);

  s.Assign("short");
  EXPECT_TRUE(s.IsInlineForm());
  s.Clear();
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_TRUE(s.IsInlineForm());
}

// ---- growth ------------------------------------------------------------------

TEST(ByteStringGrowth, AppendsResizeToTheExactNewSize) {
  TestAllocator allocator;
  ByteString s("1234567");
  s.Append('8');
  EXPECT_FALSE(s.IsInlineForm());
  EXPECT_EQ(allocator.BlockSize(s), 10u);
  s.Append("9");
  EXPECT_EQ(allocator.BlockSize(s), 11u);
  s.Append("abc", 2);
  EXPECT_EQ(allocator.BlockSize(s), 13u);
  s.Append(ByteString("xyz"));
  EXPECT_EQ(allocator.BlockSize(s), 16u);
  EXPECT_STREQ(s.CStr(), "123456789abxyz");
  EXPECT_EQ(s.Length(), 14);
  EXPECT_EQ(allocator.Allocations(), 1);  // a sole owner's block is resized
  EXPECT_EQ(allocator.Resizes(), 3);
}

TEST(ByteStringGrowth, AppendingToASharedBlockCopiesIntoANewExactBlock) {
  TestAllocator allocator;
  const ByteString original("0123456789");
  ByteString copy(original);
  copy.Append('!');
  EXPECT_EQ(allocator.Allocations(), 2);
  EXPECT_EQ(allocator.Resizes(), 0);
  EXPECT_EQ(allocator.BlockSize(copy), 13u);
  EXPECT_STREQ(copy.CStr(), "0123456789!");
  EXPECT_STREQ(original.CStr(), "0123456789");
  EXPECT_EQ(original.ShareCount(), 1);
}

TEST(ByteStringGrowth, AppendingNothingChangesNothing) {
  ByteString s("abc");
  EXPECT_TRUE(s.Append(nullptr));
  EXPECT_TRUE(s.Append(""));
  EXPECT_TRUE(s.Append("xyz", 0));
  EXPECT_TRUE(s.Append("xyz", -4));
  EXPECT_STREQ(s.CStr(), "abc");
  EXPECT_TRUE(s.IsInlineForm());
}

TEST(ByteStringGrowth, AppendingItsOwnTextWorks) {
  const char* texts[] = {"abc", "abcd", "1234567", "0123456789"};
  for (const char* text : texts) {
    ByteString s(text);
    s.Append(s);
    EXPECT_EQ(std::string(text) + text, s.CStr());

    ByteString tail(text);
    tail.Append(tail.CStr() + 1);
    EXPECT_EQ(std::string(text) + (text + 1), tail.CStr());

    ByteString shared(text);
    const ByteString holder(shared);
    shared.Append(shared.CStr(), shared.Length());
    EXPECT_EQ(std::string(text) + text, shared.CStr());
    EXPECT_STREQ(holder.CStr(), text);
  }
}

TEST(ByteStringBuffer, GetBufferOfSevenKeepsASixByteStringInline) {
  TestAllocator allocator;
  ByteString s("123456");
  char* buffer = s.GetBuffer(7);
  ASSERT_NE(buffer, nullptr);
  EXPECT_TRUE(s.IsInlineForm());
  EXPECT_EQ(s.Length(), 6);
  buffer[6] = '7';
  buffer[7] = '\0';
  s.ReleaseBuffer(-1);
  EXPECT_TRUE(s.IsInlineForm());
  EXPECT_EQ(s.TagByte(), 0);
  EXPECT_EQ(s.Length(), 7);
  EXPECT_STREQ(s.CStr(), "1234567");
  EXPECT_EQ(allocator.Calls(), 0);
}

TEST(ByteStringBuffer, GetBufferOfEightMovesASevenByteStringToATenByteBlock) {
  TestAllocator allocator;
  ByteString s("1234567");
  char* buffer = s.GetBuffer(8);
  ASSERT_NE(buffer, nullptr);
  EXPECT_FALSE(s.IsInlineForm());
  EXPECT_EQ(allocator.BlockSize(s), 10u);
  EXPECT_EQ(s.Length(), 7);
  EXPECT_STREQ(s.CStr(), "1234567");
  buffer[7] = '8';
  buffer[8] = '\0';
  s.ReleaseBuffer();
  EXPECT_STREQ(s.CStr(), "12345678");
  EXPECT_EQ(s.Length(), 8);
}

TEST(ByteStringBuffer, ReleaseBufferTakesAGivenOrMeasuredLength) {
  struct Case {
    const char* text;
    int release;
    const char* result;
  };
  const Case cases[] = {
      {"0123456789", 3, "012"}, {"0123456789", -1, "0123456789"}, {"abc", 1, "a"},
      {"abc", -1, "abc"},       {"0123456789", 0, ""},
  };
  for (const Case& c : cases) {
    ByteString s(c.text);
    const bool wasInline = s.IsInlineForm();
    ASSERT_NE(s.GetBuffer(0), nullptr);
    s.ReleaseBuffer(c.release);
    EXPECT_STREQ(s.CStr(), c.result);
    EXPECT_EQ(s.Length(), static_cast<int>(std::strlen(c.result)));
    EXPECT_EQ(s.IsInlineForm(), wasInline);  // shortening never moves the text
  }
}

TEST(ByteStringBuffer, ReleaseBufferNeverTakesAnInlineStringPastItsTag) {
  for (int release : {-1, 9}) {
    ByteString s("abc");
    char* buffer = s.GetBuffer(7);
    std::memset(buffer, 'x', 8);  // overwrites the terminator and the tag
    s.ReleaseBuffer(release);
    EXPECT_TRUE(s.IsInlineForm());
    EXPECT_EQ(s.Length(), 7);
    EXPECT_STREQ(s.CStr(), "xxxxxxx");
  }
}

// ---- out of memory -------------------------------------------------------------

TEST(ByteStringOutOfMemory, NewStringsComeOutEmpty) {
  ByteString heap("a heap string of some length");
  ByteString holders[254];
  for (ByteString& holder : holders) holder = heap;  // count 255: the next copy is deep
  TestAllocator allocator;
  allocator.SetFailing(true);
  EXPECT_TRUE(ByteString("12345678").IsEmpty());
  EXPECT_TRUE(ByteString("abcdefghij", 9).IsEmpty());
  EXPECT_STREQ(ByteString("1234567").CStr(), "1234567");  // inline needs no memory
  EXPECT_TRUE(ByteString(heap).IsEmpty());
  EXPECT_TRUE(heap.Left(20).IsEmpty());
  EXPECT_TRUE(heap.Mid(2, 20).IsEmpty());
  EXPECT_STREQ(heap.Mid(2, 4).CStr(), "heap");
  EXPECT_TRUE(ByteString::Concat(ByteString("1234567"), '8').IsEmpty());
  EXPECT_TRUE(ByteString::Concat(ByteString("abc"), "defghij").IsEmpty());
  EXPECT_EQ(heap.ShareCount(), 255);
}

TEST(ByteStringOutOfMemory, ChangingOperationsLeaveTheStringAsItWas) {
  struct Case {
    const char* name;
    const char* text;
    bool shared;  // changes must first make a shared block unique
    std::function<void(ByteString&)> change;
  };
  const Case cases[] = {
      {"append over 7", "1234567", false, [](ByteString& s) { EXPECT_FALSE(s.Append('8')); }},
      {"append heap", "0123456789", false, [](ByteString& s) { EXPECT_FALSE(s.Append("x")); }},
      {"append shared", "0123456789", true, [](ByteString& s) { EXPECT_FALSE(s.Append("x")); }},
      {"append self", "0123456789", false, [](ByteString& s) { EXPECT_FALSE(s.Append(s)); }},
      {"get buffer", "0123456789", false, [](ByteString& s) { EXPECT_EQ(s.GetBuffer(100), nullptr); }},
      {"get buffer shared", "0123456789", true, [](ByteString& s) { EXPECT_EQ(s.GetBuffer(0), nullptr); }},
      {"release shared", "0123456789", true, [](ByteString& s) { s.ReleaseBuffer(2); }},
      {"make unique", "0123456789", true, [](ByteString& s) { EXPECT_FALSE(s.MakeUnique()); }},
      {"format", "0123456789", false, [](ByteString& s) { EXPECT_EQ(s.Format("%d", 42), -1); }},
      {"format inline", "abc", false, [](ByteString& s) { EXPECT_EQ(s.Format("%d", 42), -1); }},
      {"trim left", "   Text 0123   ", true, [](ByteString& s) { s.TrimLeft(); }},
      {"trim right", "   Text 0123   ", true, [](ByteString& s) { s.TrimRight(); }},
      {"lower", "   Text 0123   ", true, [](ByteString& s) { s.MakeLower(); }},
      {"replace", "a-b-c-d-e-f-g", false, [](ByteString& s) { EXPECT_FALSE(s.Replace("-", "+", true)); }},
  };
  for (const Case& c : cases) {
    ByteString s(c.text);
    ByteString other;
    if (c.shared) other = s;
    const bool wasInline = s.IsInlineForm();
    TestAllocator allocator;
    allocator.SetFailing(true);
    c.change(s);
    EXPECT_STREQ(s.CStr(), c.text) << c.name;
    EXPECT_EQ(s.Length(), static_cast<int>(std::strlen(c.text))) << c.name;
    EXPECT_EQ(s.IsInlineForm(), wasInline) << c.name;
    EXPECT_EQ(s.ShareCount(), c.shared ? 2 : wasInline ? 0 : 1) << c.name;
  }
}

TEST(ByteStringOutOfMemory, LengthsPastTwentyFourBitsAreRefusedWithoutAllocating) {
  ByteString s("0123456789");
  TestAllocator allocator;
  EXPECT_EQ(s.GetBuffer(ByteString::kMaxLength + 1), nullptr);
  EXPECT_FALSE(s.Append("x", ByteString::kMaxLength));
  EXPECT_STREQ(s.CStr(), "0123456789");
  EXPECT_EQ(allocator.Calls(), 0);
}

}  // namespace
