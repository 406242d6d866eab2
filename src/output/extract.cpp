#include "output/extract.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "output/avi_messages.h"
#include "output/image_set.h"
#include "output/merge.h"
#include "platform/atomic_file.h"
#include "platform/avifile/avifile.h"
#include "platform/host.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace zr {

void HostExtractProgress::Open(int streamNumber, int frameCount) {
  host_.BeginProgress("Extracting video stream " + std::to_string(streamNumber), frameCount);
}
void HostExtractProgress::Update(int frameNumber, const std::string&) {
  host_.UpdateProgress(frameNumber);
}
void HostExtractProgress::Close() { host_.EndProgress(); }

namespace {

bool SameFolder(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

}  // namespace

std::string SamplesFolder(const std::string& programFolder) { return programFolder + "Samples/"; }

std::string SampleFileName(int streamNumber, int frameNumber) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02d_%05d.bmp", streamNumber, frameNumber);
  return buf;
}

bool IsSampleFileName(const std::string& name) {
  auto digits = [&](size_t& at) {
    size_t begin = at;
    while (at < name.size() && name[at] >= '0' && name[at] <= '9') ++at;
    return at - begin;
  };
  size_t at = 0;
  if (digits(at) < 2 || at >= name.size() || name[at] != '_') return false;
  ++at;
  if (digits(at) < 5) return false;
  return name.compare(at, std::string::npos, ".bmp") == 0;
}

std::vector<std::string> SampleFilesToReplace(const std::string& folder) {
  std::vector<std::string> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec) && IsSampleFileName(it->path().filename().string()))
      found.push_back(it->path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

int ClearSampleFiles(const std::string& folder) {
  int removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    if (!IsSampleFileName(it->path().filename().string())) continue;
    if (fs::remove(it->path(), ec)) ++removed;
  }
  return removed;
}

bool WriteDibFile(const BitmapInfoHeader* frame, const std::string& path, int* error) {
  if (error) *error = 0;
  if (!frame || frame->biSize != 40) return false;
  BitmapInfoHeader header = *frame;
  const uint32_t entries = DibNumColors(header);
  if (entries > 256) return false;
  const size_t tableBytes = 4 * size_t(entries);
  size_t imageBytes;
  if (header.biCompression == BI_RLE8 || header.biCompression == BI_RLE4) {
    imageBytes = header.biSizeImage;
  } else {
    if (header.biWidth <= 0 || header.biHeight == 0) return false;
    int64_t rows = header.biHeight < 0 ? -int64_t(header.biHeight) : header.biHeight;
    imageBytes = size_t(DibStride(header.biWidth, header.biBitCount)) * size_t(rows);
    header.biSizeImage = uint32_t(imageBytes);
  }
  std::vector<uint8_t> bytes(14 + 40 + tableBytes + imageBytes);
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&bytes[at], &v, 2); };
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&bytes[at], &v, 4); };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put32(2, uint32_t(bytes.size()));
  put16(6, 0);
  put16(8, 0);
  put32(10, uint32_t(14 + 40 + tableBytes));
  std::memcpy(&bytes[14], &header, 40);
  const auto* rest = reinterpret_cast<const uint8_t*>(frame) + 40;
  std::memcpy(&bytes[54], rest, tableBytes + imageBytes);
  return WriteFileAtomic(path, bytes, error);
}

