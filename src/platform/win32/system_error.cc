#include "platform/system_error.h"

#include <windows.h>

#include <cstdio>

namespace nimbrel {

int LastSystemError() { return static_cast<int>(GetLastError()); }

bool IsExistsError(int code) { return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS; }

bool IsNotFoundError(int code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

int NotFoundError() { return ERROR_FILE_NOT_FOUND; }

void DescribeSystemError(int code, char* buffer, size_t size) {
  if (size == 0) return;
  char words[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(code), 0, words, sizeof words, nullptr);
  // The system's text ends in a full stop and a line end.
  while (length > 0 && (words[length - 1] == '\n' || words[length - 1] == '\r' ||
                        words[length - 1] == '.' || words[length - 1] == ' ')) {
    words[--length] = '\0';
  }
  std::snprintf(buffer, size, "%s", length > 0 ? words : "unknown error");
}

}  // namespace nimbrel
