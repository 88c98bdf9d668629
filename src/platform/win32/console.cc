// From a console the key is read with _getch, which takes it without Enter
// and with the console's line editing and echo off for just that read (so
// nothing is left to restore), and Ctrl-C arrives as an ordinary key. The
// echo goes through stdout, as on other systems, so that a transcript of
// stdout holds it.
#include "platform/console.h"

#include <conio.h>
#include <io.h>

#include <cstdio>

#include "platform/standard_streams.h"

namespace nimbrel {

namespace {

int32_t ReadByte() {
  unsigned char byte;
  return _read(0, &byte, 1) == 1 ? byte : -1;
}

}  // namespace

int32_t ReadKeyWithEcho() {
  int32_t key = IsTerminal(0) ? (_getch() & 0xFF) : ReadByte();
  if (key >= 0) {
    std::putchar(key);
    std::fflush(stdout);
  }
  return key;
}

void WaitForInputByte() { ReadByte(); }

}  // namespace nimbrel
