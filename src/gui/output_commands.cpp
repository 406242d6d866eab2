#include "gui/output_commands.h"

#include <cstdio>

#include "gui/main_frame.h"
#include "platform/paths.h"

namespace zr {

bool CreateAvi(CMainFrame& frame, const std::string& path) {
  return CreateAvi(frame.doc(), path, frame.compressOptions());
}

bool EditAviSettings(AVICOMPRESSOPTIONS& options) {
  // ProgramFolder() is already the per-user folder when the program's own is read-only.
  const std::string path = ProgramFolder() + "HLTemp.AVI";
  PAVIFILE file = nullptr;
  if (AVIFileOpen(&file, path, OF_CREATE | OF_WRITE) != AVIERR_OK) return false;
  AVISTREAMINFO info;
  info.fccType = streamtypeVIDEO;
  info.dwScale = 1;
  info.dwRate = 100;
  info.dwSuggestedBufferSize = 40000;
  info.rcFrame = AviRect{0, 0, 50, 50};
  PAVISTREAM stream = nullptr;
  bool confirmed = false;
  if (AVIFileCreateStream(file, &stream, &info) == AVIERR_OK) {
    AVICOMPRESSOPTIONS* records[1] = {&options};
    confirmed = AVISaveOptions(nullptr, 0, 1, &stream, records);
    AVIStreamRelease(stream);
  }
  AVIFileRelease(file);
  std::remove(path.c_str());
  return confirmed;
}

}  // namespace zr
