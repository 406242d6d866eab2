#include "gui/output_commands.h"

#include "app/document.h"
#include "app/startup.h"
#include "gui/main_frame.h"
#include "platform/host.h"
#include "platform/paths.h"

namespace zr {

std::string ChooseAviFile(CTorvexerDoc& doc, bool save, bool wave) {
  std::string path = GetHost().ChooseAviPath(save, wave, doc.sSavePath);
  if (path.empty()) return {};
  doc.sSavePath = PathFolder(path);
  StoreSavePath(doc.sSavePath);
  return path;
}

bool CreateAvi(CMainFrame&, const std::string&) {
  GetHost().Message("Creating AVI files is not available yet in this version.");
  return false;
}

bool MergeFiles(const std::string&, const std::string&, const std::string&) { return false; }

void EditAviSettings() {
  GetHost().Message("AVI Settings is not available yet in this version.");
}

}  // namespace zr
