// Reading the names in one directory.
#ifndef NIMBREL_PLATFORM_DIRECTORY_SEARCH_H_
#define NIMBREL_PLATFORM_DIRECTORY_SEARCH_H_

#include <vector>

namespace nimbrel {

// Appends every entry name of `directory` (not "." or "..", nothing from
// subdirectories) to `names`, each followed by a zero byte, in the order
// the system yields them. False when the directory cannot be read; `names`
// may then hold part of the listing.
bool ListDirectory(const char* directory, std::vector<char>* names);

}  // namespace nimbrel

#endif  // NIMBREL_PLATFORM_DIRECTORY_SEARCH_H_
