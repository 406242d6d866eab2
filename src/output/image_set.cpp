#include "output/image_set.h"

#include <cerrno>

#include "image/cbmp.h"
#include "image/image_dispatch.h"
#include "platform/atomic_file.h"

namespace zr {

ImageSet::ImageSet() = default;
ImageSet::~ImageSet() = default;

bool ImageSet::Add(const std::string& finalPath,
                   const std::function<bool(const std::string&, int* error)>& write) {
  auto file = std::make_unique<AtomicFile>(finalPath);
  errno = 0;
  int error = 0;
  if (!write(file->tempPath(), &error)) {
    failure_ = CannotWriteText(finalPath, error ? error : errno);
    return false;
  }
  files_.push_back(std::move(file));
  return true;
}

bool ImageSet::Save(const CBmp& image, const std::string& finalPath) {
  return Add(finalPath, [&](const std::string& temp, int* error) {
    ImageFailure failure;
    const bool saved = image.Save(temp, &failure);
    *error = failure.error;
    return saved;
  });
}

bool ImageSet::CommitAll() {
  for (auto& file : files_) {
    if (!file->Commit()) {
      failure_ = CannotWriteText(file->finalPath(), file->error());
      DiscardAll();
      return false;
    }
  }
  return true;
}

void ImageSet::DiscardAll() { files_.clear(); }

std::vector<std::string> ImageSet::finalPaths() const {
  std::vector<std::string> paths;
  for (const auto& file : files_) paths.push_back(file->finalPath());
  return paths;
}

}  // namespace zr
