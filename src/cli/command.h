// zerarive-cli sub-commands. Each lives in its own cmd_*.cpp and registers itself with
// a static CliRegistrar, so commands are added without touching main.cpp.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zr::cli {

struct CliCommand {
  std::string name;
  std::string summary;  // one line for the command list
  std::string usage;    // full --help text
  // Arguments after the command name. Returns the exit code (0 success, 1 failure).
  std::function<int(const std::vector<std::string>&)> run;
};

void RegisterCommand(CliCommand command);
const std::vector<CliCommand>& Commands();

struct CliRegistrar {
  explicit CliRegistrar(CliCommand command) { RegisterCommand(std::move(command)); }
};

// Prints "zerarive-cli: <message>" on stderr and returns 1.
int Fail(const std::string& message);
// True when args holds "--help" or "-h".
bool WantsHelp(const std::vector<std::string>& args);

// Small option parser: options (--name VALUE or --name=VALUE, --flag) and positionals.
class Options {
 public:
  // valueOptions take a value; flagOptions do not. Unknown options are errors.
  Options(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
          const std::vector<std::string>& flagOptions = {});
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  bool has(const std::string& name) const;
  std::string value(const std::string& name, const std::string& fallback = {}) const;
  // All values of an option given several times, in order.
  std::vector<std::string> values(const std::string& name) const;
  const std::vector<std::string>& positional() const { return positional_; }

 private:
  std::vector<std::pair<std::string, std::string>> given_;
  std::vector<std::string> positional_;
  std::string error_;
};

// Parses a whole decimal integer; false on junk or overflow.
bool ParseInt(const std::string& text, long long& value);
// --quality default|high; false for any other text.
bool ParseQuality(const std::string& text, bool& highQuality);

}  // namespace zr::cli
