#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "scan/mediatype.h"
#include "scan_test_support.h"

namespace {

// What a walk does with an extension: the list chosen as the walk chooses it, then matched.
bool WalkMatches(const char* extension, const char* patterns) {
  char list[kPatternListSize];
  ChoosePatternList(patterns, list, sizeof list);
  return MatchesPatternList(extension, list);
}

struct MatchCase {
  const char* extension;
  const char* list;
  bool matches;
};

TEST(MediaType, ComparesTheLoweredPatternWithWholeEntries) {
  const std::string longest(254, 'x');
  const std::string tooLong(255, 'x');
  const std::string longList = "*." + longest;
  const std::string tooLongList = "*." + tooLong;
  const MatchCase cases[] = {
      {"MP3", "*.mp3;*.wma;*.wav", true},      // the pattern is lowered
      {"mp3", "*.mp3;*.wma;*.wav", true},
      {"mp", "*.mp3;*.wma;*.wav", false},      // *.mp is inside *.mp3, followed by 3
      {"wav", "*.mp3;*.wma;*.wav", true},      // at the end of the list
      {"wm", "*.mp3;*.wma;*.wav", false},
      {"", "*.mp3;*.wma;*.wav", false},        // song.: empty extension
      {"", "*.mp3;*.;*.wav", true},            // ... matches only "*." before ';' or the end
      {"", "*.mp3;*.", true},
      {"mp3", "*.MP3", false},                 // the list is not lowered
      {"mp3", "", false},                      // passed but empty
      {"3", "*.mp3", false},                   // the character before is never a boundary...
      {"mp3", "x*.mp3", true},                 // ... nor checked
      {"mp3", "*.mp3x;*.mp3", true},           // searched again after a near miss
      {"tar.gz", "*.tar.gz", true},
      {longest.c_str(), longList.c_str(), true},
      {tooLong.c_str(), tooLongList.c_str(), false},  // does not fit the pattern: no match
      {nullptr, "*.mp3", false},
  };
  for (const MatchCase& c : cases) {
    const std::string label = c.extension ? c.extension : "<null>";
    EXPECT_EQ(WalkMatches(c.extension, c.list), c.matches) << label << " in " << c.list;
    EXPECT_EQ(MatchesPatternList(c.extension, c.list), c.matches) << label << " in " << c.list;
  }
}

TEST(MediaType, NonAsciiLettersAreLoweredByTheCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "needs code page 1252";
  // 0xC4 and 0xE4 are A and a with diaeresis in code page 1252.
  EXPECT_TRUE(WalkMatches("M\xC4", "*.m\xE4"));
  EXPECT_FALSE(WalkMatches("m\xE4", "*.M\xC4"));
}

TEST(MediaType, PassedListIsCutAt1023Characters) {
  // "*.mp3" ends at character 1023 exactly, then the cut leaves "*.mp" ending at 1022.
  const std::string filler(1018, ';');
  EXPECT_TRUE(WalkMatches("mp3", (filler + "*.mp3").c_str()));
  EXPECT_FALSE(WalkMatches("mp3", (filler + ";*.mp3").c_str()));
  EXPECT_TRUE(WalkMatches("mp", (filler + ";*.mp3").c_str()));
}

TEST(MediaType, NullListReadsTheGeneralListOfFormatsIni) {
  FormatsIni ini;
  EXPECT_FALSE(WalkMatches("mp3", nullptr)) << "no formats.ini: nothing is media";

  ini.Write("*.mp3;*.wma;*.wav", "*.jpg");
  EXPECT_TRUE(WalkMatches("MP3", nullptr));
  EXPECT_FALSE(WalkMatches("mp", nullptr));
  EXPECT_TRUE(WalkMatches("wav", nullptr));
  EXPECT_FALSE(WalkMatches("", nullptr));
  EXPECT_FALSE(WalkMatches("jpg", nullptr)) << "the image list is not the general list";
  // A passed list, even an empty one, is used instead of formats.ini.
  EXPECT_FALSE(WalkMatches("mp3", ""));

  ini.Write("*.MP3;*.WAV", "");
  EXPECT_FALSE(WalkMatches("mp3", nullptr)) << "a list in upper case matches nothing";
  EXPECT_FALSE(WalkMatches("MP3", nullptr));

  // Read afresh at every call without a list.
  ini.Write("*.flac", "");
  EXPECT_TRUE(WalkMatches("flac", nullptr));
  char list[kPatternListSize];
  ReadGeneralPatternList(list, sizeof list);
  EXPECT_STREQ(list, "*.flac");
}

TEST(FormatsIniPath, IsDataCacheFormatsBesideTheExecutable) {
  char path[260] = {};
  GetFormatsIniPath(path, sizeof path);
  EXPECT_EQ(path, FormatsIni::Path());

  // Too small a destination is left untouched.
  char small[8] = "keep";
  GetFormatsIniPath(small, sizeof small);
  EXPECT_STREQ(small, "keep");
  char exact[260] = "keep";
  GetFormatsIniPath(exact, FormatsIni::Path().size());
  EXPECT_STREQ(exact, "keep");
  GetFormatsIniPath(exact, FormatsIni::Path().size() + 1);
  EXPECT_EQ(exact, FormatsIni::Path());
}

TEST(ImageExtensions, AreReadOnceAndServedFromMemory) {
  FormatsIni ini;
  ByteString list("stale");
  GetImageExtensions(list);
  EXPECT_STREQ(list.CStr(), "") << "no formats.ini yet: empty, and looked for again next time";

  ini.Write("*.mp3", "*.jpg;*.png");
  GetImageExtensions(list);
  EXPECT_STREQ(list.CStr(), "*.jpg;*.png");

  ini.Write("*.mp3", "*.gif");
  GetImageExtensions(list);
  EXPECT_STREQ(list.CStr(), "*.jpg;*.png") << "cached for the life of the module";
  ini.Remove();
  GetImageExtensions(list);
  EXPECT_STREQ(list.CStr(), "*.jpg;*.png");
}

TEST(ImageExtensions, EmptyValueIsCachedAsAnEmptyList) {
  FormatsIni ini;
  ini.WriteText("[searchpatterns]\r\next1=*.mp3\r\n");
  ByteString list;
  GetImageExtensions(list);
  EXPECT_STREQ(list.CStr(), "");
  ini.Write("*.mp3", "*.jpg");
  GetImageExtensions(list);
  EXPECT_STREQ(list.CStr(), "") << "the empty list was cached";
  EXPECT_FALSE(WalkMatches("jpg", list.CStr())) << "an empty image list matches nothing";
}

TEST(ImageExtensions, LongValueIsCutAt259Characters) {
  FormatsIni ini;
  // 255 characters, then "*.jpeg": the read keeps 259, so the last entry becomes "*.jp".
  const std::string value = "*.png" + std::string(250, ';') + "*.jpeg";
  ini.Write("*.mp3", value);
  ByteString list;
  GetImageExtensions(list);
  ASSERT_EQ(list.Length(), 259);
  EXPECT_TRUE(WalkMatches("jp", list.CStr())) << "the cut entry matches its shortened extension";
  EXPECT_FALSE(WalkMatches("jpeg", list.CStr()));
  EXPECT_TRUE(WalkMatches("png", list.CStr()));
}

}  // namespace
