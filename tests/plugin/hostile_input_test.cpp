// The plug-in driven with hostile settings and file systems, the way a host would meet them:
// registry values of every type and of sizes around each buffer, a formats.ini of huge values or
// binary garbage, megabyte event strings, a folder tree that loops through links, names with a
// trail byte 0x5C under code page 932, and names the code page cannot spell. Every refresh must
// end, overrun nothing, and write nothing but where a fitting setting says.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "directorylink.h"
#include "plugindll.h"
#include "testfiles.h"
#include "testregistry.h"

namespace {

// Every file below folder, by its path relative to folder, found in UTF-16 and not through links.
void CollectFiles(const std::wstring& folder, const std::wstring& relative, std::vector<std::wstring>& files) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CollectFiles(folder + L"\\" + name, relative + name + L"\\", files);
      }
    } else {
      files.push_back(relative + name);
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

std::vector<std::wstring> FilesBelow(const std::string& folder) {
  std::vector<std::wstring> files;
  CollectFiles(Widen(folder), L"", files);
  std::sort(files.begin(), files.end());
  return files;
}

class HostileInputTest : public PluginHostTest {
 protected:
  // One numbered folder with its log folder.
  void Configure(const std::string& folder, const std::string& logs, DWORD dirty) {
    SetRegString(kWatchFolders, "LogPath", logs);
    SetRegDword(kWatchFolders, "NumFolders", 1);
    SetRegString(kFolder0, "Folder", folder);
    SetRegDword(kFolder0, "Dirty", dirty);
  }
};

// ---- registry values of every type and of sizes around each buffer ---------------------------

// How a value's bytes are made up to the size under test.
enum class Fill {
  kText,     // the setting's text, lengthened with characters to fill the size
  kPadding,  // the setting's text, its terminator, then NUL bytes to fill the size
};

// The value's bytes: as a REG_SZ would hold them, two terminators for REG_MULTI_SZ; the same
// bytes under the other types.
std::string ValueBytes(DWORD type, std::size_t size, Fill fill, const std::string& text) {
  const std::size_t terminators = type == REG_MULTI_SZ ? 2 : 1;
  std::string bytes = text;
  if (fill == Fill::kText) bytes.resize(size - terminators, 'p');
  bytes.resize(size, '\0');
  return bytes;
}

struct ValueUnderTest {
  const char* name;
  DWORD buffer;  // the reading buffer; "LogPath" is read in 512 bytes by refreshes, 260 by purges
};

const ValueUnderTest kValues[] = {{"LogPath", 512}, {"Folder", 512}, {"ExemptWatch", 260}};
const DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_QWORD, REG_NONE};
const std::size_t kSizes[] = {259, 260, 261, 511, 512, 513, 519, 520, 521};

class RegistryValues : public HostileInputTest,
                       public ::testing::WithParamInterface<std::tuple<int, DWORD>> {};

