// Owners of the Windows handles watchhost opens: each closes its handle once, when it goes.
#pragma once

#include <windows.h>

// A handle with the function that closes it and the value that means "none".
template <typename Handle, BOOL(WINAPI* Closer)(Handle), Handle (*None)()>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { Reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : handle_(other.Release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  bool Valid() const { return handle_ != None(); }
  Handle Get() const { return handle_; }
  Handle Release() {
    Handle handle = handle_;
    handle_ = None();
    return handle;
  }
  void Reset(Handle handle = None()) {
    if (Valid()) Closer(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = None();
};

inline HANDLE NullHandle() { return nullptr; }
inline HANDLE InvalidHandle() { return INVALID_HANDLE_VALUE; }
inline HMODULE NullModule() { return nullptr; }

// Events and threads (null when none), files (INVALID_HANDLE_VALUE), find handles, change
// notifications and loaded modules.
using KernelHandle = Owned<HANDLE, CloseHandle, NullHandle>;
using FileHandle = Owned<HANDLE, CloseHandle, InvalidHandle>;
using FindHandle = Owned<HANDLE, FindClose, InvalidHandle>;
using ChangeHandle = Owned<HANDLE, FindCloseChangeNotification, InvalidHandle>;
using ModuleHandle = Owned<HMODULE, FreeLibrary, NullModule>;
