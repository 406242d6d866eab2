#include "gui/output_commands.h"

#include <cstdio>

#include "gui/main_frame.h"
#include "platform/paths.h"

namespace zr {

bool CreateAvi(CMainFrame& frame, const std::string& path) {
  return CreateAvi(frame.doc().host(), frame.doc(), path, frame.compressOptions());
}

bool EditAviSettings(Host& host, AVICOMPRESSOPTIONS& options, const std::string& programFolder) {
  const std::string path = programFolder + "HLTemp.AVI";
  AviFilePtr file;
  if (AVIFileOpen(AviOut(file), path, OF_CREATE | OF_WRITE) != AVIERR_OK) return false;
  AVISTREAMINFO info;
  info.fccType = streamtypeVIDEO;
  info.dwScale = 1;
  info.dwRate = 100;
  info.dwSuggestedBufferSize = 40000;
  info.rcFrame = AviRect{0, 0, 50, 50};
  AviStreamPtr stream;
  bool confirmed = false;
  if (AVIFileCreateStream(file.get(), AviOut(stream), &info) == AVIERR_OK) {
    AVICOMPRESSOPTIONS* records[1] = {&options};
    PAVISTREAM streams[1] = {stream.get()};
    confirmed = AVISaveOptions(host, 0, 1, streams, records);
  }
  stream.reset();
  file.reset();
  std::remove(path.c_str());
  return confirmed;
}

}  // namespace zr
