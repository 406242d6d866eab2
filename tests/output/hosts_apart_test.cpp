// Two AVI writes at once, each with a host of its own: every question and message of one
// reaches its own host only (the thread sanitizer run watches the same test).
#include <gtest/gtest.h>

#include <thread>

#include "output/avi_writer.h"
#include "output_support.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

TEST(HostsApart, TwoWritersAtOnceTellOnlyTheirOwnHost) {
  test::TempDir dir;
  struct Job {
    std::string name;
    test::SizeHost host;
    bool ok = true;
  };
  Job jobs[2];
  jobs[0].name = "first";
  jobs[1].name = "second";
  auto run = [&](Job& job) {
    CAviWriter w;
    w.options = DefaultCompressOptions();
    w.options.fccHandler = kCompressorDib;
    w.SetRate(10);
    const std::string big = job.name + "-big.bmp";
    w.AddFrame(test::SaveImage(dir.file(job.name + "-a.bmp"), 16, 8, 0xFF, 0xFF), 2);
    w.AddFrame(test::SaveImage(dir.file(big), 32, 8, 0xFF00, 0xFF00), 1);  // asks the size
    w.AddFrame(dir.file(job.name + "-missing.bmp"), 1);
    job.host.sizeAnswers.push_back(test::Answer(1, false));
    job.ok = w.Write(job.host, dir.file(job.name + ".avi"));
  };
  std::thread a([&] { run(jobs[0]); });
  std::thread b([&] { run(jobs[1]); });
  a.join();
  b.join();
  for (const Job& job : jobs) {
    SCOPED_TRACE(job.name);
    EXPECT_FALSE(job.ok);
    EXPECT_EQ(job.host.asked, std::vector<std::string>{dir.file(job.name + "-big.bmp")});
    EXPECT_EQ(job.host.messages,
              std::vector<std::string>{"Could not load " + dir.file(job.name + "-missing.bmp")});
  }
}

}  // namespace
}  // namespace zr