// For each size and fill: a tree of its own, the value written, a timer (and for "LogPath" a
// purge), then every file of the test's folder compared with what the setting allows. A value
// fits when it is a REG_SZ whose text, terminator included, the read can take whole: up to the
// buffer plus one byte when NULs fill it out. A text that fills the size is a path too long
// for any file, so then nothing at all may be written.
TEST_P(RegistryValues, RefreshEndsAndWritesOnlyWhereAFittingValueSays) {
  const ValueUnderTest& value = kValues[std::get<0>(GetParam())];
  const DWORD type = std::get<1>(GetParam());
  int round = 0;
  for (const std::size_t size : kSizes) {
    for (const Fill fill : {Fill::kText, Fill::kPadding}) {
      SCOPED_TRACE(std::to_string(size) + (fill == Fill::kText ? " bytes of text" : " bytes padded"));
      RegDeleteTreeA(HKEY_CURRENT_USER, kWatchFolders.c_str());
      RegDeleteTreeA(HKEY_CURRENT_USER, kPreferences.c_str());
      const std::string root = Temp("r" + std::to_string(++round));
      const std::string music = root + "\\music";
      const std::string logs = root + "\\logs\\";
      CreateDirectoryA(root.c_str(), nullptr);
      CreateDirectoryA(music.c_str(), nullptr);
      CreateDirectoryA((music + "\\Private").c_str(), nullptr);
      WriteBytes(music + "\\a.mp3", "data");
      WriteBytes(music + "\\notes.txt", "data");
      WriteBytes(music + "\\Private\\p.mp3", "data");
      const std::vector<std::wstring> tree = FilesBelow(root);
      Configure(music, logs, 1);

      const std::string name = value.name;
      const std::string text = name == "LogPath" ? logs : name == "Folder" ? music : music + "\\Private";
      const std::string bytes = ValueBytes(type, size, fill, text);
      const std::string subkey = name == "Folder" ? kFolder0 : name == "LogPath" ? kWatchFolders : kPreferences;
      SetRegBytes(subkey, value.name, type, bytes.data(), static_cast<DWORD>(bytes.size()));
      const bool fits = type == REG_SZ && fill == Fill::kPadding && size <= value.buffer + 1;

      Send("WatchFolders_Timer");
      if (name == "LogPath") Send("Purge:" + music);

      std::vector<std::wstring> expected = tree;
      const std::wstring stem = Widen("logs\\" + ScanLogStem(music));
      const std::string lines = music + "\\a.mp3\r\n" + music + "\\Private\\p.mp3\r\n";
      if (name == "LogPath") {
        if (fits) {
          expected.push_back(stem + L"scan.log");
          expected.push_back(stem + L"scan.idx");
        }
        // The purge reads it into 260 bytes: only the shortest sizes still fit there.
        const bool purgeFits = fits && size <= 261;
        if (purgeFits) {
          expected.push_back(L"logs\\fldrscan2.out");
          expected.push_back(stem + L"scan2.log");
          EXPECT_EQ("", ReadBytes(logs + ScanLogStem(music) + "scan.log"));
          EXPECT_EQ(lines, ReadBytes(logs + ScanLogStem(music) + "scan2.log"));
        } else if (fits) {
          EXPECT_EQ(lines, ReadBytes(logs + ScanLogStem(music) + "scan.log"));
        }
        // A setting given but unusable keeps the folder waiting, and its logs out of the
        // current directory.
        if (!fits && fill == Fill::kPadding) {
          EXPECT_EQ(1, GetRegDword(kFolder0, "Dirty"));
        }
      } else if (name == "Folder") {
        if (fits) {
          expected.push_back(stem + L"scan.log");
          expected.push_back(stem + L"scan.idx");
          EXPECT_EQ(lines, ReadBytes(logs + ScanLogStem(music) + "scan.log"));
          EXPECT_EQ(0, GetRegDword(kFolder0, "Dirty"));
        } else if (fill == Fill::kPadding) {
          EXPECT_EQ(1, GetRegDword(kFolder0, "Dirty")) << "an unusable folder is not a scanned one";
        }
      } else {
        expected.push_back(stem + L"scan.log");
        expected.push_back(stem + L"scan.idx");
        EXPECT_EQ(fits ? music + "\\a.mp3\r\n" : lines, ReadBytes(logs + ScanLogStem(music) + "scan.log"));
      }
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(expected, FilesBelow(root));
      EXPECT_TRUE(FilesBelow(cwd_).empty());
    }
  }
}

