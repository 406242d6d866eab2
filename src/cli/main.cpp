// zerarive-cli: the desktop program's operations for scripts and batch work.
#include <malloc.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "platform/cancel_signal.h"

namespace {

void PrintUsage() {
  std::printf(
      "Usage: zerarive-cli COMMAND [OPTIONS] [ARGS]\n"
      "Wombrel Zerarive: still images to AVI, AVI tools and an MPEG-1 converter.\n\n"
      "Commands:\n");
  for (const auto& c : zr::cli::Commands())
    std::printf("  %-16s %s\n", c.name.c_str(), c.summary.c_str());
  std::printf("\nRun 'zerarive-cli COMMAND --help' for a command's options.\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintUsage();
    return args.empty() ? 1 : 0;
  }
  // Each command makes the host it needs; only the signal flag is the process's.
  zr::InstallCancelSignals();
  // The AVI reader allocates a packet per frame; picture-sized blocks kept in the heap are
  // reused instead of being mapped and faulted in afresh for every frame.
  mallopt(M_MMAP_THRESHOLD, 8 << 20);
  mallopt(M_TRIM_THRESHOLD, 8 << 20);
  for (const auto& c : zr::cli::Commands()) {
    if (c.name != args[0]) continue;
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (zr::cli::WantsHelp(rest)) {
      std::printf("%s", c.usage.c_str());
      return 0;
    }
    int rc = c.run(rest);
    // A run stopped by a signal ends as the shell expects of one (130, 143).
    if (int signo = zr::ReceivedCancelSignal()) return 128 + signo;
    return rc;
  }
  std::fprintf(stderr, "zerarive-cli: unknown command '%s' (try --help)\n", args[0].c_str());
  return 1;
}
