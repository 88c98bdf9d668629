#include "platform/system_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace nimbrel {

int LastSystemError() { return errno; }

bool IsExistsError(int code) { return code == EEXIST; }

bool IsNotFoundError(int code) { return code == ENOENT; }

int NotFoundError() { return ENOENT; }

namespace {

// strerror_r comes in two kinds; each overload takes what its kind returns.
[[maybe_unused]] const char* Words(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* Words(const char* result, const char* /*buffer*/) { return result; }

}  // namespace

void DescribeSystemError(int code, char* buffer, size_t size) {
  if (size == 0) return;
  char words[256] = {};
  const char* text = Words(strerror_r(code, words, sizeof words), words);
  std::snprintf(buffer, size, "%s", text != nullptr && text[0] != '\0' ? text : "unknown error");
}

}  // namespace nimbrel
