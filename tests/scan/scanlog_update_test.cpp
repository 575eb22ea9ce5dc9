// The rescan that survives a killed process: the states a kill can leave behind, an unreachable
// folder, a walk that misses a directory, and a change list that cannot take the changes.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "listingfault.h"
#include "scan/scanlog.h"
#include "scan_test_support.h"

namespace {

class UpdateScanLogTest : public NorvaneRegistryTest {
 protected:
  void SetUp() override {
    NorvaneRegistryTest::SetUp();
    MakeFolder(Prefix());
  }
  void TearDown() override {
    listing_fault_.reset();
    NorvaneRegistryTest::TearDown();
  }

  std::string Library() const { return temp_ / "Music"; }
  std::string Prefix() const { return temp_ / "Logs\\"; }
  std::string Stem() const { return ScanLogStem(Library()); }
  std::string Log() const { return Prefix() + Stem() + "scan.log"; }
  std::string Previous() const { return Prefix() + Stem() + "scan2.log"; }
  std::string Fresh() const { return Prefix() + Stem() + "scan.new"; }
  std::string Changes() const { return Prefix() + "fldrscan2.out"; }
  std::string Line(const std::string& relative) const { return Library() + "\\" + relative + "\r\n"; }

  ScanLogOutcome Update(bool removals = true, bool everything_new = false) {
    const std::string changes = Changes();
    ScanLogUpdate update;
    update.patterns = "*.mp3";
    update.change_list = changes.c_str();
    update.removals = removals;
    update.everything_new = everything_new;
    return UpdateScanLog(Library().c_str(), Prefix().c_str(), update);
  }
  // The directory fails to list from now on, as without list permission (Library() for the
  // watched folder itself). This program links the scanner: its own listings are the ones.
  void MakeUnlistable(const std::string& directory) {
    if (!listing_fault_) listing_fault_ = std::make_unique<ListingFault>(GetModuleHandleA(nullptr));
    listing_fault_->FailListing(directory);
  }

