// Owners for what the shell and COM hand out: an interface pointer, a text the shell allocated,
// and one COM initialisation of the calling thread.
//
// Each gives its object back through GetMediaFolderPlatform() when it goes out of scope.
// Declare them after the initialisation (ComInitialization or CShell32DLL) their use depends
// on: C++ destroys locals in reverse order, so every interface is released and every text freed
// while COM and the shell module are still there.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "shellfolders/mediafolderplatform.h"

// Owns one reference to an interface.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* Get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  // For an out-argument: releases what is held and hands out the emptied slot.
  Interface** Put() {
    Reset();
    return &pointer_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  void Reset() {
    Interface* const pointer = pointer_;
    pointer_ = nullptr;
    if (pointer) pointer->Release();
  }

 private:
  Interface* pointer_ = nullptr;
};

// Owns one UTF-16 text that the shell allocated for its caller; frees it with CoTaskMemFree.
class CoTaskMemText {
 public:
  CoTaskMemText() = default;
  ~CoTaskMemText() { Reset(); }
  CoTaskMemText(const CoTaskMemText&) = delete;
  CoTaskMemText& operator=(const CoTaskMemText&) = delete;

  const wchar_t* Get() const { return text_; }
  explicit operator bool() const { return text_ != nullptr; }
  wchar_t** Put() {
    Reset();
    return &text_;
  }
  void Reset() {
    wchar_t* const text = text_;
    text_ = nullptr;
    if (text) GetMediaFolderPlatform().coTaskMemFree(text);
  }

 private:
  wchar_t* text_ = nullptr;
};

// One CoInitialize of the calling thread, undone only when it succeeded (S_OK or S_FALSE).
// On a thread already in the multithreaded apartment it fails and nothing is undone.
class ComInitialization {
 public:
  ComInitialization() : succeeded_(SUCCEEDED(GetMediaFolderPlatform().coInitialize(nullptr))) {}
  ~ComInitialization() {
    if (succeeded_) GetMediaFolderPlatform().coUninitialize();
  }
  ComInitialization(const ComInitialization&) = delete;
  ComInitialization& operator=(const ComInitialization&) = delete;

  bool Succeeded() const { return succeeded_; }

 private:
  bool succeeded_;
};
