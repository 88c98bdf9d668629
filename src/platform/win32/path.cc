#include "platform/path.h"

namespace nimbrel {

const char kPathSeparator = '\\';

// Either separator, or a drive: "C:" names the drive's current folder, so
// "C:" and "a" make "C:a".
bool EndsAFolder(char c) { return c == '\\' || c == '/' || c == ':'; }

}  // namespace nimbrel
