#include "platform/paths.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace zr {

namespace {

std::string withSlash(std::string s) {
  if (!s.empty() && s.back() != '/') s += '/';
  return s;
}

}  // namespace

std::string ExecutableFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return withSlash(fs::current_path(ec).string());
  return withSlash(exe.parent_path().string());
}

const std::string& ProgramFolder() {
  static const std::string folder = [] {
    std::string exeFolder = ExecutableFolder();
    if (access(exeFolder.c_str(), W_OK) == 0) return exeFolder;
    const char* home = std::getenv("HOME");
    std::string base = home && *home ? std::string(home) : std::string("/tmp");
    std::string user = base + "/.local/share/zerarive/";
    MakeFolders(user);
    return user;
  }();
  return folder;
}

std::string PathExtension(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

std::string ExtensionKey(const std::string& path) {
  std::string ext = PathExtension(path);
  for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

std::string PathFileName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PathTitle(const std::string& path) {
  std::string name = PathFileName(path);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string PathFolder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

bool FolderExists(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

bool MakeFolders(const std::string& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  return FolderExists(path);
}

}  // namespace zr
