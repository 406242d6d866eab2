// Cancel in each stage of a conversion: the engine stops at once and leaves no file.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "mpeg/convert_log.h"
#include "mpeg/engine.h"
#include "support/temp_dir.h"

namespace zr::mpeg {
namespace {

using Clock = std::chrono::steady_clock;

// Counts the notifications that arrive after the Cancel was asked for.
class CancellingLog : public RecordingLog {
 public:
  void Frame(int n) override {
    if (cancel) ++afterCancel;
    RecordingLog::Frame(n);
  }
  void Percent(int p) override {
    if (cancel) ++afterCancel;
    RecordingLog::Percent(p);
  }
  bool CancelRequested() override { return cancel; }
  std::atomic<bool> cancel{false};
  int afterCancel = 0;
};

class EngineCancel : public ::testing::TestWithParam<ConvertStage> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    // Long enough that every stage reports several times before it ends.
    ASSERT_EQ(0, test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=25 "
                                  "-f lavfi -i sine=f=440:r=44100 -ac 2 -t 8 -c:v rawvideo "
                                  "-pix_fmt bgr24 -c:a pcm_s16le '" +
                                  dir_->file("clip.avi") + "'"));
  }
  static void TearDownTestSuite() { delete dir_; }
  static test::TempDir* dir_;
};
test::TempDir* EngineCancel::dir_;

TEST_P(EngineCancel, StopsWithinOneNotificationAndLeavesNoFile) {
  const ConvertStage target = GetParam();
  test::TempDir out;
  CancellingLog log;
  MpgEngine engine(log, 1);
  Clock::time_point cancelledAt;
  engine.SetStageHook([&](ConvertStage stage, int percent) {
    // The multiplexer is cancelled as it starts; the encoders a little way in.
    const int at = target == ConvertStage::Multiplex ? 0 : 10;
    if (stage == target && percent >= at && !log.cancel) {
      cancelledAt = Clock::now();
      log.cancel = true;
    }
  });
  EXPECT_FALSE(engine.Convert(dir_->file("clip.avi"), out.file("clip.mpg")));
  const auto stopMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - cancelledAt).count();
  ASSERT_TRUE(log.cancel) << "the stage never reported";
  EXPECT_TRUE(engine.cancelled());
  EXPECT_LE(log.afterCancel, 1);
  // Generous for a loaded machine and a sanitizer build; the stage's own work is ~100 ms.
  EXPECT_LT(stopMs, 2000);
  ASSERT_FALSE(log.lines.empty());
  EXPECT_EQ(log.lines.back(), "Cancelled");
  EXPECT_TRUE(test::ListDir(out.path()).empty()) << test::ListDir(out.path()).front();
}

INSTANTIATE_TEST_SUITE_P(Stages, EngineCancel,
                         ::testing::Values(ConvertStage::Video, ConvertStage::Audio,
                                           ConvertStage::Multiplex),
                         [](const auto& info) {
                           switch (info.param) {
                             case ConvertStage::Video:
                               return std::string("Video");
                             case ConvertStage::Audio:
                               return std::string("Audio");
                             default:
                               return std::string("Multiplex");
                           }
                         });

}  // namespace
}  // namespace zr::mpeg
