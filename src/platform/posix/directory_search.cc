#include "platform/directory_search.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>

namespace nimbrel {

bool ListDirectory(const char* directory, std::vector<char>* names) {
  DIR* stream = opendir(directory);
  if (stream == nullptr) return false;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(stream);
    if (entry == nullptr) break;
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    names->insert(names->end(), name, name + std::strlen(name) + 1);
  }
  bool complete = errno == 0;
  closedir(stream);
  return complete;
}

}  // namespace nimbrel
