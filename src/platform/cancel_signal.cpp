#include "platform/cancel_signal.h"

#include <csignal>

namespace zr {

namespace {

volatile std::sig_atomic_t received = 0;

void OnSignal(int signo) {
  if (received == 0) received = signo;
}

}  // namespace

void InstallCancelSignals() {
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // Back to the default after the first, so a stuck run still ends on a second signal.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int ReceivedCancelSignal() { return int(received); }

}  // namespace zr
