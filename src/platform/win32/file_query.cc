#include "platform/file_query.h"

#include <windows.h>

namespace nimbrel {

namespace {

int64_t Combine(DWORD high, DWORD low) {
  return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
}

// A link (reparse point) is followed by opening what it names: only
// attribute access, every sharing allowed, folders included.
PathInfo QueryTarget(const char* path) {
  PathInfo info;
  HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return info;
  BY_HANDLE_FILE_INFORMATION details;
  if (GetFileInformationByHandle(file, &details)) {
    if (details.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      info.kind = PathKind::kDirectory;
    } else if (GetFileType(file) == FILE_TYPE_DISK) {
      info.kind = PathKind::kRegularFile;
      info.size = Combine(details.nFileSizeHigh, details.nFileSizeLow);
    } else {
      info.kind = PathKind::kOther;
    }
  }
  CloseHandle(file);
  return info;
}

}  // namespace

PathInfo QueryPath(const char* path) {
  PathInfo info;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return info;
  DWORD attributes = data.dwFileAttributes;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return QueryTarget(path);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    info.kind = PathKind::kDirectory;
  } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
    info.kind = PathKind::kOther;
  } else {
    info.kind = PathKind::kRegularFile;
    info.size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
  }
  return info;
}

bool CurrentDirectory(char* buffer, int32_t size) {
  if (size <= 0) return false;
  DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(size), buffer);
  if (length > 0 && length < static_cast<DWORD>(size)) return true;  // else: failed, or the size needed
  buffer[0] = '\0';
  return false;
}

}  // namespace nimbrel
