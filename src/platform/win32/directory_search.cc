#include "platform/directory_search.h"

#include <windows.h>

#include <cstring>

#include "platform/path.h"

namespace nimbrel {

bool ListDirectory(const char* directory, std::vector<char>* names) {
  char pattern[kPathBufferSize];
  if (!PathCombine(pattern, directory, "*")) return false;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;  // empty
  do {
    const char* name = entry.cFileName;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    names->insert(names->end(), name, name + std::strlen(name) + 1);
  } while (FindNextFileA(search, &entry));
  bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  return complete;
}

}  // namespace nimbrel
