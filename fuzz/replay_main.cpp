// Feeds saved inputs to a fuzz target without libFuzzer, so the sanitizer test build runs
// every past finding again. Arguments: a folder and a name prefix; each file of the folder
// whose name starts with the prefix is one input.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FOLDER PREFIX\n", argv[0]);
    return 2;
  }
  const std::string prefix = argv[2];
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
    if (entry.path().filename().string().rfind(prefix, 0) == 0) inputs.push_back(entry.path());
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs named %s* in %s\n", prefix.c_str(), argv[1]);
    return 1;
  }
  for (const auto& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    std::printf("%s\n", path.filename().c_str());
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("%zu passed, 0 failed\n", inputs.size());
  return 0;
}
