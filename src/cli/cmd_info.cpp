#include <algorithm>

#include "cli/command.h"
#include "cli/info.h"
#include "platform/paths.h"

namespace zr::cli {

namespace {

std::vector<InfoProvider>& providers() {
  static std::vector<InfoProvider> list;
  return list;
}

int RunInfo(const std::vector<std::string>& args) {
  Options opts(args, {});
  if (!opts.ok()) return Fail(opts.error());
  if (opts.positional().size() != 1) return Fail("info needs exactly one FILE (see --help)");
  const std::string& path = opts.positional()[0];
  if (!FileExists(path)) return Fail("cannot open " + path);
  std::string key = ExtensionKey(path);
  for (const auto& p : providers()) {
    const auto& keys = p.extensionKeys;
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) return p.describe(path);
  }
  for (const auto& p : providers())
    if (p.extensionKeys.empty()) return p.describe(path);
  return Fail("don't know how to describe a ." + PathExtension(path) + " file");
}

CliRegistrar reg({"info", "describe an image, project, AVI or WAV file",
                  "Usage: zerarive-cli info FILE\n"
                  "Describes FILE by its extension: an image (size, depth, palette),\n"
                  "a .tvf project (rows, counts, fps, depth, sound) or an AVI/WAV file\n"
                  "(streams, codec, size, rate, length).\n",
                  RunInfo});

}  // namespace

void RegisterInfoProvider(InfoProvider provider) { providers().push_back(std::move(provider)); }

}  // namespace zr::cli
