#include "folderwatch.h"

bool FolderWatch::Arm(DWORD* error) {
  if (Armed()) return true;
  Identity identity;
  if (!ReadIdentity(&identity)) {
    *error = GetLastError();
    return false;
  }
  // The subtree too: a change anywhere below the folder is a change of the folder.
  handle_.Reset(FindFirstChangeNotificationA(path_.c_str(), TRUE,
                                             FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                                 FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE));
  if (!Armed()) {
    *error = GetLastError();
    return false;
  }
  identity_ = identity;
  return true;
}

bool FolderWatch::Continue() {
  if (Armed() && FindNextChangeNotification(handle_.Get())) return true;
  Disarm();
  return false;
}

bool FolderWatch::StillSameFolder() const {
  Identity now;
  return ReadIdentity(&now) && now == identity_;
}

bool FolderWatch::ReadIdentity(Identity* identity) const {
  // Backup semantics open a directory; no access right is needed to read its identity.
  FileHandle folder(CreateFileA(path_.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!folder.Valid() || !GetFileInformationByHandle(folder.Get(), &info)) return false;
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetLastError(ERROR_DIRECTORY);
    return false;
  }
  *identity = Identity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}
