// A run of image files that appears all at once or not at all: each is written under a
// temporary name beside its final one, and all are renamed when every one is written.
// Dropping the set uncommitted removes the temporaries.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zr {

class AtomicFile;
class CBmp;

class ImageSet {
 public:
  ImageSet();
  ~ImageSet();
  ImageSet(const ImageSet&) = delete;
  ImageSet& operator=(const ImageSet&) = delete;

  // `write` writes the file at the temporary path it is given; on false it may leave the
  // system's error number in *error. False with failure() set.
  bool Add(const std::string& finalPath,
           const std::function<bool(const std::string&, int* error)>& write);
  // The picture in the format its final name's extension says.
  bool Save(const CBmp& image, const std::string& finalPath);
  // Renames every file to its final name, in the order added.
  bool CommitAll();
  // Removes every temporary now.
  void DiscardAll();

  size_t size() const { return files_.size(); }
  std::vector<std::string> finalPaths() const;
  // "cannot write PATH: REASON" of the last failure, naming the final path.
  const std::string& failure() const { return failure_; }

 private:
  std::vector<std::unique_ptr<AtomicFile>> files_;
  std::string failure_;
};

}  // namespace zr
