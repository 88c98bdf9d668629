#include "jx4/jx4.h"
#include "platform/signals.h"

int main(int argc, char** argv) {
  nimbrel::IgnoreFileSizeLimitSignal();
  return nimbrel::RunJx4(argc, argv);
}
