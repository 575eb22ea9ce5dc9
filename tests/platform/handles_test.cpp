// The owners of handles and the typed look-up of functions.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>

#include "platform/handles.h"
#include "testfiles.h"
#include "testregistry.h"

namespace {

TEST(FindFunction, GivesTypedFunctionsAndNullForMissingOnes) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto process_id = FindFunction<decltype(::GetCurrentProcessId)>(kernel, "GetCurrentProcessId");
  ASSERT_NE(process_id, nullptr);
  EXPECT_EQ(process_id(), GetCurrentProcessId());
  EXPECT_EQ(FindFunction<decltype(::GetCurrentProcessId)>(kernel, "NoSuchFunctionAnywhere"), nullptr);
  EXPECT_EQ(FindFunction<decltype(::GetCurrentProcessId)>(nullptr, "GetCurrentProcessId"), nullptr);
  EXPECT_EQ(FindFunction<decltype(::GetCurrentProcessId)>(kernel, nullptr), nullptr);
}

// A look-up of our own in place of GetProcAddress, as a platform table gives one.
HMODULE g_asked_module = nullptr;
FARPROC WINAPI RecordingLookup(HMODULE module, LPCSTR name) {
  g_asked_module = module;
  return GetProcAddress(module, name);
}

TEST(FindFunction, AsksTheLookUpItIsGiven) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto tick = FindFunction<decltype(::GetTickCount)>(kernel, "GetTickCount", &RecordingLookup);
  EXPECT_EQ(g_asked_module, kernel);
  ASSERT_NE(tick, nullptr);
  g_asked_module = nullptr;
  EXPECT_EQ(FindFunction<decltype(::GetTickCount)>(nullptr, "GetTickCount", &RecordingLookup), nullptr);
  EXPECT_EQ(g_asked_module, nullptr) << "no module: nothing is asked";
}

// True while the handle is one this process has open.
bool IsOpenHandle(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(KernelHandle, NullAndInvalidHandleValueBothMeanNone) {
  const KernelHandle from_null(nullptr);
  const KernelHandle from_invalid(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(from_null.IsOpen());
  EXPECT_FALSE(from_invalid.IsOpen());
  EXPECT_EQ(from_invalid.Get(), nullptr) << "kept as null";
  TempFolder temp("handles");
  const KernelHandle missing(CreateFileA((temp / "missing").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                         nullptr));
  EXPECT_FALSE(missing.IsOpen());
}

TEST(KernelHandle, ClosesOnceOnEveryWayOutAndMovesItsOwnership) {
  HANDLE raw = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(raw, nullptr);
  {
    KernelHandle first(raw);
    KernelHandle second(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(second.Get(), raw);
    KernelHandle third;
    third = std::move(second);
    EXPECT_EQ(third.Get(), raw);
    EXPECT_TRUE(IsOpenHandle(raw));
  }
  EXPECT_FALSE(IsOpenHandle(raw)) << "closed with its last owner";

  HANDLE kept = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  {
    KernelHandle owner(kept);
    EXPECT_EQ(owner.Detach(), kept);
    EXPECT_FALSE(owner.IsOpen());
  }
  EXPECT_TRUE(IsOpenHandle(kept)) << "a detached handle is the caller's";
  CloseHandle(kept);

  HANDLE replaced = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  KernelHandle owner(replaced);
  owner.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  EXPECT_FALSE(IsOpenHandle(replaced)) << "the old handle is closed by a reset";
  EXPECT_TRUE(owner.IsOpen());
}

TEST(FindHandle, IsNoneOnAFailedListing) {
  TempFolder temp("listing");
  WIN32_FIND_DATAA entry;
  const FindHandle missing(FindFirstFileA((temp / "missing\\*").c_str(), &entry));
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.Get(), INVALID_HANDLE_VALUE);
  ASSERT_TRUE(WriteBytes(temp / "a.mp3", "x"));
  const FindHandle found(FindFirstFileA((temp / "*").c_str(), &entry));
  EXPECT_TRUE(found.IsOpen());
}

TEST_F(NorvaneRegistryTest, RegistryKeyClosesWithoutTouchingTheLastError) {
  RegistryKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Norvane\\HandleTest", 0, nullptr, 0, KEY_READ, nullptr,
                            key.Put(), nullptr),
            ERROR_SUCCESS);
  EXPECT_TRUE(key.IsOpen());
  SetLastError(ERROR_FILE_NOT_FOUND);
  key.Close();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(key.IsOpen());
}

TEST(LibraryHandle, LoadsAndDropsItsReference) {
  LibraryHandle library;
  EXPECT_FALSE(library.Load(nullptr));
  EXPECT_FALSE(library.Load("no-such-library-anywhere.dll"));
  ASSERT_TRUE(library.Load("version.dll"));
  EXPECT_EQ(library.Get(), GetModuleHandleA("version.dll"));
  library.Close();
  EXPECT_FALSE(library.IsOpen());
}

TEST(StdioFile, ClosesItsStream) {
  TempFolder temp("stdio");
  const std::string path = temp / "a.txt";
  {
    StdioFile file;
    ASSERT_TRUE(file.Open(path.c_str(), "w"));
    std::fputs("x", file.Get());
  }
  EXPECT_EQ(ReadBytes(path), "x") << "flushed and closed at the end of its scope";
  StdioFile missing;
  EXPECT_FALSE(missing.Open((temp / "no\\such\\file").c_str(), "r"));
  EXPECT_FALSE(missing);
}

}  // namespace
