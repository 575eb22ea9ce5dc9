#include "standin_shell.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "shellfolders/shellconstants.h"
#include "shellfolders/widestring.h"
#include "shellfolders_test_support.h"

const wchar_t kPicturesLibraryName[] =
    L"::{031E4825-7B94-4DC3-B131-E946B44C8DD5}\\Pictures.library-ms";

namespace {

StandInShell* g_shell = nullptr;
HMODULE const kFakeModule = reinterpret_cast<HMODULE>(0x51A00000);

// A thread that entered the multithreaded apartment elsewhere has COM whatever CoInitialize says.
bool ComInForce() { return g_shell->comDepth > 0 || FAILED(g_shell->coInitializeResult); }

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", value);
  return text;
}

// A COM object of the stand-ins: counts itself, and checks at each release that the COM
// initialisation (and, for objects made through the shell module, the module load) that
// enclosed its making is still in force.
template <typename Interface>
class FakeObject : public Interface {
 public:
  explicit FakeObject(bool needsModule) : needsModule_(needsModule) { ++g_shell->liveObjects; }
  virtual ~FakeObject() { --g_shell->liveObjects; }

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    if (!ComInForce() || (needsModule_ && g_shell->loaded <= 0)) ++g_shell->outOfScope;
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, Own())) return E_NOINTERFACE;
    AddRef();
    *out = this;
    return S_OK;
  }

 protected:
  virtual const GUID& Own() const = 0;

 private:
  bool needsModule_;
  ULONG references_ = 1;
};

class FakeItem : public FakeObject<IShellItem> {
 public:
  FakeItem(std::wstring name, const StandInItem& answers, bool needsModule)
      : FakeObject(needsModule), name_(std::move(name)), answers_(answers) {}

  const std::wstring& Name() const { return name_; }
  const StandInItem& Answers() const { return answers_; }

  HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN form, LPWSTR* text) override {
    g_shell->calls.push_back("GetDisplayName " + Hex(static_cast<unsigned long>(form)));
    *text = nullptr;
    if (form != SIGDN_FILESYSPATH) return E_INVALIDARG;
    if (answers_.fileSystemPath.empty()) return E_FAIL;
    *text = static_cast<wchar_t*>(g_shell->AllocateText(answers_.fileSystemPath));
    return answers_.displayResult;
  }
  HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetParent(IShellItem**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Compare(IShellItem*, SICHINTF, int*) override { return E_NOTIMPL; }

 protected:
  const GUID& Own() const override { return kIidShellItem; }

 private:
  std::wstring name_;
  StandInItem answers_;
};

class FakeLibrary : public FakeObject<IShellLibrary> {
 public:
  FakeLibrary() : FakeObject(false) {}

