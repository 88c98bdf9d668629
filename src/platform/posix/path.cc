#include "platform/path.h"

namespace nimbrel {

const char kPathSeparator = '/';

bool EndsAFolder(char c) { return c == kPathSeparator; }

}  // namespace nimbrel
