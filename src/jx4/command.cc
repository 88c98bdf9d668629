// What every jx4 command shares: error lines and the output folder.
#include "jx4/command.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/system_error.h"

namespace nimbrel {

void PrintError(const char* format, ...) {
  std::fputs("jx4: ", stderr);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
  std::fputc('\n', stderr);
}

bool PrepareOutputFolder(const std::string& path, const std::function<bool(const char*)>& open,
                         std::string* error) {
  std::error_code made;
  std::filesystem::create_directories(path, made);
  if (open(path.c_str())) return true;
  std::string reason = made ? made.message() : "";
  if (reason.empty()) {
    char words[128];
    DescribeSystemError(LastSystemError(), words, sizeof words);
    reason = words;
  }
  std::string text = "cannot use '" + path + "' as the output folder: " + reason +
                     "; check the path and its permissions";
  if (error != nullptr) {
    *error = text;
  } else {
    PrintError("%s", text.c_str());
  }
  return false;
}

}  // namespace nimbrel