  std::unique_ptr<ListingFault> listing_fault_;
  TempFolder temp_;
};

TEST_F(UpdateScanLogTest, ChangesAreWrittenBeforeTheNewScanReplacesTheOld) {
  Touch(Library() + "\\a.mp3");
  Touch(Library() + "\\b.mp3");
  WriteBytes(Log(), Line("a.mp3") + Line("gone.mp3"));
  WriteBytes(Previous(), "older\r\n");
  EXPECT_EQ(Update(), ScanLogOutcome::kUpdated);
  EXPECT_EQ(ReadBytes(Changes()), Line("b.mp3") + "-" + Line("gone.mp3"));
  EXPECT_EQ(ReadBytes(Previous()), Line("a.mp3") + Line("gone.mp3"));
  EXPECT_EQ(ReadBytes(Log()), Line("a.mp3") + Line("b.mp3"));
  EXPECT_FALSE(PathExists(Fresh()));
}

// Every state a kill can leave between the first byte of the new scan and its rename: the old
// scan log is still in place, so the next rescan reports the changes (again), never nothing.
TEST_F(UpdateScanLogTest, EveryStateAKillLeavesIsRepeatedFromTheOldLog) {
  struct KilledState {
    const char* when;
    bool fresh_left;        // scan.new as the killed walk left it
    bool reported_already;  // the change list got the entries before the kill
    bool previous_copied;   // the old scan log was copied to the previous one
  };
  const KilledState states[] = {
      {"during the walk", true, false, false},
      {"during the comparison", true, false, false},
      {"after the comparison", true, true, false},
      {"between the copy and the rename", true, true, true},
  };
  Touch(Library() + "\\a.mp3");
  Touch(Library() + "\\new.mp3");
  for (const KilledState& state : states) {
    SCOPED_TRACE(state.when);
    WriteBytes(Log(), Line("a.mp3") + Line("gone.mp3"));
    WriteBytes(Previous(), state.previous_copied ? Line("a.mp3") + Line("gone.mp3") : "older\r\n");
    if (state.fresh_left) WriteBytes(Fresh(), Line("a.mp3") + "C:\\half a li");
    const std::string entries = Line("new.mp3") + "-" + Line("gone.mp3");
    WriteBytes(Changes(), state.reported_already ? entries : "");

    EXPECT_EQ(Update(), ScanLogOutcome::kUpdated);
    EXPECT_EQ(ReadBytes(Changes()), state.reported_already ? entries + entries : entries);
    EXPECT_EQ(ReadBytes(Log()), Line("a.mp3") + Line("new.mp3"));
    EXPECT_EQ(ReadBytes(Previous()), Line("a.mp3") + Line("gone.mp3"));
    EXPECT_FALSE(PathExists(Fresh()));
  }
}

TEST_F(UpdateScanLogTest, ChangeListThatCannotBeWrittenLeavesTheLogsForTheNextRescan) {
  Touch(Library() + "\\a.mp3");
  WriteBytes(Log(), "");
  WriteBytes(Previous(), "older\r\n");
  WriteBytes(Changes(), "kept\r\n");
  HANDLE lock = CreateFileA(Changes().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Update(), ScanLogOutcome::kFailed);
  CloseHandle(lock);
  EXPECT_EQ(ReadBytes(Log()), "");
  EXPECT_EQ(ReadBytes(Previous()), "older\r\n");
  EXPECT_FALSE(PathExists(Fresh()));

  EXPECT_EQ(Update(), ScanLogOutcome::kUpdated);
  EXPECT_EQ(ReadBytes(Changes()), "kept\r\n" + Line("a.mp3"));
}

TEST_F(UpdateScanLogTest, UnreachableFolderTouchesNoFile) {
  WriteBytes(Log(), Line("a.mp3"));
  WriteBytes(Previous(), "older\r\n");
  struct Case {
    const char* why;
    bool vanished;  // else: it is there but cannot be listed
  };
  for (const Case& c : {Case{"vanished", true}, Case{"access denied", false}}) {
    SCOPED_TRACE(c.why);
    if (c.vanished) {
      DeleteTree(Library());
    } else {
      Touch(Library() + "\\a.mp3");
      MakeUnlistable(Library());
    }
    EXPECT_EQ(Update(), ScanLogOutcome::kUnreachable);
    EXPECT_EQ(Update(true, true), ScanLogOutcome::kUnreachable) << "a first scan of the pictures too";
    EXPECT_EQ(ReadBytes(Log()), Line("a.mp3"));
    EXPECT_EQ(ReadBytes(Previous()), "older\r\n");
    EXPECT_FALSE(PathExists(Changes()));
    EXPECT_FALSE(PathExists(Fresh()));
  }
  // Nor is a missing scan log made for it, in init mode or by a rescan without a change list.
  DeleteFileA(Log().c_str());
  UpdateWithoutChangeList(Library().c_str(), Prefix().c_str(), true, false, "*.mp3");
  UpdateWithoutChangeList(Library().c_str(), Prefix().c_str(), false, false, "*.mp3");
  EXPECT_FALSE(PathExists(Log()));
}

TEST_F(UpdateScanLogTest, LinesUnderAnUnlistableDirectoryAreCarriedNotRemoved) {
  for (const char* name : {"a.mp3", "Live\\l.mp3", "Live\\Deep\\d.mp3", "Lively\\v.mp3", "Z\\z.mp3"}) {
    Touch(Library() + "\\" + name);
  }
  ASSERT_EQ(Update(), ScanLogOutcome::kUpdated);
  ASSERT_EQ(ReadBytes(Log()), Line("a.mp3") + Line("Live\\l.mp3") + Line("Live\\Deep\\d.mp3") +
                                  Line("Lively\\v.mp3") + Line("Z\\z.mp3"));

  // Live cannot be listed now; one file below it really went, one file next to it too.
  MakeUnlistable(Library() + "\\LIVE");
  DeleteFileA((Library() + "\\Live\\l.mp3").c_str());
  DeleteFileA((Library() + "\\Lively\\v.mp3").c_str());
  Touch(Library() + "\\Z\\y.mp3");
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(Update(), ScanLogOutcome::kUpdated);
    EXPECT_EQ(ReadBytes(Changes()), Line("Z\\y.mp3") + "-" + Line("Lively\\v.mp3"))
        << "nothing below Live is reported, at this rescan or the next";
    EXPECT_EQ(ReadBytes(Log()), Line("a.mp3") + Line("Z\\y.mp3") + Line("Z\\z.mp3") + Line("Live\\l.mp3") +
                                    Line("Live\\Deep\\d.mp3"));
  }

  // Listable again: the file that really went is reported then, late but once.
  listing_fault_.reset();
  EXPECT_EQ(Update(), ScanLogOutcome::kUpdated);
  EXPECT_EQ(ReadBytes(Changes()), Line("Z\\y.mp3") + "-" + Line("Lively\\v.mp3") + "-" + Line("Live\\l.mp3"));
}

TEST_F(UpdateScanLogTest, EverythingNewComparesWithAnEmptyScanWhenTheLogFolderExists) {
  Touch(Library() + "\\a.mp3");
  WriteBytes(Log(), Line("a.mp3") + Line("gone.mp3"));
  EXPECT_EQ(Update(true, true), ScanLogOutcome::kUpdated);
  EXPECT_EQ(ReadBytes(Changes()), Line("a.mp3")) << "all additions, no removals";
  EXPECT_EQ(ReadBytes(Previous()), "");
  EXPECT_EQ(ReadBytes(Log()), Line("a.mp3"));

  // No log folder yet: it is made, and there is nothing to compare with.
  DeleteTree(temp_ / "Logs");
  ASSERT_FALSE(PathExists(Changes()));
  EXPECT_EQ(Update(true, true), ScanLogOutcome::kUpdated);
  EXPECT_EQ(ReadBytes(Log()), Line("a.mp3"));
  EXPECT_FALSE(PathExists(Previous()));
  EXPECT_FALSE(PathExists(Changes()));
}

