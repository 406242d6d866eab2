#include "output/morph.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "app/document.h"
#include "image/cbmp.h"
#include "image/dib_convert.h"
#include "output/avi_messages.h"
#include "output/image_set.h"
#include "platform/atomic_file.h"
#include "platform/host.h"
#include "platform/paths.h"

namespace zr {

namespace {

// atoi's rules: leading blanks, optional sign, leading digits; clamped to int.
long LeadingNumber(const std::string& text) {
  errno = 0;
  long v = std::strtol(text.c_str(), nullptr, 10);
  return v;
}

// A W x H picture holding the top-left part of `image` (the rest black).
Bitmap WorkingCopy(const CBmp& image, int width, int height) {
  CBmp work;
  work.SetBitmap(Bitmap(width, height, 0));
  CBmp::CopyRect(image, work, 0, 0);
  return std::move(work.bitmap());
}

}  // namespace

std::string MorphImagePath(const std::string& folder, int number) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "Img%04d.bmp", number);
  std::string dir = folder;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir + buf;
}

std::vector<std::string> MorphFilesToReplace(const std::string& folder, int steps, int start) {
  std::vector<std::string> existing;
  for (int64_t n = start; n <= int64_t(start) + steps + 1; ++n) {
    std::string path = MorphImagePath(folder, int(n));
    if (FileExists(path)) existing.push_back(path);
  }
  return existing;
}

std::string ReplaceQuestion(size_t count, const std::string& folder, bool samples) {
  std::string text = std::to_string(count) + (samples ? " sample" : "") +
                     (count == 1 ? " file in " : " files in ") + folder + " will be replaced. ";
  return text + (count == 1 ? "Replace it?" : "Replace them?");
}

int MorphStepsFromText(const std::string& text) {
  long v = LeadingNumber(text);
  if (v < 1) return 1;
  if (v > 254) return 254;
  return int(v);
}

int MorphStartFromText(const std::string& text) {
  long v = LeadingNumber(text);
  if (v < 0) return 0;
  // Numbers this large would not fit the file names anyway.
  if (v > 99999999) return 99999999;
  return int(v);
}

void BlendStep(std::vector<uint8_t>& current, const std::vector<uint8_t>& target, int remaining) {
  const size_t n = current.size() < target.size() ? current.size() : target.size();
  uint8_t* cur = current.data();
  const uint8_t* tgt = target.data();
  const unsigned r = unsigned(remaining < 1 ? 1 : remaining);
  for (size_t k = 0; k < n; ++k) {
    unsigned c = cur[k], t = tgt[k];
    if (t < c)
      cur[k] = uint8_t(c - (c - t) / r);
    else
      cur[k] = uint8_t(c + (t - c) / r);
  }
}

std::string CheckMorphPaths(const std::string& from, const std::string& to) {
  if (from == to) return "Cannot morph into the same image";
  if (!FileExists(from)) return "Cannot open " + from;
  if (!FileExists(to)) return "Cannot open " + to;
  return {};
}

MorphResult MakeMorphImages(Host& host, const CTorvexerDoc* doc, const std::string& from,
                            const std::string& to, const std::string& folder, int steps,
                            int start) {
  MorphResult result;
  CBmp temp;
  if (!temp.Load(from)) {
    host.Message("Error: bitmap load failed");
    return result;
  }
  int width = 0, height = 0;
  temp.GetSize(width, height);
  CBmp a;
  a.SetBitmap(WorkingCopy(temp, width, height));
  if (!temp.Load(to)) {
    host.Message("Error: could not load destination bitmap");
    return result;
  }
  CBmp b;
  b.SetBitmap(WorkingCopy(temp, width, height));
  temp.Clear();
  std::string dir = folder;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  if (!dir.empty() && !MakeFolders(dir)) {
    host.Message("Error: " + CannotWriteText(dir, errno));
    return result;
  }

  ImageSet images;
  auto save = [&](CBmp& image, int number) {
    if (images.Save(image, MorphImagePath(dir, number))) return true;
    host.Message("Error: " + images.failure());
    return false;
  };
  if (doc) doc->ApplyLogo(a);
  if (doc) doc->ApplyLogo(b);
  if (!save(a, start) || !save(b, start + steps + 1)) return result;

  std::vector<uint8_t> cur = ReadBitmapRows24(a.bitmap());
  const std::vector<uint8_t> tgt = ReadBitmapRows24(b.bitmap());
  host.BeginProgress("Morphing...", steps);
  for (int i = 0; i < steps && !result.cancelled; ++i) {
    if (host.CancelRequested()) {
      result.cancelled = true;
      break;
    }
    BlendStep(cur, tgt, steps - i);
    WriteBitmapRows24(a.bitmap(), cur);
    if (!save(a, start + 1 + i)) {
      host.EndProgress();
      return result;
    }
    host.UpdateProgress(i + 1);
  }
  host.EndProgress();
  if (result.cancelled || host.CancelRequested()) {
    result.cancelled = true;
    result.summary = kStatusCancelled;
    host.SetStatusText(result.summary);
    return result;
  }
  if (!images.CommitAll()) {
    host.Message("Error: " + images.failure());
    return result;
  }
  // Start image first, end image last, the blends between in order.
  std::vector<std::string> names = images.finalPaths();
  std::rotate(names.begin() + 1, names.begin() + 2, names.end());
  result.names = std::move(names);
  result.ok = true;
  result.summary = ImagesWrittenText(result.names.size(), dir);
  host.SetStatusText(result.summary);
  return result;
}

void AddMorphImagesToProject(CTorvexerDoc& doc, const std::vector<std::string>& names,
                             int outcome) {
  if (outcome == 2) return;
  if (outcome == 0) doc.NewProject();
  doc.AddImages(names, FrameNaming::FileName, FrameOrder::AsGiven, 1);
}

}  // namespace zr
