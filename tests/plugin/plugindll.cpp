#include "plugindll.h"

#include "testfiles.h"
#include "testregistry.h"

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
