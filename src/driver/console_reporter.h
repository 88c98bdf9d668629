// The console program's reporter: prints the progress line and the "***"
// lines, byte for byte as the program always has, flushing where it always
// has, to standard output.
#ifndef NIMBREL_DRIVER_CONSOLE_REPORTER_H_
#define NIMBREL_DRIVER_CONSOLE_REPORTER_H_

#include "conversion/run_context.h"

namespace nimbrel {

class ConsoleReporter : public Reporter {
 public:
  void Examining(const char* input, const char* member) override;
  void Product(const ProductEvent& event) override;
  void InputEnded(const InputEvent& event) override;
};

}  // namespace nimbrel

#endif  // NIMBREL_DRIVER_CONSOLE_REPORTER_H_
