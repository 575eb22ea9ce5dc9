// ListingFault: directory listings that fail inside one module for the object's lifetime, the
// module being the plug-in DLL or a test program that links the scanner itself
// (GetModuleHandle(nullptr)). Tests run as root under Wine, where no permission stops a listing,
// and no share drops on cue: so the module's FindFirstFile and FindNextFile imports (A and W,
// whichever it has) are redirected through ImportPatch. A directory is named by its path without
// a trailing backslash and is the one whose search text is "<directory>\*", in any letter case.
// Only one object may exist at a time. (The fault-injection test fails the N-th call of any kind
// instead, whatever it reaches: it keeps stand-ins of its own.)
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "importpatch.h"

class ListingFault {
 public:
  // A test failure when the module's listings cannot be caught (Applied() false).
  explicit ListingFault(HMODULE module);
  ~ListingFault();
  ListingFault(const ListingFault&) = delete;
  ListingFault& operator=(const ListingFault&) = delete;

  // True when the module's listings are caught: its FindFirstFile and its FindNextFile.
  bool Applied() const;

  // From now on the directory's listing fails at its start with the error: access denied as
  // without list permission, file not found as the top of an empty drive. Replaces the directory
  // named before; an empty one makes no listing fail.
  void FailListing(const std::string& directory, DWORD error = ERROR_ACCESS_DENIED);
  // From now on the directory's listing stops with the error after its first entry, as a share
  // that drops in the middle of it. Replaces the directory named before.
  void StopListingAfterFirstEntry(const std::string& directory, DWORD error = ERROR_NETNAME_DELETED);
  // Called with the search text, in the ANSI code page, as each listing starts (before it fails):
  // a test changes the world there while a walk is under way.
  void BeforeEachListing(std::function<void(const std::string& search)> hook);

 private:
  std::unique_ptr<ImportPatch> first_a_;
  std::unique_ptr<ImportPatch> first_w_;
  std::unique_ptr<ImportPatch> next_a_;
  std::unique_ptr<ImportPatch> next_w_;
};
