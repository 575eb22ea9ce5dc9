// Owners of what the system hands out, one per kind: a C runtime stream, and under Windows a
// registry key, a kernel object, a directory listing, a loaded library and a COM reference. Each
// gives its object back on every way out of the scope that holds it, and none is copyable.
// Beside them, the one typed look-up of a function fetched by name.
//
// The owners allocate nothing of their own and throw nothing; each call costs one system or
// runtime call at most, so the crash path may use them.
#pragma once

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

// Owns one value of a handle kind. Kind gives Type, None() (the value held when nothing is),
// IsNone(value) and Close(value); a value IsNone takes for none is stored as None().
template <typename Kind>
class UniqueHandle {
 public:
  using Type = typename Kind::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type value) noexcept : value_(Normal(value)) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.value_) { other.value_ = Kind::None(); }
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset(other.value_);
      other.value_ = Kind::None();
    }
    return *this;
  }

  // Takes the new value, then closes the one held before (it is no longer held when it closes).
  void Reset(Type value = Kind::None()) noexcept {
    const Type old = value_;
    value_ = Normal(value);
    if (!Kind::IsNone(old)) Kind::Close(old);
  }
  void Close() noexcept { Reset(); }
  // For an out-argument: closes what is held and hands out the emptied slot.
  Type* Put() noexcept {
    Reset();
    return &value_;
  }
  // Hands what is held over to the caller, who closes it from now on.
  Type Detach() noexcept {
    const Type value = value_;
    value_ = Kind::None();
    return value;
  }
  Type Get() const noexcept { return value_; }
  bool IsOpen() const noexcept { return !Kind::IsNone(value_); }
  explicit operator bool() const noexcept { return IsOpen(); }

 private:
  static Type Normal(Type value) noexcept { return Kind::IsNone(value) ? Kind::None() : value; }

  Type value_ = Kind::None();
};

struct StdioFileKind {
  using Type = std::FILE*;
  static std::FILE* None() noexcept { return nullptr; }
  static bool IsNone(std::FILE* file) noexcept { return file == nullptr; }
  static void Close(std::FILE* file) noexcept { std::fclose(file); }
};

// One C runtime stream, closed with fclose. Scan logs and change lists are text-mode files (CR LF
// on disk), so the runtime's stream is the right tool for them.
class StdioFile : public UniqueHandle<StdioFileKind> {
 public:
  using UniqueHandle::UniqueHandle;

  // Opens with fopen; false (and nothing held) when that fails.
  bool Open(const char* path, const char* mode) {
    Reset();
    Reset(std::fopen(path, mode));
    return IsOpen();
  }
};

#ifdef _WIN32

// Null and INVALID_HANDLE_VALUE both mean none: CreateFile, FindFirstFile and
// CreateToolhelp32Snapshot fail with the latter, the other calls with null.
inline bool IsNoHandle(HANDLE handle) noexcept { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }

struct RegistryKeyKind {
  using Type = HKEY;
  static HKEY None() noexcept { return nullptr; }
  static bool IsNone(HKEY key) noexcept { return key == nullptr; }
  // Closing keeps the last error: a caller may look at the error of a read after its key is gone.
  static void Close(HKEY key) noexcept {
    const DWORD last_error = GetLastError();
    RegCloseKey(key);
    SetLastError(last_error);
  }
};

struct KernelHandleKind {
  using Type = HANDLE;
  static HANDLE None() noexcept { return nullptr; }
  static bool IsNone(HANDLE handle) noexcept { return IsNoHandle(handle); }
  static void Close(HANDLE handle) noexcept { CloseHandle(handle); }
};

struct FindHandleKind {
  using Type = HANDLE;
  static HANDLE None() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsNone(HANDLE handle) noexcept { return IsNoHandle(handle); }
  static void Close(HANDLE handle) noexcept { FindClose(handle); }
};

struct LibraryKind {
  using Type = HMODULE;
  static HMODULE None() noexcept { return nullptr; }
  static bool IsNone(HMODULE module) noexcept { return module == nullptr; }
  static void Close(HMODULE module) noexcept { FreeLibrary(module); }
};

template <typename Interface>
struct ComReferenceKind {
  using Type = Interface*;
  static Interface* None() noexcept { return nullptr; }
  static bool IsNone(Interface* pointer) noexcept { return pointer == nullptr; }
  static void Close(Interface* pointer) noexcept { pointer->Release(); }
};

// An open registry key (RegOpenKeyEx, RegCreateKeyEx), closed with RegCloseKey.
using RegistryKey = UniqueHandle<RegistryKeyKind>;
// A kernel object (file, thread, process, snapshot), closed with CloseHandle.
using KernelHandle = UniqueHandle<KernelHandleKind>;
// A directory listing from FindFirstFile, closed with FindClose.
using FindHandle = UniqueHandle<FindHandleKind>;

// A reference to a library taken with LoadLibraryA, dropped with FreeLibrary.
class LibraryHandle : public UniqueHandle<LibraryKind> {
 public:
  // Drops any reference held, then loads the name or path; false when it cannot be loaded.
  bool Load(const char* name) noexcept {
    Reset();
    if (name != nullptr) Reset(LoadLibraryA(name));
    return IsOpen();
  }
};

// One reference to a COM interface, released with its Release.
template <typename Interface>
class ComPtr : public UniqueHandle<ComReferenceKind<Interface>> {
 public:
  Interface* operator->() const noexcept { return this->Get(); }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(this->Put()); }
};

// The named (or, through MAKEINTRESOURCEA, numbered) function of a loaded library as a pointer
// of its declared type, e.g. FindFunction<decltype(::SymCleanup)>(dbghelp, "SymCleanup"). Null
// when the library is null or does not export it. lookup stands in for GetProcAddress where a
// caller's platform table provides its own.
template <typename Function>
Function* FindFunction(HMODULE library, const char* name,
                       decltype(&::GetProcAddress) lookup = &::GetProcAddress) noexcept {
  if (library == nullptr || name == nullptr) return nullptr;
  const FARPROC found = lookup(library, name);
  // Through the generic function type: GCC accepts that cast without a warning, and the
  // caller's declared type is what the export really is.
  return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(found));
}

#endif  // _WIN32
