#include "output/create_avi.h"

#include <cstdio>

#include "app/document.h"
#include "app/startup.h"
#include "image/cbmp.h"
#include "output/avi_messages.h"
#include "output/avi_writer.h"
#include "output/merge.h"
#include "platform/host.h"
#include "platform/paths.h"

namespace zr {

std::string IntermediateAviPath(const std::string& programFolder) {
  return programFolder + "hltemp.avi";
}

bool CreateAvi(Host& host, CTorvexerDoc& doc, const std::string& path,
               const AVICOMPRESSOPTIONS& options) {
  CAviWriter writer;
  writer.options = options;
  // The panel's text as a 16-bit value, sign-extended: "0" or a wrapped number gives a
  // rate the AVI layer refuses with AVIERR_BADPARAM.
  int16_t fps = doc.ReadFpsFromPanel();
  writer.SetRate(fps);
  writer.SetBits(unsigned(int(doc.nBpp) < 0 ? 0 : doc.nBpp));
  for (int r = 1; r <= doc.frames.FrameCount(); ++r) {
    const std::string& name = doc.frames.Name(r);
    host.SetStatusText("Adding " + name + "...");
    writer.AddFrame(doc.GetImagePath(name), uint32_t(doc.frames.Frames(r)));
  }
  writer.applyLogo = [&doc](CBmp& image) { doc.ApplyLogo(image); };
  host.SetStatusText("Creating AVI " + path + "...");

  return WriteAviWithSound(host, writer, doc.sSoundFile, path, doc.programFolder());
}

bool WriteAviWithSound(Host& host, CAviWriter& writer, const std::string& sound,
                       const std::string& path, const std::string& programFolder) {
  if (!sound.empty()) {
    // Find out before the long write that the sound can't be had, and say which file.
    AviFilePtr probe;
    if (AVIFileOpen(AviOut(probe), sound, OF_READ) != AVIERR_OK) {
      host.Message(CannotOpenMessage(sound));
      host.SetStatusText(kStatusNotSaved);
      return false;
    }
  }
  const std::string target = sound.empty() ? path : IntermediateAviPath(programFolder);
  if (!writer.Write(host, target)) {
    if (writer.cancelled) {
      host.SetStatusText(kStatusCancelled);
      return false;
    }
    if (!writer.told) {
      std::string text = CodecErrorMessage(writer.nError);
      if (writer.nError == AVIERR_FILEWRITE || writer.nError == AVIERR_FILEOPEN)
        text += "\n" + WriteFailureDetail(path, writer.systemError);
      host.Message(text);
    }
    host.SetStatusText(kStatusNotSaved);
    return false;
  }
  host.SetStatusText(kStatusCompleted);
  bool result = true;
  if (!sound.empty()) {
    host.SetStatusText(kStatusMerging);
    MergeFailure failure;
    std::string unopened;
    result = MergeStreams(host, target, sound, path, &failure, &unopened);
    if (failure == MergeFailure::CannotOpen) host.Message(CannotOpenMessage(unopened));
    std::remove(target.c_str());
    if (!result && failure != MergeFailure::Cancelled) host.SetStatusText(kStatusNotSaved);
  }
  if (result) host.SetStatusText(kStatusDone);
  return result;
}

std::string ChooseAviFile(Host& host, CTorvexerDoc& doc, bool save, bool wave) {
  std::string path = host.ChooseAviPath(save, wave, doc.sSavePath);
  if (path.empty()) return {};
  doc.sSavePath = PathFolder(path);
  StoreSavePath(doc.settings(), doc.sSavePath);
  return path;
}

}  // namespace zr
