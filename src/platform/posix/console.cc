#include "platform/console.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace nimbrel {

namespace {

// Signals that end the process by default and may come while a key is
// awaited with the terminal's line editing off.
constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// How often a pending ending signal is looked for while a key is awaited.
constexpr int kSignalPollMilliseconds = 50;

int32_t ReadByte() {
  unsigned char byte;
  ssize_t got;
  do {
    got = read(STDIN_FILENO, &byte, 1);
  } while (got < 0 && errno == EINTR);
  return got == 1 ? byte : -1;
}

bool EndingSignalPending() {
  sigset_t pending;
  if (sigpending(&pending) != 0) return false;
  for (int signal : kEndingSignals) {
    if (sigismember(&pending, signal) == 1) return true;
  }
  return false;
}

// One key from the terminal with line editing, echo and the signal keys off
// (Ctrl-C is then just a key that is not yes). The ending signals are held
// back meanwhile; one that arrives puts the terminal back first and is then
// let through, so the process never ends with the terminal left raw.
int32_t ReadTerminalKey(const termios& saved) {
  sigset_t ending, previous;
  sigemptyset(&ending);
  for (int signal : kEndingSignals) sigaddset(&ending, signal);
  sigprocmask(SIG_BLOCK, &ending, &previous);

  termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  int32_t key = -1;
  for (;;) {
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    int ready = poll(&input, 1, kSignalPollMilliseconds);
    if (EndingSignalPending()) break;
    if (ready > 0) {
      key = ReadByte();
      break;
    }
    if (ready < 0 && errno != EINTR) break;
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  sigprocmask(SIG_SETMASK, &previous, nullptr);  // a held-back signal takes its course here
  return key;
}

}  // namespace

int32_t ReadKeyWithEcho() {
  termios saved;
  int32_t key = tcgetattr(STDIN_FILENO, &saved) == 0 ? ReadTerminalKey(saved) : ReadByte();
  if (key >= 0) {
    std::putchar(key);
    std::fflush(stdout);
  }
  return key;
}

void WaitForInputByte() { ReadByte(); }

}  // namespace nimbrel
