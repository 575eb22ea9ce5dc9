// The DLL's outward surface read from its own PE headers: one export, system imports only, and
// the calling convention the host uses.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "plugindll.h"

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The loaded image: every RVA is an offset from the module base.
class Image {
 public:
  explicit Image(HMODULE module) : base_(reinterpret_cast<const BYTE*>(module)) {}

  const IMAGE_NT_HEADERS32* Headers() const {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base_);
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(base_ + dos->e_lfanew);
  }
  const IMAGE_DATA_DIRECTORY& Directory(int index) const {
    return Headers()->OptionalHeader.DataDirectory[index];
  }
  template <typename T>
  const T* At(DWORD rva) const {
    return reinterpret_cast<const T*>(base_ + rva);
  }

 private:
  const BYTE* base_;
};

class PeTables : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dll_.Loaded()) << "cannot load " << WF_PLUGIN_DLL; }
  PluginDll dll_;
};

TEST_F(PeTables, ExportsEventCallbackAlone) {
  Image image(dll_.Module());
  ASSERT_EQ(IMAGE_NT_SIGNATURE, image.Headers()->Signature);
  ASSERT_EQ(IMAGE_FILE_MACHINE_I386, image.Headers()->FileHeader.Machine);
  const IMAGE_DATA_DIRECTORY& directory = image.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  ASSERT_NE(0u, directory.VirtualAddress);
  const auto* exports = image.At<IMAGE_EXPORT_DIRECTORY>(directory.VirtualAddress);
  EXPECT_EQ(1u, exports->NumberOfFunctions) << "exports reachable by ordinal only";
  ASSERT_EQ(1u, exports->NumberOfNames);
  const DWORD* names = image.At<DWORD>(exports->AddressOfNames);
  EXPECT_STREQ("EventCallback", image.At<char>(names[0]));
  EXPECT_NE(nullptr, dll_.Callback());
  EXPECT_EQ(nullptr, GetProcAddress(dll_.Module(), "EventCallback@4"));
  EXPECT_EQ(nullptr, GetProcAddress(dll_.Module(), "_EventCallback@4"));
}

TEST_F(PeTables, ImportsSystemLibrariesOnly) {
  const std::vector<std::string> allowed = {"kernel32.dll", "advapi32.dll", "user32.dll",
                                            "shell32.dll",  "shlwapi.dll",  "ole32.dll",
                                            "gdi32.dll",    "version.dll",  "msvcrt.dll"};
  Image image(dll_.Module());
  const IMAGE_DATA_DIRECTORY& directory = image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  ASSERT_NE(0u, directory.VirtualAddress);
  std::vector<std::string> imported;
  for (const auto* entry = image.At<IMAGE_IMPORT_DESCRIPTOR>(directory.VirtualAddress);
       entry->Name != 0; ++entry) {
    imported.push_back(Lower(image.At<char>(entry->Name)));
  }
  EXPECT_FALSE(imported.empty());
  for (const std::string& name : imported) {
    EXPECT_NE(allowed.end(), std::find(allowed.begin(), allowed.end(), name))
        << name << " is not a system library the plug-in may import";
  }
  // Loaded later by name, never imported, not even delay-loaded.
  EXPECT_EQ(imported.end(), std::find(imported.begin(), imported.end(), "dbghelp.dll"));
  EXPECT_EQ(imported.end(), std::find(imported.begin(), imported.end(), "psapi.dll"));
  EXPECT_EQ(0u, image.Directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT).VirtualAddress);
}

// Calls the function with one pointer argument pushed and answers how many bytes the callee
// took off the stack: 4 under __stdcall, 0 under __cdecl.
int BytesRemovedByCallee(EventCallbackFunction function, const char* argument) {
  int before = 0;
  int after = 0;
  __asm__ volatile(
      "movl %%esp, %0\n\t"
      "pushl %2\n\t"
      "call *%3\n\t"
      "movl %%esp, %1\n\t"
      "movl %0, %%esp\n\t"
      : "=&S"(before), "=&D"(after)
      // The argument is pushed from memory before the stack moves; the function sits in EBX,
      // which the callee preserves.
      : "m"(argument), "b"(function)
      : "eax", "ecx", "edx", "memory", "cc");
  return after - before + 4;
}

TEST_F(PeTables, CalleeRemovesItsArgument) {
  EXPECT_EQ(4, BytesRemovedByCallee(dll_.Callback(), "Hello"));
}

}  // namespace