  HRESULT STDMETHODCALLTYPE LoadLibraryFromItem(IShellItem* item, DWORD mode) override {
    g_shell->calls.push_back("LoadLibraryFromItem mode=" + std::to_string(mode));
    const auto* fake = dynamic_cast<FakeItem*>(item);
    if (!fake || !fake->Answers().isLibrary) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    saveFolder_ = fake->Answers().saveFolder;
    return g_shell->loadLibraryFromItemResult;
  }
  HRESULT STDMETHODCALLTYPE GetDefaultSaveFolder(DEFAULTSAVEFOLDERTYPE type, REFIID iid,
                                                 void** out) override {
    g_shell->calls.push_back("GetDefaultSaveFolder type=" + std::to_string(type) +
                             (IsEqualIID(iid, kIidShellItem) ? " IShellItem" : " other"));
    *out = nullptr;
    if (saveFolder_.empty()) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    StandInItem answers;
    answers.fileSystemPath = saveFolder_;
    *out = static_cast<IShellItem*>(new FakeItem(saveFolder_, answers, false));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE LoadLibraryFromKnownFolder(REFKNOWNFOLDERID, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE AddFolder(IShellItem*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveFolder(IShellItem*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFolders(LIBRARYFOLDERFILTER, REFIID, void**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ResolveFolder(IShellItem*, DWORD, REFIID, void**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetDefaultSaveFolder(DEFAULTSAVEFOLDERTYPE, IShellItem*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetOptions(LIBRARYOPTIONFLAGS*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetOptions(LIBRARYOPTIONFLAGS, LIBRARYOPTIONFLAGS) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetFolderType(FOLDERTYPEID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFolderType(REFFOLDERTYPEID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIcon(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetIcon(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Commit() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Save(IShellItem*, LPCWSTR, LIBRARYSAVEFLAGS, IShellItem**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SaveInKnownFolder(REFKNOWNFOLDERID, LPCWSTR, LIBRARYSAVEFLAGS,
                                              IShellItem**) override {
    return E_NOTIMPL;
  }

 protected:
  const GUID& Own() const override { return kIidShellLibrary; }

 private:
  std::wstring saveFolder_;
};

// ---- the stand-in platform functions

LSTATUS StandInReadRegistry(HKEY root, const wchar_t* subKey, const wchar_t* name, WideString& out) {
  g_shell->calls.push_back("Registry " + std::string(root == HKEY_CURRENT_USER ? "HKCU\\" : "?\\") +
                           Narrow(subKey) + "|" + Narrow(name));
  if (g_shell->preferenceStatus != ERROR_SUCCESS) return g_shell->preferenceStatus;
  out.Assign(g_shell->preference.c_str());
  return ERROR_SUCCESS;
}

HMODULE WINAPI StandInLoadLibrary(LPCSTR name) {
  g_shell->calls.push_back(std::string("LoadLibraryA ") + name);
  if (!g_shell->shellLoads) return nullptr;
  ++g_shell->loads;
  ++g_shell->loaded;
  return kFakeModule;
}

BOOL WINAPI StandInFreeLibrary(HMODULE module) {
  if (module != kFakeModule) ADD_FAILURE() << "FreeLibrary of a module the stand-in never loaded";
  --g_shell->loaded;
  return TRUE;
}

HRESULT WINAPI StandInCreateItem(PCWSTR path, IBindCtx* context, REFIID iid, void** out) {
  g_shell->calls.push_back("CreateItem " + Narrow(path) + (context ? " context" : "") +
                           (IsEqualIID(iid, kIidShellItem) ? " IShellItem" : " other"));
  *out = nullptr;
  const auto found = g_shell->items.find(path);
  if (found == g_shell->items.end()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  *out = static_cast<IShellItem*>(new FakeItem(path, found->second, true));
  return S_OK;
}

HRESULT WINAPI StandInKnownFolderIdList(REFKNOWNFOLDERID id, DWORD flags, HANDLE token,
                                        PIDLIST_ABSOLUTE* list) {
  g_shell->calls.push_back("KnownFolderIdList flags=" + Hex(flags) + (token ? " token" : ""));
  *list = nullptr;
  for (std::size_t i = 0; i < g_shell->knownFolders.size(); ++i) {
    if (IsEqualGUID(g_shell->knownFolders[i].first, id)) {
      void* block = CoTaskMemAlloc(sizeof(std::size_t));
      std::memcpy(block, &i, sizeof i);
      g_shell->liveIdLists.insert(block);
      *list = static_cast<PIDLIST_ABSOLUTE>(block);
      return S_OK;
    }
  }
  return E_INVALIDARG;  // what Wine answers for the pictures library
}

HRESULT WINAPI StandInNameFromIdList(PCIDLIST_ABSOLUTE list, SIGDN form, PWSTR* name) {
  g_shell->calls.push_back("NameFromIdList " + Hex(static_cast<unsigned long>(form)));
  *name = nullptr;
  if (!g_shell->nameFromIdListGivesText) return E_FAIL;
  std::size_t index = 0;
  std::memcpy(&index, list, sizeof index);
  *name = static_cast<wchar_t*>(g_shell->AllocateText(g_shell->knownFolders.at(index).second));
  return S_OK;
}

void WINAPI StandInIlFree(PIDLIST_RELATIVE list);

FARPROC WINAPI StandInGetProcAddress(HMODULE module, LPCSTR name) {
  if (module != kFakeModule) ADD_FAILURE() << "look-up in a module the stand-in never loaded";
  const std::string key =
      IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<std::uintptr_t>(name)) : name;
  g_shell->calls.push_back("GetProcAddress " + key);
  if (g_shell->missingFunctions.count(key)) return nullptr;
  void (*found)() = nullptr;
  if (key == "#155") {
    found = reinterpret_cast<void (*)()>(&StandInIlFree);
  } else if (IS_INTRESOURCE(name)) {
    // No other ordinal is known here.
  } else if (key == "ILFree") {
    ADD_FAILURE() << "ILFree looked up by name; shell32 may export it by ordinal only";
  } else if (std::strcmp(name, "SHCreateItemFromParsingName") == 0) {
    found = reinterpret_cast<void (*)()>(&StandInCreateItem);
  } else if (std::strcmp(name, "SHGetKnownFolderIDList") == 0) {
    found = reinterpret_cast<void (*)()>(&StandInKnownFolderIdList);
  } else if (std::strcmp(name, "SHGetNameFromIDList") == 0) {
    found = reinterpret_cast<void (*)()>(&StandInNameFromIdList);
  }
  return reinterpret_cast<FARPROC>(found);
}

HRESULT WINAPI StandInGetFolderPath(HWND window, int csidl, HANDLE token, DWORD flags, LPSTR path) {
  g_shell->calls.push_back("SHGetFolderPathA " + std::to_string(csidl) + " flags=" +
                           std::to_string(flags) + (window || token ? " extra" : ""));
  const auto found = g_shell->csidlFolders.find(csidl);
  if (found == g_shell->csidlFolders.end()) return E_FAIL;
  // Written even for a failure, to show that a failing answer's text is not used.
  std::snprintf(path, MAX_PATH, "%s", found->second.second.c_str());
  return found->second.first;
}

void WINAPI StandInIlFree(PIDLIST_RELATIVE list) {
  g_shell->calls.push_back("ILFree");
  if (!g_shell->liveIdLists.erase(list)) ADD_FAILURE() << "ILFree of an unknown ID list";
  if (g_shell->loaded <= 0) ++g_shell->outOfScope;
  CoTaskMemFree(list);
}

HRESULT WINAPI StandInCoInitialize(LPVOID reserved) {
  if (reserved) ADD_FAILURE() << "CoInitialize with a reserved argument";
  g_shell->calls.push_back("CoInitialize");
  if (FAILED(g_shell->coInitializeResult)) return g_shell->coInitializeResult;
  ++g_shell->comInits;
  ++g_shell->comDepth;
  return g_shell->comDepth > 1 ? S_FALSE : S_OK;
}

void WINAPI StandInCoUninitialize() {
  ++g_shell->comUninits;
  --g_shell->comDepth;
}

HRESULT WINAPI StandInCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                       LPVOID* out) {
  g_shell->calls.push_back(
      std::string("CoCreateInstance") + (IsEqualCLSID(clsid, kClsidShellLibrary) ? " ShellLibrary" : " other") +
      (outer ? " outer" : "") + " context=" + std::to_string(context) +
      (IsEqualIID(iid, kIidShellLibrary) ? " IShellLibrary" : " other"));
  *out = nullptr;
  if (!g_shell->librariesAvailable) return REGDB_E_CLASSNOTREG;  // as under Wine
  *out = static_cast<IShellLibrary*>(new FakeLibrary());
  return S_OK;
}

void WINAPI StandInCoTaskMemFree(LPVOID block) {
  // ID lists come from the task allocator too: CoTaskMemFree is the fall-back when ILFree is
  // missing.
  if (g_shell->liveIdLists.erase(block)) {
    g_shell->calls.push_back("CoTaskMemFree ID list");
    if (g_shell->loaded <= 0) ++g_shell->outOfScope;
  } else if (!g_shell->liveTexts.erase(block)) {
    ADD_FAILURE() << "CoTaskMemFree of an unknown text";
  }
  if (!ComInForce()) ++g_shell->outOfScope;
  CoTaskMemFree(block);
}

}  // namespace

StandInShell::StandInShell() {
  platform_ = {&StandInReadRegistry,  &StandInLoadLibrary,    &StandInFreeLibrary,
               &StandInGetProcAddress, &StandInGetFolderPath,  &StandInCoInitialize,
               &StandInCoUninitialize, &StandInCoCreateInstance, &StandInCoTaskMemFree};
  g_shell = this;
  UseMediaFolderPlatform(&platform_);
}

StandInShell::~StandInShell() {
  UseMediaFolderPlatform(nullptr);
  g_shell = nullptr;
}

StandInShell& StandInShell::Current() { return *g_shell; }

void* StandInShell::AllocateText(const std::wstring& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  void* block = CoTaskMemAlloc(bytes);
  std::memcpy(block, text.c_str(), bytes);
  liveTexts.insert(block);
  return block;
}

bool StandInShell::Called(const std::string& call) const {
  for (const std::string& made : calls) {
    if (made == call) return true;
  }
  return false;
}

int StandInShell::Count(const std::string& prefix) const {
  int count = 0;
  for (const std::string& made : calls) {
    if (made.compare(0, prefix.size(), prefix) == 0) ++count;
  }
  return count;
}

void StandInShell::ExpectEverythingGivenBack() const {
  EXPECT_EQ(loaded, 0) << "shell module loads not freed";
  EXPECT_EQ(comDepth, 0) << "COM initialisations not undone";
  EXPECT_EQ(comInits, comUninits);
  EXPECT_EQ(liveObjects, 0) << "COM objects not released";
  EXPECT_TRUE(liveTexts.empty()) << "shell texts not freed";
  EXPECT_TRUE(liveIdLists.empty()) << "ID lists not freed";
  EXPECT_EQ(outOfScope, 0) << "released or freed outside the scope that enclosed its use";
}
