// The system's error codes, in words: why a file could not be created or
// written ("Permission denied", "No space left on device").
#ifndef NIMBREL_PLATFORM_SYSTEM_ERROR_H_
#define NIMBREL_PLATFORM_SYSTEM_ERROR_H_

#include <cstddef>

namespace nimbrel {

// The code of the calling thread's last failed system call (errno; on
// Windows GetLastError()).
int LastSystemError();

// Whether `code` says that the name exists already.
bool IsExistsError(int code);

// Whether `code` says that the name, or a folder on its way, does not exist.
bool IsNotFoundError(int code);
// A code that says so.
int NotFoundError();

// The system's words for `code`, zero-terminated in `buffer` of `size`
// bytes (cut when longer); "unknown error" when it has none.
void DescribeSystemError(int code, char* buffer, size_t size);

}  // namespace nimbrel

#endif  // NIMBREL_PLATFORM_SYSTEM_ERROR_H_
