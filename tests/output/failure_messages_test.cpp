// What the user is told when an output fails: the message of an image that cannot be
// loaded (also when the second thread loaded it), its precise reason through every host
// that passes messages on, and the system's reason behind each failed write.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "app/write_failure.h"
#include "image/cbmp.h"
#include "image/image_dispatch.h"
#include "output/avi_messages.h"
#include "output/avi_writer.h"
#include "output/create_avi.h"
#include "output/export.h"
#include "output/export_host.h"
#include "output/extract.h"
#include "output/frame_loop.h"
#include "output/image_set.h"
#include "output/merge.h"
#include "output_support.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

struct Told {
  std::string text, details, caption;
  MessageKind kind;
  bool operator==(const Told&) const = default;
};

// Keeps the details that the base host would drop.
class DetailHost : public test::SizeHost {
 public:
  void MessageWithDetails(const std::string& text, const std::string& details,
                          const std::string& caption, MessageKind kind) override {
    told.push_back({text, details, caption, kind});
    messages.push_back(text);
  }
  std::vector<Told> told;
};

class CountingSink : public FrameSink {
 public:
  bool Begin(const ComposedFrame&) override { return true; }
  bool Put(ComposedFrame&) override {
    ++puts;
    return true;
  }
  int puts = 0;
};

class FailureMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 4; ++i) test::SaveImage(Good(i), 16, 12, 0x2040F0);
    test::WriteBytes(broken, "BM this is not a picture");
  }
  std::string Good(int i) const { return dir.file("good" + std::to_string(i) + ".bmp"); }
  // Four images with the broken one at `at`.
  std::vector<std::string> ListWithBrokenAt(size_t at) const {
    std::vector<std::string> paths = {Good(0), Good(1), Good(2), Good(3)};
    paths[at] = broken;
    return paths;
  }
  static void ExpectCouldNotLoad(const DetailHost& host, const std::string& path) {
    ASSERT_EQ(host.told.size(), 1u) << (host.messages.empty() ? "" : host.messages[0]);
    EXPECT_EQ(host.told[0].text, kCouldNotLoad + path);
    EXPECT_EQ(host.told[0].details.rfind("BMP: ", 0), 0u) << host.told[0].details;
    EXPECT_EQ(host.messages.size(), 1u);
  }
  TempDir dir;
  const std::string broken = dir.file("broken.bmp");
};

TEST_F(FailureMessages, AnImageThatCannotBeLoadedIsToldOnceWhicheverThreadLoadedIt) {
  // At 0 the calling thread loads it; further on the loader thread does when pipelined.
  for (bool pipelined : {false, true}) {
    for (size_t at : {size_t(0), size_t(1), size_t(3)}) {
      SCOPED_TRACE(std::string(pipelined ? "pipelined" : "serial") + ", broken at " +
                   std::to_string(at));
      DetailHost host;
      CountingSink sink;
      FrameLoopInput input;
      input.paths = ListWithBrokenAt(at);
      input.counts = {1, 1, 1, 1};
      input.pipelined = pipelined;
      FrameLoopResult result = RunFrameLoop(host, input, sink);
      EXPECT_EQ(result.end, FrameLoopEnd::CouldNotLoad);
      EXPECT_EQ(result.imagesHanded, at);
      EXPECT_EQ(sink.puts, int(at));
      ExpectCouldNotLoad(host, broken);
    }
  }
}

TEST_F(FailureMessages, ThePipelinedAviWriterTellsTheImageAndLeavesNoFile) {
  for (size_t at : {size_t(0), size_t(2)}) {
    SCOPED_TRACE(at);
    DetailHost host;
    CAviWriter writer;
    writer.SetRate(10);
    writer.pipelined = true;
    for (const std::string& path : ListWithBrokenAt(at)) writer.AddFrame(path, 2);
    const std::string out = dir.file("out.avi");
    EXPECT_FALSE(writer.Write(host, out));
    EXPECT_TRUE(writer.told);
    ExpectCouldNotLoad(host, broken);
    EXPECT_FALSE(fs::exists(out));
  }
}

TEST_F(FailureMessages, ForwardingHostsPassTheDetailsOn) {
  DetailHost inner;
  ForwardingHost forwarding(inner);
  forwarding.MessageWithDetails("Could not load /x/a.gif", "GIF: no signature", "Caption",
                                MessageKind::Warning);
  EXPECT_EQ(inner.told, (std::vector<Told>{{"Could not load /x/a.gif", "GIF: no signature",
                                            "Caption", MessageKind::Warning}}));

  // An export's passes talk through such hosts; a GIF takes two of them.
  for (const char* ext : {"gif", "mp4"}) {
    SCOPED_TRACE(ext);
    DetailHost host;
    ExportJob job;
    job.paths = ListWithBrokenAt(2);
    job.counts = {1, 1, 1, 1};
    const std::string out = dir.file(std::string("out.") + ext);
    EXPECT_FALSE(ExportAnimation(host, job, out));
    ExpectCouldNotLoad(host, broken);
    EXPECT_FALSE(fs::exists(out));
  }
}

