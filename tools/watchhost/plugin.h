// The loaded plug-in: one LoadLibrary for the life of the object, and its EventCallback.
#pragma once

#include <windows.h>

#include <string>

#include "handles.h"

class Plugin {
 public:
  // Checks the file first, so a wrong file is named in plain words, then loads it. False with
  // *problem, which says what the loader's error means.
  bool Load(const std::string& path, std::string* problem);
  // Sends one event string; returns what EventCallback returned.
  HRESULT Send(const std::string& event) const;

 private:
  using EventCallbackFn = HRESULT(__stdcall*)(const char*);
  ModuleHandle module_;
  EventCallbackFn callback_ = nullptr;
};

// What the DLL's version resource says of it: "version 1.0.0" (a fourth number only when it is
// not 0), or "no version resource".
std::string PluginVersion(const std::string& path);

// What a LoadLibrary error means for a plug-in that passed the file check.
std::string LoadErrorHint(DWORD error);