TEST_F(UpdateScanLogTest, PurgeReportsTheScanLogOrElseTheOldPreviousLog) {
  const std::string changes = Changes();
  ScanLogUpdate purge;
  purge.rotate_only = true;
  purge.change_list = changes.c_str();
  purge.removals = true;
  WriteBytes(Log(), Line("a.mp3"));
  WriteBytes(Previous(), Line("old.mp3"));
  EXPECT_EQ(UpdateScanLog(Library().c_str(), Prefix().c_str(), purge), ScanLogOutcome::kUpdated);
  EXPECT_EQ(ReadBytes(Changes()), "-" + Line("a.mp3"));
  EXPECT_EQ(ReadBytes(Previous()), Line("a.mp3"));
  EXPECT_EQ(ReadBytes(Log()), "");

  DeleteFileA(Log().c_str());
  WriteBytes(Previous(), Line("old.mp3"));
  EXPECT_EQ(UpdateScanLog(Library().c_str(), Prefix().c_str(), purge), ScanLogOutcome::kUpdated);
  EXPECT_EQ(ReadBytes(Changes()), "-" + Line("a.mp3") + "-" + Line("old.mp3"));
  EXPECT_EQ(ReadBytes(Previous()), Line("old.mp3"));
  EXPECT_EQ(ReadBytes(Log()), "");
}

}  // namespace

namespace {

TEST_F(UpdateScanLogTest, TornLastLineOfTheChangeListIsEndedBeforeNewEntries) {
  Touch(Library() + "\\a.mp3");
  WriteBytes(Log(), "");
  for (const char* torn : {"C:\\half a na", "C:\\half a name\r"}) {
    SCOPED_TRACE(torn);
    WriteBytes(Changes(), torn);
    EXPECT_EQ(Update(), ScanLogOutcome::kUpdated);
    EXPECT_EQ(ReadBytes(Changes()), std::string("C:\\half a na") + (torn[12] ? "me" : "") + "\r\n" + Line("a.mp3"));
    WriteBytes(Log(), "");
  }
}

}  // namespace

namespace {

class UpdateScanLogExemptTest : public UpdateScanLogTest {
 protected:
  ScanLogOutcome UpdateWith(FixedExemptFolder& exempt, bool init_mode = false, bool rotate_only = false) {
    const std::string changes = Changes();
    ScanLogUpdate update;
    update.init_mode = init_mode;
    update.rotate_only = rotate_only;
    update.patterns = "*.mp3";
    update.change_list = changes.c_str();
    update.exempt = &exempt;
    return UpdateScanLog(Library().c_str(), Prefix().c_str(), update);
  }
};

TEST_F(UpdateScanLogExemptTest, TheWalkSkipsTheExemptFolderItIsHanded) {
  Touch(Library() + "\\a.mp3");
  Touch(Library() + "\\Private\\p.mp3");
  Touch(Library() + "\\Private\\Sub\\s.mp3");
  FixedExemptFolder exempt(Library() + "\\PRIVATE");
  EXPECT_EQ(UpdateWith(exempt), ScanLogOutcome::kUpdated);
  EXPECT_EQ(ReadBytes(Log()), Line("a.mp3"));
  EXPECT_EQ(exempt.Asked(), 1);
  FixedExemptFolder none("");
  EXPECT_EQ(UpdateWith(none), ScanLogOutcome::kUpdated);
  EXPECT_EQ(ReadBytes(Log()), Line("a.mp3") + Line("Private\\p.mp3") + Line("Private\\Sub\\s.mp3"));
}

TEST_F(UpdateScanLogExemptTest, IsAskedForOnlyWhenAFolderIsWalked) {
  Touch(Library() + "\\a.mp3");
  WriteBytes(Log(), Line("a.mp3"));
  FixedExemptFolder exempt(Library() + "\\Private");
  EXPECT_EQ(UpdateWith(exempt, true), ScanLogOutcome::kKept);
  EXPECT_EQ(exempt.Asked(), 0) << "init mode keeps the scan log without a walk";
  EXPECT_EQ(UpdateWith(exempt, false, true), ScanLogOutcome::kUpdated);
  EXPECT_EQ(exempt.Asked(), 0) << "a purge walks nothing";
  EXPECT_EQ(UpdateWith(exempt), ScanLogOutcome::kUpdated);
  EXPECT_EQ(exempt.Asked(), 1);
}

}  // namespace
