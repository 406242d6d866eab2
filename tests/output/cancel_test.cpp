// Cancel of a long Quick AVI through the library: it stops within a frame and leaves no
// file of any name, with or without a sound to merge.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "output/avi_writer.h"
#include "output/create_avi.h"
#include "output/quick_avi.h"
#include "output_support.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

AVICOMPRESSOPTIONS Uncompressed() {
  AVICOMPRESSOPTIONS o = DefaultCompressOptions();
  o.fccHandler = kCompressorDib;
  return o;
}

// Asks for the Cancel when the frame loop reports frame `at`, and counts what follows.
class CancelAtFrame : public test::FakeHost {
 public:
  explicit CancelAtFrame(int64_t at) : at_(at) {}
  void UpdateProgress(int64_t done) override {
    test::FakeHost::UpdateProgress(done);
    if (cancel) ++afterCancel;
    if (done == at_) cancel = true;
  }
  int afterCancel = 0;

 private:
  int64_t at_;
};

TEST(QuickAviCancel, AtFrame100Of2000StopsWithinAFrameAndLeavesNothing) {
  test::TempDir dir;
  const std::string images = dir.file("imgs/");
  MakeFolders(images);
  const std::string one = test::SaveImage(dir.file("one.bmp"), 8, 8, 0x336699);
  const std::string bytes = test::ReadBytes(one);
  for (int i = 1; i <= 2000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "Img%04d.bmp", i);
    ASSERT_TRUE(test::WriteBytes(images + name, bytes));
  }
  ASSERT_EQ(0, test::RunCommand("ffmpeg -v error -y -f lavfi -i sine=r=22050 -t 1 '" +
                                dir.file("tone.wav") + "'"));

  for (const std::string& sound : {std::string(), dir.file("tone.wav")}) {
    SCOPED_TRACE(sound.empty() ? "no sound" : "with sound");
    CancelAtFrame host(100);
    test::TempDir out;
    test::WriteBytes(out.file("big.avi"), "an older AVI");
    QuickAviRequest req;
    req.folder = images;
    req.sound = sound;
    req.output = out.file("big.avi");
    req.options = Uncompressed();
    // The sound is merged through an intermediate file in the program folder.
    req.programFolder = dir.path();
    EXPECT_FALSE(QuickAviCreate(host, req));
    ASSERT_TRUE(host.cancel) << "the loop never reached frame 100: "
                             << (host.messages.empty() ? "" : host.messages.front());
    EXPECT_LE(host.afterCancel, 1);
    EXPECT_LE(host.progressDone.back(), 101);
    EXPECT_EQ(test::ListDir(out.path()), std::vector<std::string>{"big.avi"});
    EXPECT_EQ(test::ReadBytes(out.file("big.avi")), "an older AVI");
    EXPECT_FALSE(FileExists(IntermediateAviPath(dir.path())));
    ASSERT_FALSE(host.statuses.empty());
    EXPECT_EQ(host.statuses.back(), "Cancelled");
    EXPECT_TRUE(host.messages.empty()) << host.messages.front();
  }
}

}  // namespace
}  // namespace zr
