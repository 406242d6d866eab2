#include "cli/command.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace zr::cli {

namespace {
std::vector<CliCommand>& registry() {
  static std::vector<CliCommand> commands;
  return commands;
}
}  // namespace

void RegisterCommand(CliCommand command) { registry().push_back(std::move(command)); }

const std::vector<CliCommand>& Commands() {
  auto& list = registry();
  std::sort(list.begin(), list.end(),
            [](const CliCommand& a, const CliCommand& b) { return a.name < b.name; });
  return list;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "zerarive-cli: %s\n", message.c_str());
  return 1;
}

bool WantsHelp(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), "--help") != args.end() ||
         std::find(args.begin(), args.end(), "-h") != args.end();
}

Options::Options(const std::vector<std::string>& args,
                 const std::vector<std::string>& valueOptions,
                 const std::vector<std::string>& flagOptions) {
  auto known = [](const std::vector<std::string>& list, const std::string& n) {
    return std::find(list.begin(), list.end(), n) != list.end();
  };
  bool onlyPositional = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (onlyPositional || a.size() < 3 || a.compare(0, 2, "--") != 0) {
      if (a == "--") {
        onlyPositional = true;
        continue;
      }
      positional_.push_back(a);
      continue;
    }
    std::string name = a.substr(2), value;
    bool inlineValue = false;
    if (size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      inlineValue = true;
    }
    if (known(valueOptions, name)) {
      if (!inlineValue) {
        if (i + 1 >= args.size()) {
          error_ = "option --" + name + " needs a value";
          return;
        }
        value = args[++i];
      }
      given_.emplace_back(name, value);
    } else if (known(flagOptions, name) && !inlineValue) {
      given_.emplace_back(name, "");
    } else {
      error_ = "unknown option --" + name;
      return;
    }
  }
}

bool Options::has(const std::string& name) const {
  return std::any_of(given_.begin(), given_.end(), [&](auto& p) { return p.first == name; });
}

std::string Options::value(const std::string& name, const std::string& fallback) const {
  for (auto it = given_.rbegin(); it != given_.rend(); ++it)
    if (it->first == name) return it->second;
  return fallback;
}

std::vector<std::string> Options::values(const std::string& name) const {
  std::vector<std::string> out;
  for (auto& p : given_)
    if (p.first == name) out.push_back(p.second);
  return out;
}

bool ParseQuality(const std::string& text, bool& highQuality) {
  if (text != "default" && text != "high") return false;
  highQuality = text == "high";
  return true;
}

bool ParseInt(const std::string& text, long long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && end && *end == '\0';
}

}  // namespace zr::cli
