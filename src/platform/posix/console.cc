#include "platform/console.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace nimbrel {

namespace {

// The terminal's settings while a key is awaited, for the signal handler.
termios savedSettings;
volatile sig_atomic_t settingsChanged = 0;

constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
constexpr int kEndingSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];

// Puts the terminal back, then lets the signal take its default course.
void OnEndingSignal(int signal) {
  if (settingsChanged) tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings);
  raise(signal);  // the handler was reset to the default on entry
}

int32_t ReadByte() {
  unsigned char byte;
  ssize_t got;
  do {
    got = read(STDIN_FILENO, &byte, 1);
  } while (got < 0 && errno == EINTR);
  return got == 1 ? byte : -1;
}

// One key from the terminal with line editing, echo and the signal keys
// off (Ctrl-C is then just a key that is not yes).
int32_t ReadTerminalKey() {
  struct sigaction handler = {};
  handler.sa_handler = OnEndingSignal;
  handler.sa_flags = SA_RESETHAND;
  struct sigaction previous[kEndingSignalCount];
  for (int i = 0; i < kEndingSignalCount; ++i) sigaction(kEndingSignals[i], &handler, &previous[i]);

  termios raw = savedSettings;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  settingsChanged = 1;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  int32_t key = ReadByte();
  tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings);
  settingsChanged = 0;

  for (int i = 0; i < kEndingSignalCount; ++i) sigaction(kEndingSignals[i], &previous[i], nullptr);
  return key;
}

}  // namespace

int32_t ReadKeyWithEcho() {
  int32_t key = tcgetattr(STDIN_FILENO, &savedSettings) == 0 ? ReadTerminalKey() : ReadByte();
  if (key >= 0) {
    std::putchar(key);
    std::fflush(stdout);
  }
  return key;
}

void WaitForInputByte() { ReadByte(); }

}  // namespace nimbrel
