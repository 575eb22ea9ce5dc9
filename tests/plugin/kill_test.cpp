// The host dies at a random moment while the plug-in refreshes a large library, again and again.
// After each kill a new host runs one full refresh; by then every media file added so far must be
// a whole line of "fldrscan.out" (at least once), and no picture still on disk may ever have been
// reported removed in "fldrscan2.out". A host's first refresh is a full walk; the looping host's
// later ones are quick rescans.
//
// WF_KILL_ROUNDS sets the number of kills (default 6; the soak runs 200), WF_KILL_SEED the random
// seed (default: the clock; the seed is printed so a failing run can be repeated).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "plugindll.h"
#include "testfiles.h"
#include "testregistry.h"

namespace {

const char kFormats[] = "[searchpatterns]\r\next1=*.mp3\r\n[image]\r\nimageext=*.jpg\r\n";
constexpr int kMusicFolders = 40;
constexpr int kMusicFilesPerFolder = 100;
constexpr int kPictureFolders = 20;
constexpr int kPicturesPerFolder = 20;

unsigned long EnvironmentNumber(const char* name, unsigned long fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::strtoul(text, nullptr, 10) : fallback;
}

// The change list's whole lines (CR LF ended); a torn last line is left out.
std::set<std::string> Lines(const std::string& bytes) {
  std::set<std::string> lines;
  for (std::size_t start = 0, end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.insert(bytes.substr(start, end - start));
  }
  return lines;
}

class Host {
 public:
  Host(const std::string& mode) {
    std::string command = "\"" + WindowsPath(WF_KILL_HOST) + "\" \"" + WindowsPath(WF_PLUGIN_DLL) + "\" " + mode;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_)) {
      CloseHandle(process_.hThread);
      started_ = true;
    }
  }
  ~Host() {
    if (!started_) return;
    TerminateProcess(process_.hProcess, 9);
    WaitForSingleObject(process_.hProcess, 30000);
    CloseHandle(process_.hProcess);
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  bool Started() const { return started_; }
  // The exit code once it ended within a minute; -1 otherwise.
  long Wait() const {
    DWORD code = 0;
    if (WaitForSingleObject(process_.hProcess, 60000) != WAIT_OBJECT_0) return -1;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<long>(code);
  }
  void Kill() const {
    TerminateProcess(process_.hProcess, 9);
    WaitForSingleObject(process_.hProcess, 30000);
  }

 private:
  PROCESS_INFORMATION process_ = {};
  bool started_ = false;
};

class KillTest : public NorvaneRegistryTest {
 protected:
  void SetUp() override {
    NorvaneRegistryTest::SetUp();
    temp_ = std::make_unique<TempFolder>("kill");
    formats_ = std::make_unique<FormatsIni>(kFormats);
    logs_ = *temp_ / "logs\\";
    CreateDirectoryA(logs_.c_str(), nullptr);
    music_ = *temp_ / "music";
    pictures_ = *temp_ / "pictures";
    CreateDirectoryA(music_.c_str(), nullptr);
    CreateDirectoryA(pictures_.c_str(), nullptr);
    for (int folder = 0; folder < kMusicFolders; ++folder) {
      CreateDirectoryA(MusicFolder(folder).c_str(), nullptr);
      for (int file = 0; file < kMusicFilesPerFolder; ++file) {
        WriteBytes(MusicFolder(folder) + "\\track" + std::to_string(file) + ".mp3", "");
      }
    }
    for (int folder = 0; folder < kPictureFolders; ++folder) {
      CreateDirectoryA(PictureFolder(folder).c_str(), nullptr);
      for (int file = 0; file < kPicturesPerFolder; ++file) AddPicture(folder, "photo" + std::to_string(file));
    }
    // Stamps younger than two seconds are never trusted: the library ages first, so that a
    // looping host's refreshes after its first (a full walk) are quick ones from the start.
    Sleep(2500);
    SetRegString(kPicturesPreference, "", pictures_);
    SetRegString(kWatchFolders, "LogPath", logs_);
    SetRegDword(kWatchFolders, "NumFolders", 1);
    SetRegString(kWatchFolders + "\\WatchFolder0", "Folder", music_);
    SetRegDword(kWatchFolders + "\\WatchFolder0", "Dirty", 0);
  }
  void TearDown() override {
    formats_.reset();
    temp_.reset();
    NorvaneRegistryTest::TearDown();
  }

