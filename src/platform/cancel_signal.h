// SIGINT and SIGTERM as a Cancel: the handler only records the signal; long operations
// see it through Host::CancelRequested and stop cleanly.
#pragma once

namespace zr {

// Installs the handlers. A second signal of either kind ends the process at once.
void InstallCancelSignals();
// The first signal received, or 0.
int ReceivedCancelSignal();

}  // namespace zr