// A folder in the way of the final name: the temporary is written beside it and the
// rename fails, so only the error number handed back can say why.
TEST_F(FailureMessages, EveryImageWriterHandsBackTheSystemsReason) {
  CBmp image;
  image.SetBitmap(Bitmap(8, 6, 0x00FF00));
  for (const char* ext : {"bmp", "pcx", "png", "tif", "jpg"}) {
    SCOPED_TRACE(ext);
    const std::string path = dir.file(std::string("taken.") + ext);
    fs::create_directory(path);
    ImageFailure failure;
    EXPECT_FALSE(image.Save(path, &failure));
    EXPECT_EQ(failure.error, EISDIR);
    // A set writes beside the final names and meets the folder only when it renames.
    ImageSet set;
    EXPECT_TRUE(set.Save(image, path));
    EXPECT_FALSE(set.CommitAll());
    EXPECT_EQ(set.failure(), "cannot write " + path + ": Is a directory");
    const std::string nowhere = dir.file(std::string("no/such/folder/a.") + ext);
    EXPECT_FALSE(image.Save(nowhere, &failure));
    EXPECT_EQ(failure.error, ENOENT);
    EXPECT_FALSE(set.Save(image, nowhere));
    EXPECT_EQ(set.failure(), "cannot write " + nowhere + ": No such file or directory");
  }
  ImageFailure failure;
  EXPECT_TRUE(image.Save(dir.file("fine.png"), &failure));
  EXPECT_EQ(failure.error, 0);
}

TEST_F(FailureMessages, AviWritesNameTheFileAndTheSystemsReason) {
  auto writerOf = [&](int frames) {
    CAviWriter writer;
    writer.SetRate(10);
    writer.options.fccHandler = kCompressorDib;
    for (int i = 0; i < frames; ++i) writer.AddFrame(Good(i % 4), 1);
    return writer;
  };
  {
    const std::string taken = dir.file("taken.avi");
    fs::create_directory(taken);
    DetailHost host;
    CAviWriter writer = writerOf(2);
    EXPECT_FALSE(WriteAviWithSound(host, writer, "", taken, dir.path()));
    EXPECT_EQ(writer.systemError, EISDIR);
    EXPECT_EQ(host.messages, std::vector<std::string>{CodecErrorMessage(AVIERR_FILEOPEN) + "\n" +
                                                      taken + ": Is a directory"});
  }
  {
    // The file grows past the limit while the frames stream in.
    const std::string big = dir.file("big.avi");
    DetailHost host;
    CAviWriter writer = writerOf(200);
    bool written;
    {
      test::FileSizeLimit limit(64 * 1024);
      ASSERT_TRUE(limit.ok());
      written = WriteAviWithSound(host, writer, "", big, dir.path());
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(writer.systemError, EFBIG);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0],
              CodecErrorMessage(AVIERR_FILEWRITE) + "\n" + big + ": File too large");
    EXPECT_FALSE(fs::exists(big));
  }

  // The saves of the sound tools.
  ASSERT_EQ(
      test::RunCommand("ffmpeg -v error -f lavfi -i sine=f=500:r=22050:d=0.5 -c:a pcm_s16le " +
                       dir.file("tone.wav")),
      0);
  CAviWriter silent = writerOf(3);
  test::FakeHost quiet;
  ASSERT_TRUE(silent.Write(quiet, dir.file("silent.avi")));
  const std::string wav = dir.file("taken.wav"), merged = dir.file("merged.avi");
  fs::create_directory(wav);
  fs::create_directory(merged);
  DetailHost host;
  EXPECT_FALSE(ExtractSound(host, dir.file("tone.wav"), wav));
  EXPECT_FALSE(MergeStreams(host, dir.file("silent.avi"), dir.file("tone.wav"), merged));
  EXPECT_EQ(host.messages, (std::vector<std::string>{
                               "Error: cannot write " + wav + ": Is a directory",
                               std::string(kMergeFailed) + "\n" + merged + ": Is a directory"}));
  int error = 0;
  PAVIFILE file = nullptr;
  EXPECT_EQ(
      AVIFileOpen(&file, dir.file("no/such/folder/x.avi"), OF_CREATE | OF_WRITE, nullptr, &error),
      AVIERR_FILEOPEN);
  EXPECT_EQ(error, ENOENT);
}

}  // namespace
}  // namespace zr
