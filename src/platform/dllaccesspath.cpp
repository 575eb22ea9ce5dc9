#include "platform/dllaccesspath.h"

#include <cstdlib>
#include <new>

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
