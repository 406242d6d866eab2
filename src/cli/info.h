// `zerarive-cli info FILE` asks each registered provider in turn; the first that claims
// the file's extension prints its description. Providers live beside their commands.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zr::cli {

struct InfoProvider {
  std::vector<std::string> extensionKeys;  // upper case, e.g. {"AVI", "WAV"}; empty = fallback
  // Prints to stdout; returns the exit code.
  std::function<int(const std::string& path)> describe;
};

void RegisterInfoProvider(InfoProvider provider);

struct InfoRegistrar {
  explicit InfoRegistrar(InfoProvider provider) { RegisterInfoProvider(std::move(provider)); }
};

}  // namespace zr::cli
