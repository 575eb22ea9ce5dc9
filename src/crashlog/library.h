// Owners for the handles a crash report holds, and the typed look-up of functions that are
// fetched by name at run time.
//
// The crash report must not import the debug-help, process-status or tool-help functions (a
// system without them still gets its report), so each is fetched with GetProcAddress at the
// moment it is used. A missing library or function is an ordinary null result, never an error.
// Nothing here allocates or throws; each call costs one system call at most.
#pragma once

#include <windows.h>

// The named function of a loaded library as a pointer of its declared type, e.g.
// FindFunction<decltype(::SymCleanup)>(dbghelp, "SymCleanup"). Null when the library is null
// or does not export the name.
template <typename Function>
Function* FindFunction(HMODULE library, const char* name) noexcept {
  if (library == nullptr || name == nullptr) return nullptr;
  FARPROC found = GetProcAddress(library, name);
  // Through the generic function type: GCC accepts that cast without a warning, and the
  // caller's declared type is what the export really is.
  return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(found));
}

// A reference to a library taken with LoadLibraryA, dropped with FreeLibrary.
class LibraryHandle {
 public:
  LibraryHandle() = default;
  ~LibraryHandle() { Release(); }
  LibraryHandle(const LibraryHandle&) = delete;
  LibraryHandle& operator=(const LibraryHandle&) = delete;
  LibraryHandle(LibraryHandle&& other) noexcept : module_(other.module_) { other.module_ = nullptr; }
  LibraryHandle& operator=(LibraryHandle&& other) noexcept {
    if (this != &other) {
      Release();
      module_ = other.module_;
      other.module_ = nullptr;
    }
    return *this;
  }

  // Drops any reference held, then loads the name or path; false when it cannot be loaded.
  bool Load(const char* name) noexcept {
    Release();
    if (name != nullptr) module_ = LoadLibraryA(name);
    return module_ != nullptr;
  }
  void Release() noexcept {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }
  HMODULE Get() const noexcept { return module_; }
  bool IsLoaded() const noexcept { return module_ != nullptr; }

 private:
  HMODULE module_ = nullptr;
};

// A kernel object handle (file, snapshot, thread). Both null and INVALID_HANDLE_VALUE mean
// "none": CreateFileA and CreateToolhelp32Snapshot fail with the latter, the rest with null,
// and the owner keeps null for all of them.
class KernelHandle {
 public:
  KernelHandle() = default;
  explicit KernelHandle(HANDLE handle) noexcept { Reset(handle); }
  ~KernelHandle() { Close(); }
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  KernelHandle(KernelHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  KernelHandle& operator=(KernelHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }

  // Closes any handle held and takes the new one.
  void Reset(HANDLE handle) noexcept {
    Close();
    handle_ = (handle == INVALID_HANDLE_VALUE) ? nullptr : handle;
  }
  void Close() noexcept {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
  }
  HANDLE Get() const noexcept { return handle_; }
  bool IsOpen() const noexcept { return handle_ != nullptr; }

 private:
  HANDLE handle_ = nullptr;
};
