#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "listingfault.h"
#include "scan/scanner.h"
#include "scan_test_support.h"

namespace {

constexpr char kMedia[] = "*.mp3;*.wma;*.";

class ScanFolderTest : public NorvaneRegistryTest {
 protected:
  void TearDown() override {
    listing_fault_.reset();
    NorvaneRegistryTest::TearDown();
  }

  // Scans the folder (full path without trailing backslash) the way UpdateScanLog splits it,
  // with exempt_ as the exempt folder; returns the result and leaves the output's bytes in text_.
  bool Scan(const std::string& folder, const char* patterns = kMedia) {
    const std::string out = temp_ / "out.log";
    FILE* file = std::fopen(out.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    const bool result = ScanFolder(folder.substr(0, 2).c_str(), folder.substr(2).c_str(), file, patterns,
                                   exempt_.c_str(), nullptr);
    std::fclose(file);
    text_ = ReadBytes(out);
    return result;
  }

  // The lines expected for these paths below the library, CR LF each.
  std::string Lines(const std::vector<std::string>& relative) const {
    std::string text;
    for (const std::string& path : relative) text += Library() + "\\" + path + "\r\n";
    return text;
  }

  std::string Library() const { return temp_ / "Music"; }
  void Media(const std::string& relative) const { Touch(Library() + "\\" + relative); }

  // The listings of this program, which links the scanner, made to fail as a test asks.
  ListingFault& Listings() {
    if (!listing_fault_) listing_fault_ = std::make_unique<ListingFault>(GetModuleHandleA(nullptr));
    return *listing_fault_;
  }

  std::unique_ptr<ListingFault> listing_fault_;
  TempFolder temp_;
  std::string text_;
  std::string exempt_;
};

TEST_F(ScanFolderTest, WritesEachDirectorysFilesThenItsSubdirectoriesDepthFirst) {
  for (const char* name : {"b.mp3", "a.mp3", "zz.wma", "c.txt", "Alpha\\x.mp3", "Alpha\\Deep\\d.mp3",
                           "Alpha\\y.mp3", "Zeta\\z.mp3", "Alpha\\Deep\\More\\m.mp3"}) {
    Media(name);
  }
  EXPECT_TRUE(Scan(Library()));
  EXPECT_EQ(text_, Lines({"a.mp3", "b.mp3", "zz.wma", "Alpha\\x.mp3", "Alpha\\y.mp3", "Alpha\\Deep\\d.mp3",
                          "Alpha\\Deep\\More\\m.mp3", "Zeta\\z.mp3"}));
}

TEST_F(ScanFolderTest, ExtensionIsTheTextAfterTheLastDot) {
  for (const char* name : {"README", ".mp3", "song.", "Loud.MP3", "a.b.mp3", "mp3", "x.mp3.txt", "tape.mp"}) {
    Media(name);
  }
  // A hidden, read-only file is a file like any other.
  Media("hidden.wma");
  SetFileAttributesA((Library() + "\\hidden.wma").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(Scan(Library()));
  EXPECT_EQ(text_, Lines({".mp3", "a.b.mp3", "hidden.wma", "Loud.MP3", "song."}));
  // Without "*." in the list the empty extension of song. matches nothing.
  EXPECT_TRUE(Scan(Library(), "*.mp3"));
  EXPECT_EQ(text_, Lines({".mp3", "a.b.mp3", "Loud.MP3"}));
}

TEST_F(ScanFolderTest, EmptyListOrEmptyFolderGivesNoLines) {
  MakeFolder(Library() + "\\Empty");
  Media("Empty2\\a.mp3");
  EXPECT_TRUE(Scan(Library(), ""));
  EXPECT_EQ(text_, "");
  EXPECT_TRUE(Scan(Library() + "\\Empty"));
  EXPECT_EQ(text_, "");
}

TEST_F(ScanFolderTest, EmptySubdirectoryDoesNotStopTheWalk) {
  Media("A\\a.mp3");
  MakeFolder(Library() + "\\B");
  Media("C\\c.mp3");
  EXPECT_TRUE(Scan(Library()));
  EXPECT_EQ(text_, Lines({"A\\a.mp3", "C\\c.mp3"}));
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}
std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

TEST_F(ScanFolderTest, ExemptFolderIsSkippedWithItsSubtreeInAnyCase) {
  Media("a.mp3");
  Media("Private\\p.mp3");
  Media("Private\\Sub\\s.mp3");
  Media("Public\\q.mp3");
  Media("Privateer\\r.mp3");
  const std::string exempt = Library() + "\\Private";
  for (const std::string& value : {exempt, exempt + "\\", Lower(exempt), Upper(exempt) + "\\"}) {
    exempt_ = value;
    EXPECT_TRUE(Scan(Library())) << value;
    EXPECT_EQ(text_, Lines({"a.mp3", "Privateer\\r.mp3", "Public\\q.mp3"})) << value;
  }
}

TEST_F(ScanFolderTest, ExemptWatchedFolderGivesAnEmptyLogAndTrue) {
  Media("a.mp3");
  Media("Sub\\b.mp3");
  for (const std::string& value : {Library(), Lower(Library()) + "\\"}) {
    exempt_ = value;
    EXPECT_TRUE(Scan(Library())) << value;
    EXPECT_EQ(text_, "") << value;
  }
}

TEST_F(ScanFolderTest, NullOrEmptyExemptFolderExemptsNothing) {
  Media("a.mp3");
  Media("Private\\p.mp3");
  exempt_.clear();
  EXPECT_TRUE(Scan(Library()));
  EXPECT_EQ(text_, Lines({"a.mp3", "Private\\p.mp3"}));
  const std::string out = temp_ / "out.log";
  FILE* file = std::fopen(out.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(ScanFolder(Library().substr(0, 2).c_str(), Library().substr(2).c_str(), file, kMedia, nullptr, nullptr));
  std::fclose(file);
  EXPECT_EQ(ReadBytes(out), Lines({"a.mp3", "Private\\p.mp3"}));
}

TEST_F(ScanFolderTest, ReadsNoSetting) {
  Media("a.mp3");
  SetExemptWatch(Library());
  ASSERT_TRUE(Scan(Library()));
  EXPECT_EQ(text_, Lines({"a.mp3"})) << "the exempt folder is the caller's, not the registry's";
  DeleteNorvaneKeys();
  ASSERT_TRUE(Scan(Library()));
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Norvane\\Tamblin\\1.0\\Preferences", 0, KEY_READ, &key),
            ERROR_SUCCESS)
      << "nor is any key created";
  if (key) RegCloseKey(key);
}

TEST_F(ScanFolderTest, UnlistableSubdirectoryIsPassedOverButTheAnswerIsFalse) {
  for (const char* name : {"Top\\S1\\1.mp3", "Top\\S2\\2.mp3", "Top\\S2\\Inner\\i.mp3", "Top\\S3\\3.mp3",
                           "Top\\S4\\4.mp3", "Top\\S5\\5.mp3", "Top\\t.mp3", "Z\\z.mp3"}) {
    Media(name);
  }
  Listings().FailListing(Library() + "\\Top\\S2");
  EXPECT_FALSE(Scan(Library()));
  EXPECT_EQ(text_, Lines({"Top\\t.mp3", "Top\\S1\\1.mp3", "Top\\S3\\3.mp3", "Top\\S4\\4.mp3", "Top\\S5\\5.mp3",
                          "Z\\z.mp3"}));

  Listings().FailListing(Library());
  EXPECT_FALSE(Scan(Library())) << "the watched folder itself cannot be listed";
  EXPECT_EQ(text_, "");
}

TEST_F(ScanFolderTest, SettingsAreTakenOnceAtTheStartOfAScan) {
  FormatsIni ini;
  ini.Write("*.mp3", "");
  Media("a.mp3");
  Media("b.wma");
  Media("Sub\\c.mp3");
  // Of the same length, so that the caller's text changes in place.
  exempt_ = Library() + "\\Suz";
  // While the first directory is being listed: the exempt folder's text in the caller's hands
  // and formats.ini change.
  bool changed = false;
  Listings().BeforeEachListing([&](const std::string&) {
    if (changed) return;
    changed = true;
    exempt_.replace(0, exempt_.size(), Library() + "\\Sub");
    FormatsIni::WriteText("[searchpatterns]\r\next1=*.wma\r\n");
  });
  EXPECT_TRUE(Scan(Library(), nullptr));
  EXPECT_TRUE(changed);
  EXPECT_EQ(text_, Lines({"a.mp3", "Sub\\c.mp3"})) << "the exempt folder and the list of the scan's start";
  listing_fault_.reset();
  EXPECT_TRUE(Scan(Library(), nullptr));
  EXPECT_EQ(text_, Lines({"b.wma"})) << "the next scan reads them again";
}

TEST_F(ScanFolderTest, MissingFolderAnswersFalse) {
  EXPECT_FALSE(Scan(Library() + "\\Nowhere"));
  EXPECT_EQ(text_, "");
}

TEST_F(ScanFolderTest, DirectoryPastThePathLimitIsAListingFailure) {
  // current (drive, directory, backslash) may be at most 258 characters, so that the search
  // text with its "*" stays within the 259 the ANSI functions take.
  const std::string base = Library() + "\\Deep";
  const std::size_t room = 258 - (base.size() + 1) - 1;  // the name that makes current 258
  ASSERT_GT(room, 10u);
  const std::string fits = base + "\\" + std::string(room, 'f');
  const std::string tooLong = base + "\\" + std::string(room + 1, 'g');
  ASSERT_EQ(fits.size() + 1, 258u);
  MakeDeepFolder(fits);
  MakeDeepFolder(tooLong);
  TouchDeep(fits + "\\a.mp3");
  TouchDeep(tooLong + "\\b.mp3");
  Media("Zed\\z.mp3");
  EXPECT_FALSE(Scan(Library()));
  EXPECT_EQ(text_, fits + "\\a.mp3\r\n" + Lines({"Zed\\z.mp3"}));

  // Without the directory that is too deep, the walk is complete.
  DeleteTree(tooLong);
  EXPECT_TRUE(Scan(Library()));
}

}  // namespace
