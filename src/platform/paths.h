// Program folder and path helpers. Paths use '/', folders end with '/'.
#pragma once

#include <string>

namespace zr {

// Folder of the running executable with a trailing '/'; when that folder is not writable
// (an installed copy) the per-user data folder ~/.local/share/zerarive/ instead. Worked
// out once; code that may be pointed elsewhere (a document, a test) is handed its folder.
const std::string& ProgramFolder();
// Folder of the running executable itself (where help pages and resources are installed).
std::string ExecutableFolder();

// The platform's path split: "dir/name.ext" -> extension without dot ("" when none).
std::string PathExtension(const std::string& path);
// Upper-cased extension: the image dispatch key.
std::string ExtensionKey(const std::string& path);
// File name without folder ("name.ext").
std::string PathFileName(const std::string& path);
// File title: name without folder and extension.
std::string PathTitle(const std::string& path);
// Folder part with trailing '/', or "" when there is none.
std::string PathFolder(const std::string& path);

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// Creates the folder and its parents; true when it exists afterwards.
bool MakeFolders(const std::string& path);

}  // namespace zr
