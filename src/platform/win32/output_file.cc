// The folder is held by a handle that lets others read, write and rename
// it; each file is named by the path the folder has at that moment (asked
// of the handle), so files follow the folder as a POSIX folder descriptor
// would. A name that is a reparse point (a symbolic link or junction) is
// opened as itself and refused, never followed. The lock is a byte-range
// lock over the whole file (LockFileEx), which waits for other holders,
// other handles of this process included. Unlike the advisory POSIX lock it
// is mandatory: while a store holds a file, reads of it through other
// handles fail instead of seeing a store half done; a file opened for
// reading takes the shared kind. Folders on a name's way are made with
// CreateDirectory. Windows has no file-size limit signal, so nothing is set
// up for one.
#include "platform/output_file.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace nimbrel {

namespace {

HANDLE AsHandle(int64_t handle) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)); }
int64_t FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? -1 : static_cast<int64_t>(reinterpret_cast<intptr_t>(handle));
}

// The folder's present path joined with `name`; false when the handle
// cannot say where the folder is.
bool PathInFolder(const OutputFolder& folder, const char* name, std::string* path) {
  char buffer[MAX_PATH + 1];
  DWORD length = GetFinalPathNameByHandleA(AsHandle(folder.handle()), buffer, sizeof buffer,
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= sizeof buffer) return false;
  path->assign(buffer, length);
  if (path->back() != '\\') *path += '\\';
  *path += name;
  return true;
}

// Opens `name` in `folder` as itself (a link is not followed); closes and
// refuses it when it is a reparse point.
HANDLE OpenInFolder(const OutputFolder& folder, const char* name, DWORD access, DWORD sharing,
                    DWORD disposition) {
  std::string path;
  if (!folder.IsOpen() || !PathInFolder(folder, name, &path)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE file = CreateFileA(path.c_str(), access, sharing, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  BY_HANDLE_FILE_INFORMATION details;
  if (!GetFileInformationByHandle(file, &details) ||
      (details.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(file);
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

OVERLAPPED At(int64_t offset) {
  OVERLAPPED position = {};
  position.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
  position.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return position;
}

// Makes the folders on the way to `name` in `folder` that are missing;
// false when one cannot be made.
bool MakeFolders(const OutputFolder& folder, const char* name) {
  std::string path;
  if (!folder.IsOpen() || !PathInFolder(folder, name, &path)) return false;
  size_t start = path.size() - std::strlen(name);
  for (size_t at = path.find_first_of("\\/", start); at != std::string::npos;
       at = path.find_first_of("\\/", at + 1)) {
    if (at == start) continue;
    if (!CreateDirectoryA(path.substr(0, at).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return true;
}

}  // namespace

OutputFolder::~OutputFolder() {
  if (handle_ >= 0) CloseHandle(AsHandle(handle_));
}

bool OutputFolder::Open(const char* path) {
  if (handle_ >= 0) CloseHandle(AsHandle(handle_));
  HANDLE folder = CreateFileA(path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION details;
  if (folder != INVALID_HANDLE_VALUE &&
      (!GetFileInformationByHandle(folder, &details) ||
       (details.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)) {
    CloseHandle(folder);
    folder = INVALID_HANDLE_VALUE;
  }
  handle_ = FromHandle(folder);
  return handle_ >= 0;
}

bool OutputFile::Open(const OutputFolder& folder, const char* name) {
  Close();
  HANDLE file = OpenInFolder(folder, name, GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND &&
      MakeFolders(folder, name)) {
    file = OpenInFolder(folder, name, GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
  }
  return Take(FromHandle(file), LOCKFILE_EXCLUSIVE_LOCK);
}

bool OutputFile::OpenExisting(const OutputFolder& folder, const char* name) {
  Close();
  return Take(FromHandle(OpenInFolder(folder, name, GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING)),
              LOCKFILE_EXCLUSIVE_LOCK);
}

bool OutputFile::OpenForReading(const OutputFolder& folder, const char* name) {
  Close();
  HANDLE file = OpenInFolder(folder, name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             OPEN_EXISTING);
  BY_HANDLE_FILE_INFORMATION details;
  if (file != INVALID_HANDLE_VALUE &&
      (!GetFileInformationByHandle(file, &details) ||
       (details.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    SetLastError(ERROR_DIRECTORY);
  }
  return Take(FromHandle(file), 0);
}

bool OutputFile::Take(int64_t handle, int how) {
  if (handle < 0) {
    error_ = static_cast<int>(GetLastError());
    return false;
  }
  OVERLAPPED whole = At(0);
  if (!LockFileEx(AsHandle(handle), static_cast<DWORD>(how), 0, MAXDWORD, MAXDWORD, &whole)) {
    error_ = static_cast<int>(GetLastError());
    CloseHandle(AsHandle(handle));
    return false;
  }
  handle_ = handle;
  return true;
}

bool OutputFile::CreateNew(const OutputFolder& folder, const char* name) {
  Close();
  handle_ = FromHandle(OpenInFolder(folder, name, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW));
  if (handle_ < 0) error_ = static_cast<int>(GetLastError());
  return handle_ >= 0;
}

bool OutputFolder::Remove(const char* name) const {
  std::string path;
  return IsOpen() && PathInFolder(*this, name, &path) && DeleteFileA(path.c_str()) != 0;
}

int32_t OutputFile::ReadAt(int64_t offset, void* buffer, int32_t length) {
  int32_t done = 0;
  while (done < length) {
    OVERLAPPED position = At(offset + done);
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), static_cast<char*>(buffer) + done,
                  static_cast<DWORD>(length - done), &got, &position)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<int32_t>(got);
  }
  return done;
}

bool OutputFile::WriteAt(int64_t offset, const void* buffer, int32_t length) {
  int32_t done = 0;
  while (done < length) {
    OVERLAPPED position = At(offset + done);
    DWORD put = 0;
    if (!WriteFile(AsHandle(handle_), static_cast<const char*>(buffer) + done,
                   static_cast<DWORD>(length - done), &put, &position) ||
        put == 0) {
      return false;
    }
    done += static_cast<int32_t>(put);
  }
  return true;
}

int64_t OutputFile::Size() {
  LARGE_INTEGER size;
  return GetFileSizeEx(AsHandle(handle_), &size) ? size.QuadPart : -1;
}

bool OutputFile::Truncate(int64_t length) {
  LARGE_INTEGER position;
  position.QuadPart = length;
  return SetFilePointerEx(AsHandle(handle_), position, nullptr, FILE_BEGIN) &&
         SetEndOfFile(AsHandle(handle_));
}

bool OutputFile::Sync() { return FlushFileBuffers(AsHandle(handle_)) != 0; }

bool OutputFile::Close() {
  if (handle_ < 0) return true;
  HANDLE file = AsHandle(handle_);
  handle_ = -1;
  OVERLAPPED whole = At(0);
  UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);  // fails harmlessly after CreateNew
  return CloseHandle(file) != 0;
}

}  // namespace nimbrel
