// Helpers of the scanning tests beyond the shared ones: files past the ANSI path limit or with
// names that end in a dot, "ExemptWatch", and the formats.ini beside the test program.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "scan/scanlog.h"
#include "testfiles.h"
#include "testregistry.h"

// Creates an empty file, also one whose name ends in a dot (through the \\?\ form), and the
// missing folders on the way.
void Touch(const std::string& path);
// The same past the ANSI path limit (wide functions, \\?\ form); the parent must exist.
void MakeDeepFolder(const std::string& path);
void TouchDeep(const std::string& path);

// Sets "ExemptWatch" below the Preferences key.
void SetExemptWatch(const std::string& folder);

// UpdateScanLog with no change list to write, as the init refresh calls it: a rotation and a new
// scan (or with init_mode, a scan only where there is no scan log).
ScanLogOutcome UpdateWithoutChangeList(const char* folder, const char* log_prefix, bool init_mode,
                                      bool rotate_only, const char* patterns);

// An exempt folder handed to UpdateScanLog, counting how often it is asked for.
class FixedExemptFolder : public ExemptFolderSource {
 public:
  explicit FixedExemptFolder(std::string folder) : folder_(std::move(folder)) {}
  const char* ExemptFolder() override {
    ++asked_;
    return folder_.c_str();
  }
  int Asked() const { return asked_; }

 private:
  std::string folder_;
  int asked_ = 0;
};

// formats.ini in DataCache\Formats beside the test program, removed again at the end.
class FormatsIni {
 public:
  FormatsIni();
  ~FormatsIni();
  FormatsIni(const FormatsIni&) = delete;
  FormatsIni& operator=(const FormatsIni&) = delete;

  static std::string Path();
  static void Write(const std::string& ext1, const std::string& imageext);
  static void WriteText(const std::string& text);
  static void Remove();
};
