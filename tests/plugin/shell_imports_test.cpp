// The shell functions the DLL imports by name keep it from loading wherever shell32 lacks one of
// those names: ILFree is exported by ordinal only on some systems, so it must not be among them.
#include <gtest/gtest.h>
#include <windows.h>

#include "importpatch.h"
#include "plugindll.h"

namespace {

void WINAPI UnusedStandIn() {}

TEST(ShellImports, ILFreeIsNotImportedByName) {
  const PluginDll dll;
  ASSERT_TRUE(dll.Loaded()) << "cannot load " << WF_PLUGIN_DLL;
  void* const standIn = reinterpret_cast<void*>(&UnusedStandIn);
  // The check itself finds a shell function the DLL does import by name.
  EXPECT_TRUE(ImportPatch(dll.Module(), "shell32.dll", "SHGetFolderPathA", standIn).Applied());
  EXPECT_FALSE(ImportPatch(dll.Module(), "shell32.dll", "ILFree", standIn).Applied());
}

}  // namespace
