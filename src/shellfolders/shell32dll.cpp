#include "shellfolders/shell32dll.h"

#include "shellfolders/comowners.h"
#include "shellfolders/shellconstants.h"
#include "shellfolders/widestring.h"

namespace {

// ILFree is looked up by its ordinal, never imported: some shell32 versions export it by ordinal
// only, and an import by name would keep the whole module from loading there.
LPCSTR IlFreeOrdinal() { return MAKEINTRESOURCEA(155); }

// Owns one item ID list from the shell. It is freed with ILFree when the shell module has it, and
// otherwise with CoTaskMemFree: ILFree frees with the COM task allocator on every Windows version,
// so the list is given back either way.
class IdList {
 public:
  explicit IdList(decltype(::ILFree)* il_free) : ilFree_(il_free) {}
  ~IdList() {
    if (!list_) return;
    if (ilFree_) {
      ilFree_(list_);
    } else {
      GetMediaFolderPlatform().coTaskMemFree(list_);
    }
  }
  IdList(const IdList&) = delete;
  IdList& operator=(const IdList&) = delete;

  PIDLIST_ABSOLUTE* Put() { return &list_; }
  PIDLIST_ABSOLUTE Get() const { return list_; }

 private:
  decltype(::ILFree)* ilFree_;
  PIDLIST_ABSOLUTE list_ = nullptr;
};

}  // namespace

CShell32DLL::CShell32DLL()
    : module_(GetMediaFolderPlatform().loadLibraryA("shell32.dll")),
      comInitialized_(SUCCEEDED(GetMediaFolderPlatform().coInitialize(nullptr)) ? TRUE : FALSE) {}

// COM is undone here; the module is freed after it, when module_ is destroyed.
CShell32DLL::~CShell32DLL() {
  if (comInitialized_) GetMediaFolderPlatform().coUninitialize();
}

HRESULT CShell32DLL::CreateItemFromParsingName(const wchar_t* path, IShellItem** item) const {
  if (!path || !item) return E_INVALIDARG;
  *item = nullptr;
  if (!IsLoaded()) return E_FAIL;
  auto* const create = LookUp<decltype(::SHCreateItemFromParsingName)>("SHCreateItemFromParsingName");
  if (!create) return E_FAIL;
  const HRESULT result = create(path, nullptr, kIidShellItem, reinterpret_cast<void**>(item));
  if (SUCCEEDED(result) && !*item) return E_FAIL;
  return result;
}

HRESULT CShell32DLL::GetKnownFolderName(REFKNOWNFOLDERID id, SIGDN form, ByteString& name) const {
  if (!IsLoaded()) return E_FAIL;
  auto* const get_id_list = LookUp<decltype(::SHGetKnownFolderIDList)>("SHGetKnownFolderIDList");
  auto* const get_name = LookUp<decltype(::SHGetNameFromIDList)>("SHGetNameFromIDList");
  if (!get_id_list || !get_name) return E_FAIL;

  IdList list(LookUp<decltype(::ILFree)>(IlFreeOrdinal()));
  if (FAILED(get_id_list(id, KF_FLAG_CREATE, nullptr, list.Put())) || !list.Get()) {
    return E_FAIL;
  }
  // The name call's own result is not consulted: a text is what counts.
  CoTaskMemText text;
  get_name(list.Get(), form, text.Put());
  if (!text) return E_FAIL;
  ByteString converted;
  if (!WideToAnsi(text.Get(), converted)) return E_FAIL;
  name.Swap(converted);
  return S_OK;
}