ExtractImagesResult ExtractImages(Host& host, const std::string& aviPath, const std::string& folder,
                                  ExtractProgress& progress, const std::string& samplesFolder) {
  ExtractImagesResult result;
  WaitCursor wait(host);
  AviFilePtr file;
  const HRESULT opened = AVIFileOpen(AviOut(file), aviPath, OF_READ);
  if (opened != 0 || !file) {
    host.Message("Cannot open " + aviPath);
    return result;
  }
  result.opened = true;
  std::string dir = folder;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  if (!dir.empty() && !MakeFolders(dir)) {
    host.Message("Error: " + CannotWriteText(dir, errno));
    return result;
  }
  const std::vector<std::string> oldSamples = SampleFilesToReplace(dir);

  AVIFILEINFO info;
  AVIFileInfo(file.get(), &info, sizeof info);
  const int streams = int(info.dwStreams);
  ImageSet images;
  bool failed = false;
  for (int v = 0; streams > 0 && !failed && !result.cancelled; ++v) {
    AviStreamPtr stream;
    const HRESULT got = AVIFileGetStream(file.get(), AviOut(stream), streamtypeVIDEO, v);
    if (got != 0 || !stream) break;
    const int number = v + 1;
    const int first = AVIStreamStart(stream.get());
    const int length = AVIStreamLength(stream.get());
    AviGetFramePtr frames(AVIStreamGetFrameOpen(stream.get()));
    progress.Open(number, length > 0 ? length : 0);
    for (int k = 0; k < length; ++k) {
      if (host.CancelRequested()) {
        result.cancelled = true;
        break;
      }
      const std::string name = SampleFileName(number, k + 1);
      const BitmapInfoHeader* frame = frames ? AVIStreamGetFrame(frames.get(), first + k) : nullptr;
      if (!frame) {
        result.failedFrames.push_back(std::to_string(number) + ":" + std::to_string(k + 1));
      } else if (!images.Add(dir + name, [&](const std::string& temp, int* error) {
                   return WriteDibFile(frame, temp, error);
                 })) {
        failed = true;
        break;
      }
      progress.Update(k + 1, name);
    }
    progress.Close();
    ++result.videoStreams;
    if (result.videoStreams >= streams) break;
  }
  file.reset();

  if (result.cancelled) {
    result.summary = kStatusCancelled;
    host.SetStatusText(result.summary);
    return result;
  }
  if (failed || !images.CommitAll()) {
    host.Message("Error: " + images.failure());
    return result;
  }
  result.written = int(images.size());
  std::vector<std::string> fresh = images.finalPaths();
  std::sort(fresh.begin(), fresh.end());
  for (const auto& old : oldSamples) {
    if (!std::binary_search(fresh.begin(), fresh.end(), old)) std::remove(old.c_str());
  }
  result.ok = true;

  if (!result.failedFrames.empty()) {
    std::string text = "These frames could not be decompressed and were not saved:";
    size_t shown = 0;
    for (const auto& f : result.failedFrames) {
      if (++shown > 20) {
        text += " ...";
        break;
      }
      text += " " + f;
    }
    host.Message(text);
  }
  if (SameFolder(dir, samplesFolder)) {
    host.Message(
        "The extracted samples were saved to your 'Samples' folder. Please note that subsequent "
        "exporting will overwrite the existing sample files.",
        {}, MessageKind::Information);
  }
  result.summary = ImagesWrittenText(size_t(result.written), dir);
  host.SetStatusText(result.summary);
  return result;
}

bool ExtractSound(Host& host, const std::string& aviPath, const std::string& soundPath) {
  AviFilePtr file;
  const HRESULT opened = AVIFileOpen(AviOut(file), aviPath, OF_READ);
  if (opened != 0 || !file) {
    host.Message("Cannot open " + aviPath);
    return false;
  }
  AviStreamPtr stream;
  const HRESULT got = AVIFileGetStream(file.get(), AviOut(stream), streamtypeAUDIO, 0);
  if (got != 0 || !stream) {
    host.Message(aviPath + " has no sound.");
    return false;
  }
  AVICOMPRESSOPTIONS options;
  options.dwFlags = AVICOMPRESSF_VALID;
  options.dwInterleaveEvery = 1;
  int32_t size = 0;
  AVIStreamReadFormat(stream.get(), 0, nullptr, &size);
  if (size > 0) {
    options.lpFormat = AviAlloc(size_t(size));
    options.cbFormat = uint32_t(size);
    AVIStreamReadFormat(stream.get(), 0, options.lpFormat, &size);
  }
  HRESULT hr;
  int systemError = 0;
  {
    WaitCursor wait(host);
    host.BeginProgress("Extracting sound", 100);
    hr = AVISave(soundPath, nullptr, SaveProgressOf(host), stream.get(), &options, &systemError);
    host.EndProgress();
  }
  if (options.lpFormat) AviFree(options.lpFormat);
  stream.reset();
  file.reset();
  if (hr == AVIERR_USERABORT) {
    host.SetStatusText(kStatusCancelled);
    return false;
  }
  if (hr == AVIERR_FILEWRITE || hr == AVIERR_FILEOPEN) {
    host.Message("Error: " + CannotWriteText(soundPath, systemError));
    return false;
  }
  if (hr != 0) {
    host.Message("The sound could not be saved to " + soundPath + " (" + AviErrorName(hr) + ")");
    return false;
  }
  host.SetStatusText(kSoundExtracted);
  return true;
}

}  // namespace zr
