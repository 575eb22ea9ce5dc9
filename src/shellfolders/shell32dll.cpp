#include "shellfolders/shell32dll.h"

#include "shellfolders/comowners.h"
#include "shellfolders/shellconstants.h"
#include "shellfolders/widestring.h"

namespace {

// Owns one item ID list from the shell; frees it with ILFree.
class IdList {
 public:
  IdList() = default;
  ~IdList() {
    if (list_) GetMediaFolderPlatform().ilFree(list_);
  }
  IdList(const IdList&) = delete;
  IdList& operator=(const IdList&) = delete;

  PIDLIST_ABSOLUTE* Put() { return &list_; }
  PIDLIST_ABSOLUTE Get() const { return list_; }

 private:
  PIDLIST_ABSOLUTE list_ = nullptr;
};

}  // namespace

CShell32DLL::CShell32DLL()
    : module_(GetMediaFolderPlatform().loadLibraryA("shell32.dll")),
      comInitialized_(SUCCEEDED(GetMediaFolderPlatform().coInitialize(nullptr)) ? TRUE : FALSE) {}

CShell32DLL::~CShell32DLL() {
  if (comInitialized_) GetMediaFolderPlatform().coUninitialize();
  if (module_) GetMediaFolderPlatform().freeLibrary(module_);
}

HRESULT CShell32DLL::CreateItemFromParsingName(const wchar_t* path, IShellItem** item) const {
  if (!path || !item) return E_INVALIDARG;
  *item = nullptr;
  if (!module_) return E_FAIL;
  auto* const create = LookUp<decltype(::SHCreateItemFromParsingName)>("SHCreateItemFromParsingName");
  if (!create) return E_FAIL;
  const HRESULT result = create(path, nullptr, kIidShellItem, reinterpret_cast<void**>(item));
  if (SUCCEEDED(result) && !*item) return E_FAIL;
  return result;
}

HRESULT CShell32DLL::GetKnownFolderName(REFKNOWNFOLDERID id, SIGDN form, ByteString& name) const {
  if (!module_) return E_FAIL;
  auto* const getIdList = LookUp<decltype(::SHGetKnownFolderIDList)>("SHGetKnownFolderIDList");
  auto* const getName = LookUp<decltype(::SHGetNameFromIDList)>("SHGetNameFromIDList");
  if (!getIdList || !getName) return E_FAIL;

  IdList list;
  if (FAILED(getIdList(id, kKnownFolderFlagCreate, nullptr, list.Put())) || !list.Get()) {
    return E_FAIL;
  }
  // The name call's own result is not consulted: a text is what counts.
  CoTaskMemText text;
  getName(list.Get(), form, text.Put());
  if (!text) return E_FAIL;
  ByteString converted;
  if (!WideToAnsi(text.Get(), converted)) return E_FAIL;
  name.Swap(converted);
  return S_OK;
}
