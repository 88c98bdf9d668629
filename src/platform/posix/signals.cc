#include "platform/signals.h"

#include <signal.h>
#include <unistd.h>

namespace nimbrel {

namespace {

std::atomic<bool> gStop{false};
volatile sig_atomic_t gFirstSignal = 0;
std::atomic<uint32_t> gHangups{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "set from a signal handler");

void OnHangup(int) { gHangups.fetch_add(1); }

void OnEndingSignal(int number) {
  if (gFirstSignal != 0) _exit(128 + number);  // the second: at once
  gFirstSignal = number;
  gStop.store(true);
}

}  // namespace

void IgnoreFileSizeLimitSignal() { signal(SIGXFSZ, SIG_IGN); }

const std::atomic<bool>* CatchEndingSignals() {
  struct sigaction action = {};
  action.sa_handler = OnEndingSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a blocked read returns and the stop is seen
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  return &gStop;
}

const std::atomic<uint32_t>* CatchReopenSignal() {
  struct sigaction action = {};
  action.sa_handler = OnHangup;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // a read in progress goes on
  sigaction(SIGHUP, &action, nullptr);
  return &gHangups;
}

int EndingSignalStatus() { return gFirstSignal == 0 ? 0 : 128 + gFirstSignal; }

void EndingSignalHandled() {}

}  // namespace nimbrel
