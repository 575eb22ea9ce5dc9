#include <windows.h>

#include <gtest/gtest.h>

#include "shellfolders/stringheapmanager.h"
#include "shellfolders/widestring.h"

namespace {

std::size_t BlockBytes(const WideString& s) {
  return HeapSize(GetProcessHeap(), 0, const_cast<wchar_t*>(s.CStr()));
}

TEST(WideString, EmptyStringHoldsNoBlockAndReadsAsEmptyText) {
  const long before = LiveStringBlocks();
  WideString empty;
  WideString fromNull(nullptr);
  WideString fromEmpty(L"");
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_STREQ(empty.CStr(), L"");
  EXPECT_STREQ(fromNull.CStr(), L"");
  EXPECT_EQ(fromEmpty.Length(), 0);
  EXPECT_EQ(LiveStringBlocks(), before);
}

TEST(WideString, EachTextOwnsAnExactBlockOfTheProcessHeap) {
  const long before = LiveStringBlocks();
  {
    const WideString text(L"C:\\Pictures");
    EXPECT_EQ(text.Length(), 11);
    EXPECT_EQ(BlockBytes(text), 12 * sizeof(wchar_t));
    const WideString copy(text);
    EXPECT_NE(copy.CStr(), text.CStr());
    EXPECT_STREQ(copy.CStr(), L"C:\\Pictures");
    EXPECT_EQ(LiveStringBlocks(), before + 2);
  }
  EXPECT_EQ(LiveStringBlocks(), before);
}

TEST(WideString, MoveSwapAndAssignKeepOneOwnerPerBlock) {
  const long before = LiveStringBlocks();
  {
    WideString a(L"first");
    const wchar_t* block = a.CStr();
    WideString b(std::move(a));
    EXPECT_EQ(b.CStr(), block);
    EXPECT_TRUE(a.IsEmpty());
    WideString c(L"second");
    c = std::move(b);
    EXPECT_STREQ(c.CStr(), L"first");
    c.Swap(a);
    EXPECT_STREQ(a.CStr(), L"first");
    EXPECT_TRUE(c.IsEmpty());
    a = a;  // self-assignment keeps the text
    EXPECT_STREQ(a.CStr(), L"first");
    EXPECT_EQ(LiveStringBlocks(), before + 1);
  }
  EXPECT_EQ(LiveStringBlocks(), before);
}

TEST(WideString, AssignFromItsOwnTextCopiesBeforeReleasing) {
  WideString s(L"C:\\Users\\Pictures");
  ASSERT_TRUE(s.Assign(s.CStr() + 3));
  EXPECT_STREQ(s.CStr(), L"Users\\Pictures");
  ASSERT_TRUE(s.Assign(s.CStr(), 5));
  EXPECT_STREQ(s.CStr(), L"Users");
}

TEST(WideString, OutOfRangeLengthsAreRefusedAndLeaveTheText) {
  WideString s(L"kept");
  EXPECT_FALSE(s.Assign(L"x", -1));
  EXPECT_FALSE(s.Assign(L"x", WideString::kMaxLength + 1));
  EXPECT_FALSE(s.Assign(nullptr, 3));
  EXPECT_EQ(s.GetBuffer(-1), nullptr);
  EXPECT_EQ(s.GetBuffer(WideString::kMaxLength + 1), nullptr);
  EXPECT_STREQ(s.CStr(), L"kept");
}

TEST(WideString, BufferIsZeroFilledAndReleasedAtTheGivenOrMeasuredLength) {
  WideString s(L"old");
  wchar_t* buffer = s.GetBuffer(8);
  ASSERT_NE(buffer, nullptr);
  for (int i = 0; i <= 8; ++i) EXPECT_EQ(buffer[i], L'\0');
  buffer[0] = L'a';
  buffer[1] = L'b';
  s.ReleaseBuffer();
  EXPECT_EQ(s.Length(), 2);
  buffer = s.GetBuffer(4);
  for (int i = 0; i < 4; ++i) buffer[i] = L'z';
  s.ReleaseBuffer(40);  // clamped to the room asked for
  EXPECT_STREQ(s.CStr(), L"zzzz");
  s.GetBuffer(4)[0] = L'q';
  s.ReleaseBuffer(0);
  EXPECT_TRUE(s.IsEmpty());
}

TEST(WideStringConversion, AsciiRoundTripsAndEmptyOrNullGivesEmpty) {
  WideString wide(L"stale");
  ASSERT_TRUE(AnsiToWide("C:\\My Pictures", wide));
  EXPECT_STREQ(wide.CStr(), L"C:\\My Pictures");
  ByteString ansi("stale");
  ASSERT_TRUE(WideToAnsi(wide.CStr(), ansi));
  EXPECT_STREQ(ansi.CStr(), "C:\\My Pictures");

  ASSERT_TRUE(AnsiToWide(nullptr, wide));
  EXPECT_TRUE(wide.IsEmpty());
  ASSERT_TRUE(WideToAnsi(L"", ansi));
  EXPECT_TRUE(ansi.IsEmpty());
}

TEST(WideStringConversion, GoesThroughTheAnsiCodePageWithItsDefaultCharacter) {
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << GetACP();
  WideString wide;
  ASSERT_TRUE(AnsiToWide("Caf\xE9", wide));
  EXPECT_STREQ(wide.CStr(), L"Caf\u00E9");
  ByteString ansi;
  ASSERT_TRUE(WideToAnsi(L"\u4E2D\u00E9", ansi));
  EXPECT_STREQ(ansi.CStr(), "?\xE9");
}

TEST(StringHeapManager, FirstInstanceAliveIsTheModulesAndBlocksOutliveIt) {
  ASSERT_EQ(GetModuleStringHeapManager(), nullptr) << "test programs define no module instance";
  WideString before(L"allocated without a manager");
  {
    const StringHeapManager first;
    const StringHeapManager second;
    EXPECT_EQ(GetModuleStringHeapManager(), &first);
    EXPECT_EQ(first.Heap(), GetProcessHeap());
    before.Clear();  // released through the manager
    before.Assign(L"allocated through the manager");
  }
  EXPECT_EQ(GetModuleStringHeapManager(), nullptr);
  EXPECT_STREQ(before.CStr(), L"allocated through the manager");
  before.Clear();  // released after the manager is gone
  const StringHeapManager later;
  EXPECT_EQ(GetModuleStringHeapManager(), &later);
}

}  // namespace
