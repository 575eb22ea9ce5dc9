// The loaded plug-in: one LoadLibrary for the life of the object, and its EventCallback.
#pragma once

#include <windows.h>

#include <string>

class Plugin {
 public:
  Plugin() = default;
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // Checks the file first, so a wrong file is named in plain words. False with *problem.
  bool Load(const std::string& path, std::string* problem);
  // Sends one event string; returns what EventCallback returned.
  HRESULT Send(const std::string& event) const;

 private:
  using EventCallbackFn = HRESULT(__stdcall*)(const char*);
  HMODULE module_ = nullptr;
  EventCallbackFn callback_ = nullptr;
};
