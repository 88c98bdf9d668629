#include "driver/driver.h"
#include "platform/signals.h"

int main(int argc, char** argv) {
  nimbrel::IgnoreFileSizeLimitSignal();
  return nimbrel::RunNimbrel(argc, argv);
}