std::string ValueAndTypeName(const ::testing::TestParamInfo<std::tuple<int, DWORD>>& info) {
  static const char* const kTypeNames[] = {"None", "Sz", "ExpandSz", "Binary", "Dword", "DwordBigEndian",
                                           "Link", "MultiSz", "ResourceList", "FullResourceDescriptor",
                                           "ResourceRequirementsList", "Qword"};
  return std::string(kValues[std::get<0>(info.param)].name) + "As" + kTypeNames[std::get<1>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(EveryTypeAndSize, RegistryValues,
                         ::testing::Combine(::testing::Values(0, 1, 2), ::testing::ValuesIn(kTypes)),
                         ValueAndTypeName);

// ---- formats.ini with huge values or binary garbage ------------------------------------------

// Bytes of every value from a fixed seed, without '*' (so no pattern can arise from them) and
// without line ends.
std::string Garbage(std::size_t size, unsigned seed) {
  std::string bytes;
  bytes.reserve(size);
  while (bytes.size() < size) {
    seed = seed * 1103515245u + 12345u;
    const char byte = static_cast<char>(seed >> 16);
    if (byte != '*' && byte != '\r' && byte != '\n') bytes += byte;
  }
  return bytes;
}

std::string Repeat(const std::string& text, std::size_t count) {
  std::string result;
  for (std::size_t i = 0; i < count; ++i) result += text;
  return result;
}

struct FormatsCase {
  const char* label;
  std::string contents;
  const char* media;     // what the general list must take, and nothing else
  const char* pictures;  // what the image list must take, and nothing else
};

// Files in both folders; each case names the few it lists.
const char* const kCandidates[] = {"a.mp3", "b.wma", "c.zzz", "d.aaaa", "e.txt", "f.jpg", "g.png", "README"};

const FormatsCase kFormatsCases[] = {
    // 10,000 characters each: "*.mp3", then entries past the 1023 (general) and 259 (image)
    // characters that are read, and one extension that runs beyond them all.
    {"TenThousandCharacterValues",
     "[searchpatterns]\r\next1=*.mp3;" + Repeat("*.zzz;", 300) + "*.wma;" + "*." + std::string(8000, 'a') +
         "\r\n[image]\r\nimageext=*.jpg;" + Repeat("*.zzz;", 100) + "*.png;" + std::string(9000, 'j') + "\r\n",
     "a.mp3 c.zzz", "c.zzz f.jpg"},
    {"BinaryGarbage", Garbage(65536, 7), "", ""},
    {"Utf16MarkThenGarbage", "\xFF\xFE" + Garbage(4096, 11), "", ""},
    // A real header, then a value that runs into garbage with NULs and no line end.
    {"ValueRunningIntoGarbage",
     "[image]\r\nimageext=*.png;" + Garbage(3000, 3) + "\r\n[searchpatterns]\r\next1=*.mp3;" + Garbage(20000, 5),
     "a.mp3", "g.png"},
};

class HostileFormats : public HostileInputTest, public ::testing::WithParamInterface<FormatsCase> {
 protected:
  std::string FormatsContents() const override { return GetParam().contents; }
};

std::string ExpectedLines(const std::string& folder, const std::string& names) {
  std::string lines;
  std::size_t start = 0;
  while (start < names.size()) {
    std::size_t end = names.find(' ', start);
    if (end == std::string::npos) end = names.size();
    lines += folder + "\\" + names.substr(start, end - start) + "\r\n";
    start = end + 1;
  }
  return lines;
}

TEST_P(HostileFormats, RefreshEndsAndListsOnlyWhatTheReadablePatternsName) {
  const std::string music = Temp("music");
  const std::string logs = Temp("logs\\");
  CreateDirectoryA(music.c_str(), nullptr);
  for (const char* name : kCandidates) {
    WriteBytes(music + "\\" + name, "data");
    WriteBytes(pictures_ + "\\" + name, "data");
  }
  Configure(music, logs, 0);
  Send("WatchFolders_InitLogs");
  EXPECT_EQ(ExpectedLines(music, GetParam().media), ReadBytes(logs + ScanLogStem(music) + "scan.log"));
  EXPECT_EQ(ExpectedLines(pictures_, GetParam().pictures), ReadBytes(logs + ScanLogStem(pictures_) + "scan.log"));
  EXPECT_TRUE(FilesBelow(cwd_).empty());
}

INSTANTIATE_TEST_SUITE_P(Table, HostileFormats, ::testing::ValuesIn(kFormatsCases),
                         [](const ::testing::TestParamInfo<FormatsCase>& param) { return param.param.label; });

// ---- event strings of a megabyte ---------------------------------------------------------------

TEST_F(HostileInputTest, MegabyteEventsReturnZeroAndWriteNothing) {
  const std::string music = Temp("music");
  const std::string logs = Temp("logs\\");
  CreateDirectoryA(music.c_str(), nullptr);
  WriteBytes(music + "\\a.mp3", "data");
  // A folder waiting for the timer: any refresh or purge started by mistake would show.
  Configure(music, logs, 1);
  const std::size_t kMegabyte = 1 << 20;
  const std::string events[] = {
      std::string(kMegabyte, 'A'),
      "WatchFolder" + std::string(kMegabyte, 'x'),
      "WatchFolders_Timer" + std::string(kMegabyte, ' '),
      "Purge:" + music + "\\" + std::string(kMegabyte, 'x'),
      "Purge:" + std::string(kMegabyte, '\\'),
  };
  for (const std::string& event : events) Send(event);

  EXPECT_FALSE(PathExists(logs));
  EXPECT_TRUE(FilesBelow(cwd_).empty());
  EXPECT_EQ(1, GetRegDword(kFolder0, "Dirty"));
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kWatchFolders.c_str(), 0, KEY_READ, &key));
  DWORD subkeys = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr);
  RegCloseKey(key);
  EXPECT_EQ(1u, subkeys) << "no notice may have created a key";
}

