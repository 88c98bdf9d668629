#include <cstdio>

int main() {
  std::printf("Nimbrel version 1.31\n\n");
  return 0;
}
