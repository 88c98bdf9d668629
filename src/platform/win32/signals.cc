#include "platform/signals.h"

#include <windows.h>

#include <cstdlib>

namespace nimbrel {

namespace {

std::atomic<bool> gStop{false};
std::atomic<int> gStatus{0};
std::atomic<bool> gHandled{false};
std::atomic<uint32_t> gHangups{0};  // never counts: Windows has no hangup signal

BOOL WINAPI OnConsoleEvent(DWORD event) {
  int status = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 130 : 143;
  int none = 0;
  if (!gStatus.compare_exchange_strong(none, status)) std::_Exit(status);  // the second: at once
  gStop.store(true);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // The process ends when this returns: give the run its few seconds.
    for (int waited = 0; waited < 4500 && !gHandled.load(); waited += 50) Sleep(50);
  }
  return TRUE;
}

}  // namespace

void IgnoreFileSizeLimitSignal() {}  // Windows has no file-size limit signal

const std::atomic<bool>* CatchEndingSignals() {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  return &gStop;
}

const std::atomic<uint32_t>* CatchReopenSignal() { return &gHangups; }

int EndingSignalStatus() { return gStatus.load(); }

void EndingSignalHandled() { gHandled.store(true); }

}  // namespace nimbrel