// ---- a folder tree that loops through links ----------------------------------------------------

TEST_F(HostileInputTest, LinkLoopsEndTheWalkAndEveryFileOutsideThemIsListedOnce) {
  const std::string music = Temp("music");
  const std::string logs = Temp("logs\\");
  for (const char* folder : {"", "\\sub", "\\z"}) CreateDirectoryA((music + folder).c_str(), nullptr);
  for (const char* file : {"\\a.mp3", "\\sub\\b.mp3", "\\z\\c.mp3"}) WriteBytes(music + file, "data");
  // sub\up leads back to the watched folder, z\self to itself: followed, each repeats the tree
  // below it until the path limit, and both together multiply it.
  const DirectoryLink up(music + "\\sub\\up", "..");
  const DirectoryLink self(music + "\\z\\self", ".");
  if (!up.Made() || !self.Made()) GTEST_SKIP() << "no Linux symbolic links from this test";
  Configure(music, logs, 0);
  Send("WatchFolders_InitLogs");
  EXPECT_EQ(music + "\\a.mp3\r\n" + music + "\\sub\\b.mp3\r\n" + music + "\\z\\c.mp3\r\n",
            ReadBytes(logs + ScanLogStem(music) + "scan.log"));

  // The same through the timer, with one file added outside the loops.
  WriteBytes(music + "\\sub\\d.mp3", "data");
  SetRegDword(kFolder0, "Dirty", 1);
  Send("WatchFolders_Timer");
  EXPECT_EQ(music + "\\sub\\d.mp3\r\n", ReadBytes(logs + "fldrscan.out"));
}

TEST_F(HostileInputTest, LinkToAnotherPlaceIsStillWalked) {
  const std::string music = Temp("music");
  const std::string elsewhere = Temp("elsewhere");
  const std::string logs = Temp("logs\\");
  CreateDirectoryA(music.c_str(), nullptr);
  CreateDirectoryA(elsewhere.c_str(), nullptr);
  WriteBytes(elsewhere + "\\e.mp3", "data");
  const DirectoryLink linked(music + "\\linked", "../elsewhere");
  if (!linked.Made()) GTEST_SKIP() << "no Linux symbolic links from this test";
  Configure(music, logs, 0);
  Send("WatchFolders_InitLogs");
  EXPECT_EQ(music + "\\linked\\e.mp3\r\n", ReadBytes(logs + ScanLogStem(music) + "scan.log"));
}

// ---- names the code page cannot spell ----------------------------------------------------------

bool WriteFileWide(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  return ok;
}

// The scan log's lines, line ends dropped.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

