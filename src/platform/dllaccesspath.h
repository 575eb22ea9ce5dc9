// DLLAccessPath: the install-path resolver object, one of the module's static objects, with the
// directory kinds it is organised around and its map. Its layout is fixed; the paths themselves
// come from installpaths.h. Windows only: it counts references with interlocked operations and
// puts back an environment assignment with _putenv.
#pragma once

#include <windows.h>

#include "text/bytestring.h"

// The directory kinds the resolver is organised around; no operation of the module resolves one.
enum DirectoryKind {
  DT_NotDef, DT_Plugins, DT_Codecs, DT_EncSDK, DT_Common, DT_Update_OB, DT_Objbrokr, DT_VXAPlugins
};

// A hash map from ByteString to ByteString, kept in blocks of entries. The resolver owns one;
// nothing in the module adds to it, so it costs one small object and never allocates.
class ByteStringMap {
 public:
  ByteStringMap() = default;
  ~ByteStringMap() { RemoveAll(); }
  ByteStringMap(const ByteStringMap&) = delete;
  ByteStringMap& operator=(const ByteStringMap&) = delete;

  // Clears every entry's key and value and frees the bucket table and the entry blocks.
  void RemoveAll();

  int Count() const { return count_; }
  unsigned BucketCount() const { return bucket_count_; }
  int EntriesPerBlock() const { return block_size_; }
  bool HasBucketTable() const { return buckets_ != nullptr; }

 private:
  struct Entry {
    Entry* next;
    unsigned hash;
    ByteString key;
    ByteString value;
  };
  struct Block {
    Block* next;
  };

  Entry** buckets_ = nullptr;
  unsigned bucket_count_ = 17;
  int count_ = 0;
  Entry* free_list_ = nullptr;
  Block* blocks_ = nullptr;
  int block_size_ = 10;
  int flag_ = 1;
};

// The module-wide resolver object. Reference counted with interlocked operations; the module's
// static instance is never handed to AddRef or Release. On destruction it puts back a saved
// environment assignment (none is ever saved within the module) and empties its map.
class DLLAccessPath {
 public:
  DLLAccessPath() = default;
  virtual ~DLLAccessPath();
  DLLAccessPath(const DLLAccessPath&) = delete;
  DLLAccessPath& operator=(const DLLAccessPath&) = delete;

  // The new count.
  virtual long AddRef();
  // The count left; at 0 or below the object deletes itself (it must come from new) and
  // answers 0.
  virtual long Release();

  // An assignment in _putenv's form ("NAME=value"), put back into the environment when the
  // object is destroyed.
  void SaveEnvironmentAssignment(const ByteString& assignment) { saved_assignment_ = assignment; }
  const ByteString& SavedEnvironmentAssignment() const { return saved_assignment_; }
  long ReferenceCount() const { return references_; }
  const ByteStringMap& Map() const { return map_; }

 private:
  // S_OK, or E_FAIL when _putenv refuses the assignment; clears it either way.
  HRESULT RestoreEnvironment();

  volatile long references_ = 0;
  ByteStringMap map_;
  ByteString saved_assignment_;
};
