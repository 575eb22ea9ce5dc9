#include "text/dllaccesspath.h"

#include <cstdlib>
#include <new>

namespace {

constexpr DWORD kPathBuffer = MAX_PATH;

bool EndsWithBackslash(const ByteString& text) {
  return !text.IsEmpty() && text.ReverseFind('\\') == text.Length() - 1;
}

}  // namespace

ParsedPath GetProcessImagePath() {
  char buffer[kPathBuffer] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, kPathBuffer);
  // A result that fills the buffer was cut (and may lack its NUL on older systems): a cut path
  // names some other file, so it counts as unknown.
  if (length == 0 || length >= kPathBuffer) return ParsedPath();
  return ParsedPath(ByteString(buffer, static_cast<int>(length)));
}

ParsedPath GetProcessImageDirectory() {
  const ParsedPath image = GetProcessImagePath();
  if (!image.IsValid()) return ParsedPath();
  return image.DriveAndDirectory();
}

ParsedPath GetDataCacheDirectory() {
  ByteString text = GetProcessImageDirectory().GetPath();
  if (!text.IsEmpty() && !EndsWithBackslash(text)) text.Append('\\');
  text.Append("DataCache");
  return ParsedPath(text);
}

bool DirectoryExists(const ParsedPath& path) {
  const DWORD attributes = GetFileAttributesA(path.GetPath().CStr());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

HRESULT CreateDirectoryPath(const ParsedPath& path) {
  if (DirectoryExists(path)) return S_OK;

  ParsedPath current = path.Drive();
  ByteString rest = path.GetPath();
  if (current.IsValid()) {
    rest.Replace(current.GetPath().CStr(), "", false);
  } else if (rest.CStr()[0] == '\\') {
    // Rooted at the current drive: start from that root, or Join would make the path relative.
    current = ParsedPath("\\");
  }

  const int fields = rest.CountFields('\\');
  for (int index = 1; index <= fields; ++index) {
    ByteString field = rest.Field('\\', index);
    field.TrimLeft();
    field.TrimRight();
    if (field.IsEmpty()) continue;
    current = current.Join(field.CStr());
    if (!current.IsValid()) return E_FAIL;  // out of memory
    if (!DirectoryExists(current) && !CreateDirectoryA(current.GetPath().CStr(), nullptr)) {
      return E_FAIL;
    }
  }
  // With no level left to create (a drive root, a bare server) nothing above has checked that
  // the root is there: answer for what exists now, not for what was attempted.
  return DirectoryExists(current) ? S_OK : E_FAIL;
}

void ByteStringMap::RemoveAll() {
  if (buckets_) {
    for (unsigned bucket = 0; bucket < bucket_count_; ++bucket) {
      for (Entry* entry = buckets_[bucket]; entry; entry = entry->next) {
        entry->key.~ByteString();
        entry->value.~ByteString();
      }
    }
    delete[] buckets_;
    buckets_ = nullptr;
  }
  count_ = 0;
  free_list_ = nullptr;
  while (blocks_) {
    Block* next = blocks_->next;
    ::operator delete(blocks_);
    blocks_ = next;
  }
}

DLLAccessPath::~DLLAccessPath() { RestoreEnvironment(); }

long DLLAccessPath::AddRef() { return InterlockedIncrement(&references_); }

long DLLAccessPath::Release() {
  const long count = InterlockedDecrement(&references_);
  if (count > 0) return references_;
  delete this;
  return 0;
}

HRESULT DLLAccessPath::RestoreEnvironment() {
  if (saved_assignment_.IsEmpty()) return S_OK;
  const int result = _putenv(saved_assignment_.CStr());
  saved_assignment_.Clear();
  return result == 0 ? S_OK : E_FAIL;
}
