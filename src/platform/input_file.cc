// The part of the input file service that is the same on every system: it
// builds on ReadInputFile alone.
#include "platform/input_file.h"

namespace nimbrel {

int32_t ReadInputFully(int32_t fd, void* buffer, int32_t length, bool* failed) {
  int32_t done = 0;
  while (done < length) {
    int32_t got = ReadInputFile(fd, static_cast<char*>(buffer) + done, length - done);
    if (got < 0 && failed != nullptr) *failed = true;
    if (got <= 0) break;
    done += got;
  }
  return done;
}

}  // namespace nimbrel
