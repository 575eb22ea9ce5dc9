#include "plugindll.h"

const std::string kPreferences = "Software\\Norvane\\Tamblin\\1.0\\Preferences";
const std::string kWatchFolders = kPreferences + "\\WatchFolders";
const std::string kFolder0 = kWatchFolders + "\\WatchFolder0";
const std::string kPicturesSubkey = kWatchFolders + "\\WatchFolderPicture";
const std::string kPicturesPreference = "Software\\Norvane\\Brisola\\12.0\\Preferences\\PicturesPath";

PluginDll::PluginDll() {
  module_ = LoadLibraryA(WindowsPath(WF_PLUGIN_DLL).c_str());
  if (module_) {
    callback_ = reinterpret_cast<EventCallbackFunction>(
        reinterpret_cast<void*>(GetProcAddress(module_, "EventCallback")));
  }
}

PluginDll::~PluginDll() {
  if (module_) FreeLibrary(module_);
}

FormatsIni::FormatsIni(const std::string& contents)
    : data_cache_(ProgramDirectory() + "\\DataCache") {
  DeleteTree(data_cache_);
  CreateDirectoryA(data_cache_.c_str(), nullptr);
  CreateDirectoryA((data_cache_ + "\\Formats").c_str(), nullptr);
  WriteBytes(data_cache_ + "\\Formats\\formats.ini", contents);
}

FormatsIni::~FormatsIni() { DeleteTree(data_cache_); }

void PluginHostTest::SetUp() {
  NorvaneRegistryTest::SetUp();
  temp_ = std::make_unique<TempFolder>("plugin");
  cwd_ = *temp_ / "cwd";
  CreateDirectoryA(cwd_.c_str(), nullptr);
  GetCurrentDirectoryA(MAX_PATH, saved_cwd_);
  SetCurrentDirectoryA(cwd_.c_str());
  formats_ = std::make_unique<FormatsIni>(FormatsContents());
  dll_ = std::make_unique<PluginDll>();
  ASSERT_TRUE(dll_->Loaded()) << "cannot load " << WF_PLUGIN_DLL;
  pictures_ = *temp_ / "Pictures";
  CreateDirectoryA(pictures_.c_str(), nullptr);
  SetRegString(kPicturesPreference, "", pictures_);
}

void PluginHostTest::TearDown() {
  dll_.reset();
  formats_.reset();
  SetCurrentDirectoryA(saved_cwd_);
  temp_.reset();
  NorvaneRegistryTest::TearDown();
}

std::string PluginHostTest::FormatsContents() const {
  return "[searchpatterns]\r\next1=*.mp3;*.wma;*.wav\r\n[image]\r\nimageext=*.jpg;*.png\r\n";
}
