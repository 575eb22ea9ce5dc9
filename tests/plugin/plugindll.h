// The plug-in as a host sees it: watchfolders.dll loaded with LoadLibraryA and driven through
// EventCallback found by name, plus the host's formats.ini beside the test program.
#pragma once

#include <windows.h>

#include <string>

using EventCallbackFunction = HRESULT(__stdcall*)(const char*);

// Loads the built DLL for the object's lifetime.
class PluginDll {
 public:
  PluginDll();
  ~PluginDll();
  PluginDll(const PluginDll&) = delete;
  PluginDll& operator=(const PluginDll&) = delete;

  bool Loaded() const { return module_ != nullptr && callback_ != nullptr; }
  HMODULE Module() const { return module_; }
  EventCallbackFunction Callback() const { return callback_; }
  HRESULT Send(const char* event) const { return callback_(event); }

 private:
  HMODULE module_ = nullptr;
  EventCallbackFunction callback_ = nullptr;
};

// The host's formats.ini in <program dir>\DataCache\Formats, removed again with the object.
class FormatsIni {
 public:
  explicit FormatsIni(const std::string& contents);
  ~FormatsIni();
  FormatsIni(const FormatsIni&) = delete;
  FormatsIni& operator=(const FormatsIni&) = delete;

 private:
  std::string data_cache_;
};