TEST_F(HostileInputTest, NameTheCodePageCannotSpellIsListedByAPathThatOpensIt) {
  if (GetACP() != 1252) GTEST_SKIP() << "the names are chosen for code page 1252";
  const std::string music = Temp("music");
  const std::string logs = Temp("logs\\");
  const std::wstring wide_music = Widen(music);
  CreateDirectoryA(music.c_str(), nullptr);
  CreateDirectoryW((wide_music + L"\\\x0416dir").c_str(), nullptr);
  // Each file holds its own text, so a line that opens another file shows.
  struct File {
    const wchar_t* name;
    const char* contents;
  };
  const File files[] = {
      {L"\\\x0416song.mp3", "zhe"},         // no spelling at all: '?' in the ANSI listing
      {L"\\Dvo\x0159\x00E1k.mp3", "caron"},  // a look-alike spelling, "Dvorak.mp3" in the ANSI listing
      {L"\\Dvorak.mp3", "plain"},            // ... which is this other file
      {L"\\\x0416dir\\in.mp3", "inside"},    // below a directory with no spelling
      {L"\\\x0416track.mp3x", "not media"},  // its short name's extension would be MP3
  };
  for (const File& file : files) ASSERT_TRUE(WriteFileWide(wide_music + file.name, file.contents));
  Configure(music, logs, 0);
  Send("WatchFolders_InitLogs");

  std::vector<std::string> opened;
  for (const std::string& line : Lines(ReadBytes(logs + ScanLogStem(music) + "scan.log"))) {
    EXPECT_EQ(std::string::npos, line.find('?')) << line;
    opened.push_back(ReadBytes(line));
  }
  std::sort(opened.begin(), opened.end());
  EXPECT_EQ((std::vector<std::string>{"caron", "inside", "plain", "zhe"}), opened)
      << "each media file once, each line opening the file it stands for";
}

// ---- double-byte names whose trail byte is a backslash (code page 932) -------------------------

// "\x83\x5C" and "\x95\x5C" are two characters of code page 932 whose second byte is 0x5C.
const char kSo[] = "\x83\x5C";
const char kHyo[] = "\x95\x5C";

class DoubleByteNames : public HostileInputTest {
 protected:
  void SetUp() override {
    HostileInputTest::SetUp();
    if (GetACP() != 932) GTEST_SKIP() << "runs under code page 932 (WF_CODEPAGE=932)";
    music_ = Temp("music");
    logs_ = Temp("logs\\");
    // music: <So>.mp3, <So>\in.mp3, <Hyo>\x.mp3; both folder names end in the byte 0x5C.
    CreateDirectoryA(music_.c_str(), nullptr);
    CreateDirectoryA((music_ + "\\" + kSo).c_str(), nullptr);
    CreateDirectoryA((music_ + "\\" + kHyo).c_str(), nullptr);
    for (const std::string& file : {std::string(kSo) + ".mp3", std::string(kSo) + "\\in.mp3",
                                    std::string(kHyo) + "\\x.mp3"}) {
      ASSERT_TRUE(WriteBytes(music_ + "\\" + file, "data")) << "no double-byte file names here";
    }
  }

  std::string music_;
  std::string logs_;
};

TEST_F(DoubleByteNames, AreListedWithTheirExactBytesAndTheExemptFolderIsNotSplit) {
  // The exempt folder ends in a trail byte 0x5C: it still needs its backslash to be compared.
  SetRegString(kPreferences, "ExemptWatch", music_ + "\\" + kHyo);
  Configure(music_, logs_, 0);
  Send("WatchFolders_InitLogs");
  const std::string so = music_ + "\\" + kSo;
  EXPECT_EQ(so + ".mp3\r\n" + so + "\\in.mp3\r\n", ReadBytes(logs_ + ScanLogStem(music_) + "scan.log"));
}

TEST_F(DoubleByteNames, FolderEndingInATrailByteKeepsItsNameInLogsAndChanges) {
  // The watched folder's last character ends in 0x5C: a backslash is still added for its names
  // and lines, and taking one off again does not cut the character.
  const std::string hyo = music_ + "\\" + kHyo;
  Configure(hyo, logs_, 0);
  Send("WatchFolders_InitLogs");
  EXPECT_EQ(hyo + "\\x.mp3\r\n", ReadBytes(logs_ + ScanLogStem(hyo) + "scan.log"));

  ASSERT_TRUE(WriteBytes(hyo + "\\" + kSo + ".wma", "data"));
  SetRegDword(kFolder0, "Dirty", 1);
  Send("WatchFolders_Timer");
  EXPECT_EQ(hyo + "\\" + kSo + ".wma\r\n", ReadBytes(logs_ + "fldrscan.out"));
  EXPECT_EQ(hyo + "\\x.mp3\r\n", ReadBytes(logs_ + ScanLogStem(hyo) + "scan2.log"));
  EXPECT_TRUE(FilesBelow(cwd_).empty());
}

}  // namespace
