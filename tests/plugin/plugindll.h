// The plug-in as a host sees it: watchfolders.dll loaded with LoadLibraryA and driven through
// EventCallback found by name, the host's formats.ini beside the test program, the registry keys
// the host writes, and a fixture that sets all of that up inside a temporary folder.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "testfiles.h"
#include "testregistry.h"

// The plug-in's keys below HKCU, and the player's own preference naming the pictures folder,
// which every refresh also watches.
extern const std::string kPreferences;
extern const std::string kWatchFolders;
extern const std::string kFolder0;         // kWatchFolders + "\WatchFolder0"
extern const std::string kPicturesSubkey;  // kWatchFolders + "\WatchFolderPicture"
extern const std::string kPicturesPreference;

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

// A test of the loaded plug-in inside a temporary folder of its own: the registry below
// HKCU\Software\Norvane deleted first and last, formats.ini in place, the current directory moved
// to <temp>\cwd (anything written relative to it lands there), and the pictures folder, which
// every refresh also handles, at <temp>\Pictures.
class PluginHostTest : public NorvaneRegistryTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  virtual std::string FormatsContents() const;

  void Send(const std::string& event) { EXPECT_EQ(0, dll_->Send(event.c_str())) << event.substr(0, 40); }
  std::string Temp(const std::string& relative) const { return *temp_ / relative; }

  std::unique_ptr<TempFolder> temp_;
  std::unique_ptr<FormatsIni> formats_;
  std::unique_ptr<PluginDll> dll_;
  std::string cwd_;
  std::string pictures_;

 private:
  char saved_cwd_[MAX_PATH] = {};
};
