// A fresh folder under the system temp dir, removed with its contents at scope end.
#pragma once

#include <string>
#include <vector>

namespace zr::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // With trailing '/'.
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Runs a shell command, returns its exit status; output captured into *out if given.
int RunCommand(const std::string& command, std::string* out = nullptr);
bool WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
// Names in a folder, hidden ones included, sorted; recursive with "sub/name" spelling.
std::vector<std::string> ListDir(const std::string& path);

}  // namespace zr::test
