// Helpers of the scanning tests beyond the shared ones: files past the ANSI path limit or with
// names that end in a dot, "ExemptWatch", and the formats.ini beside the test program.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "importpatch.h"
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

// For the object's lifetime, every directory listing that this program opens (its FindFirstFileW)
// first asks the check with the search text ("C:\Music\*", in the ANSI code page): false makes
// that listing fail as access denied (tests run as root under Wine, where no permission does).
class ListingCheck {
 public:
  using Check = bool (*)(const std::string& search);
  explicit ListingCheck(Check check);
  ~ListingCheck();
  ListingCheck(const ListingCheck&) = delete;
  ListingCheck& operator=(const ListingCheck&) = delete;

 private:
  std::unique_ptr<ImportPatch> patch_;
};