  std::string MusicFolder(int folder) const { return music_ + "\\album" + std::to_string(folder); }
  std::string PictureFolder(int folder) const { return pictures_ + "\\year" + std::to_string(folder); }
  void AddMusic(int folder, const std::string& name) {
    const std::string path = MusicFolder(folder) + "\\" + name + ".mp3";
    WriteBytes(path, "");
    added_music_.push_back(path);
  }
  void AddPicture(int folder, const std::string& name) {
    const std::string path = PictureFolder(folder) + "\\" + name + ".jpg";
    WriteBytes(path, "");
    pictures_on_disk_.push_back(path);
  }
  // One of the pictures that were reported before this round goes.
  void RemovePicture(std::mt19937& random, std::size_t reported) {
    const std::size_t at = random() % reported;
    DeleteFileA(pictures_on_disk_[at].c_str());
    pictures_on_disk_.erase(pictures_on_disk_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  // A batch of changes: new music and pictures in random folders, a picture or two deleted.
  void Change(std::mt19937& random, int round, const char* tag) {
    const std::size_t reported = pictures_on_disk_.size();
    for (int i = 0; i < 10; ++i) AddMusic(random() % kMusicFolders, "r" + std::to_string(round) + tag + std::to_string(i));
    for (int i = 0; i < 4; ++i) AddPicture(random() % kPictureFolders, "r" + std::to_string(round) + tag + std::to_string(i));
    for (int i = 0; i < 2; ++i) RemovePicture(random, reported);
  }

  // Checks the change lists against everything done so far.
  void CheckChangeLists(int round) {
    const std::set<std::string> music = Lines(ReadBytes(logs_ + "fldrscan.out"));
    for (const std::string& path : added_music_) {
      EXPECT_EQ(1u, music.count(path)) << "round " << round << ": never reported: " << path;
    }
    const std::set<std::string> pictures = Lines(ReadBytes(logs_ + "fldrscan2.out"));
    for (const std::string& path : pictures_on_disk_) {
      EXPECT_EQ(1u, pictures.count(path)) << "round " << round << ": never reported: " << path;
      EXPECT_EQ(0u, pictures.count("-" + path)) << "round " << round << ": reported removed: " << path;
    }
  }

  std::unique_ptr<TempFolder> temp_;
  std::unique_ptr<FormatsIni> formats_;
  std::string logs_;
  std::string music_;
  std::string pictures_;
  std::vector<std::string> added_music_;
  std::vector<std::string> pictures_on_disk_;
};

TEST_F(KillTest, EveryChangeSurvivesAHostKilledAtAnyMoment) {
  const unsigned long rounds = EnvironmentNumber("WF_KILL_ROUNDS", 6);
  const unsigned long seed = EnvironmentNumber("WF_KILL_SEED", GetTickCount());
  std::cout << "kill test: " << rounds << " rounds, WF_KILL_SEED=" << seed << std::endl;
  std::mt19937 random(seed);

  {
    Host init("init");
    ASSERT_TRUE(init.Started());
    ASSERT_EQ(0, init.Wait());
  }
  CheckChangeLists(-1);
  // How long a host takes to start and refresh: the kills fall anywhere within about twice that.
  const DWORD start = GetTickCount();
  {
    Host once("once");
    ASSERT_EQ(0, once.Wait());
  }
  const DWORD refresh = GetTickCount() - start + 1;
  std::cout << "kill test: one host with a full refresh takes " << refresh << " ms" << std::endl;

  for (unsigned long round = 0; round < rounds && !HasFailure(); ++round) {
    Change(random, static_cast<int>(round), "a");
    {
      Host loop("loop");
      ASSERT_TRUE(loop.Started());
      Sleep(random() % refresh);
      // Some changes land while the host is busy: they too must come out after the restart.
      Change(random, static_cast<int>(round), "b");
      Sleep(random() % refresh);
      loop.Kill();
    }
    Host once("once");
    ASSERT_EQ(0, once.Wait()) << "round " << round;
    CheckChangeLists(static_cast<int>(round));
  }
}

}  // namespace
