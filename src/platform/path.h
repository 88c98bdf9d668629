// Paths: the buffer size every path is built in, and joining a folder and a
// name with the system's separator.
#ifndef NIMBREL_PLATFORM_PATH_H_
#define NIMBREL_PLATFORM_PATH_H_

#include <cstdint>

namespace nimbrel {

// Paths and file names are built in buffers of this many bytes.
inline constexpr int32_t kPathBufferSize = 260;

// The separator put between a folder and a name.
extern const char kPathSeparator;

// Whether a path ending in `c` names a folder a name can follow directly,
// with no separator put between (a separator; on Windows also a drive's
// colon).
bool EndsAFolder(char c);

// The last name of `path`: what follows its last folder separator ('/'
// everywhere, '\\' too: archive members and Windows paths use both).
const char* BaseName(const char* path);

// Joins `directory` and `name` with exactly one separator (none added after
// a trailing one, or to an empty directory) into `buffer` of 260 bytes;
// false, buffer untouched, when that does not fit.
bool PathCombine(char* buffer, const char* directory, const char* name);

}  // namespace nimbrel

#endif  // NIMBREL_PLATFORM_PATH_H_
