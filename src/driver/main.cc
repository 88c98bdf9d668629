#include "driver/driver.h"

int main(int argc, char** argv) { return nimbrel::RunNimbrel(argc, argv); }
