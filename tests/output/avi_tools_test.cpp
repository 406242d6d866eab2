// Quick AVI Create, extraction and morphing, checked through our AVI layer and, for the
// files we write, through ffprobe as an independent reader.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/document.h"
#include "image/cbmp.h"
#include "output/avi_writer.h"
#include "output/extract.h"
#include "output/morph.h"
#include "output/quick_avi.h"
#include "platform/avifile/avifile.h"
#include "platform/paths.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

using test::FakeHost;
using test::TempDir;

// A w x h picture whose pixels depend on (x, y, seed), saved as BMP.
void SaveTestImage(const std::string& path, int w, int h, int seed) {
  Bitmap bmp(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      bmp.at(x, y) = PixelFromColorRef(Rgb(uint8_t(x * 7 + seed), uint8_t(y * 5 + seed * 3),
                                           uint8_t((x ^ y) + seed * 11)));
  CBmp image;
  image.SetBitmap(std::move(bmp));
  ASSERT_TRUE(image.Save(path));
}

AVICOMPRESSOPTIONS Uncompressed() {
  AVICOMPRESSOPTIONS o = DefaultCompressOptions();
  o.fccHandler = kCompressorDib;
  return o;
}

int VideoFrames(const std::string& avi) {
  PAVIFILE file = nullptr;
  if (AVIFileOpen(&file, avi, OF_READ) != AVIERR_OK) return -1;
  AVIFILEINFO info;
  AVIFileInfo(file, &info, sizeof info);
  AVIFileRelease(file);
  return int(info.dwLength);
}

TEST(MorphBlend, MovesEachByteByItsShareOfTheRemainingDistance) {
  // 10 -> 0 over 4 steps: 8, 6, 3, 0; 2 -> 0: 2, 2, 1, 0; rising values mirror it.
  std::vector<uint8_t> cur = {10, 2, 0, 200}, tgt = {0, 0, 10, 200};
  std::vector<std::vector<uint8_t>> seen;
  for (int r = 4; r >= 1; --r) {
    BlendStep(cur, tgt, r);
    seen.push_back(cur);
  }
  EXPECT_EQ(seen[0], (std::vector<uint8_t>{8, 2, 2, 200}));
  EXPECT_EQ(seen[1], (std::vector<uint8_t>{6, 2, 4, 200}));
  EXPECT_EQ(seen[2], (std::vector<uint8_t>{3, 1, 7, 200}));
  EXPECT_EQ(seen[3], tgt);
}

TEST(MorphDialogRules, StepsAndStartAreClampedAndPathsChecked) {
  EXPECT_EQ(MorphStepsFromText("20"), 20);
  EXPECT_EQ(MorphStepsFromText("0"), 1);
  EXPECT_EQ(MorphStepsFromText("-5"), 1);
  EXPECT_EQ(MorphStepsFromText("999"), 254);
  EXPECT_EQ(MorphStepsFromText(" 12abc"), 12);
  EXPECT_EQ(MorphStartFromText("-3"), 0);
  EXPECT_EQ(MorphStartFromText("7"), 7);
  EXPECT_EQ(MorphImagePath("/m", 10000), "/m/Img10000.bmp");
  TempDir dir;
  SaveTestImage(dir.file("a.bmp"), 4, 4, 1);
  EXPECT_EQ(CheckMorphPaths(dir.file("a.bmp"), dir.file("a.bmp")), "Cannot morph into the same image");
  EXPECT_EQ(CheckMorphPaths(dir.file("a.bmp"), dir.file("b.bmp")), "Cannot open " + dir.file("b.bmp"));
  EXPECT_EQ(CheckMorphPaths(dir.file("x.bmp"), dir.file("a.bmp")), "Cannot open " + dir.file("x.bmp"));
}

TEST(Morph, WritesStartBlendsAndEndAndFillsTheProject) {
  FakeHost host;
  TempDir dir;
  SaveTestImage(dir.file("from.bmp"), 9, 5, 0);
  SaveTestImage(dir.file("to.bmp"), 9, 5, 40);
  MorphResult r = MakeMorphImages(host, nullptr, dir.file("from.bmp"), dir.file("to.bmp"), dir.path(), 3, 0);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.names.size(), 5u);
  EXPECT_EQ(r.names.front(), dir.file("Img0000.bmp"));
  EXPECT_EQ(r.names.back(), dir.file("Img0004.bmp"));

  CBmp from, mid, last, end;
  ASSERT_TRUE(from.Load(dir.file("from.bmp")));
  ASSERT_TRUE(mid.Load(dir.file("Img0001.bmp")));
  ASSERT_TRUE(last.Load(dir.file("Img0003.bmp")));
  ASSERT_TRUE(end.Load(dir.file("to.bmp")));
  // The first in-between moves every channel by a third of its distance (rounded down),
  // the last equals the end picture.
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 9; ++x) {
      Pixel a = from.bitmap().at(x, y), b = end.bitmap().at(x, y), m = mid.bitmap().at(x, y);
      for (int shift : {0, 8, 16}) {
        int ca = (a >> shift) & 255, cb = (b >> shift) & 255;
        int expect = cb < ca ? ca - (ca - cb) / 3 : ca + (cb - ca) / 3;
        ASSERT_EQ(int((m >> shift) & 255), expect);
      }
      ASSERT_EQ(last.bitmap().at(x, y) & 0xFFFFFF, b & 0xFFFFFF);
    }

  CTorvexerDoc doc;
  doc.AttachHost(host);
  doc.frames.AddFrameRow("old.bmp", -1, 3);
  AddMorphImagesToProject(doc, r.names, 1);
  EXPECT_EQ(doc.frames.FrameCount(), 6);
  EXPECT_EQ(doc.GetImagePath("Img0002.bmp"), dir.file("Img0002.bmp"));
  AddMorphImagesToProject(doc, r.names, 0);
  EXPECT_EQ(doc.frames.FrameCount(), 5);
  AddMorphImagesToProject(doc, r.names, 2);
  EXPECT_EQ(doc.frames.FrameCount(), 5);
}

TEST(Morph, MakesAMissingFolderAndListsWhatAnotherRunWouldReplace) {
  FakeHost host;
  TempDir dir;
  SaveTestImage(dir.file("from.bmp"), 4, 4, 0);
  SaveTestImage(dir.file("to.bmp"), 4, 4, 9);
  const std::string folder = dir.file("deep/er");
  MorphResult r = MakeMorphImages(host, nullptr, dir.file("from.bmp"), dir.file("to.bmp"), folder, 2, 1);
  ASSERT_TRUE(r.ok) << (host.messages.empty() ? "" : host.messages[0]);
  EXPECT_EQ(r.summary, "4 images written to " + folder + "/");
  EXPECT_EQ(host.statuses.back(), r.summary);
  EXPECT_EQ(test::ListDir(folder).size(), 4u) << "no temporary left";
  // A run from 3 on overlaps at 3 and 4 only.
  std::vector<std::string> again = MorphFilesToReplace(folder, 2, 3);
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[0], folder + "/Img0003.bmp");
  EXPECT_EQ(ReplaceQuestion(again.size(), folder, false),
            "2 files in " + folder + " will be replaced. Replace them?");
  EXPECT_EQ(ReplaceQuestion(1, "S", true), "1 sample file in S will be replaced. Replace it?");

  MorphResult bad = MakeMorphImages(host, nullptr, dir.file("none.bmp"), dir.file("to.bmp"), dir.path(), 2, 1);
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(host.messages.back(), "Error: bitmap load failed");
}

TEST(Morph, CancelMidwayLeavesTheFolderAsItWas) {
  FakeHost host;
  TempDir dir;
  SaveTestImage(dir.file("from.bmp"), 6, 6, 0);
  SaveTestImage(dir.file("to.bmp"), 6, 6, 9);
  test::WriteBytes(dir.file("Img0002.bmp"), "a frame of a project");
  host.cancelAfterPolls = 3;
  MorphResult r = MakeMorphImages(host, nullptr, dir.file("from.bmp"), dir.file("to.bmp"), dir.path(), 10, 1);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(host.statuses.back(), "Cancelled");
  EXPECT_EQ(test::ReadBytes(dir.file("Img0002.bmp")), "a frame of a project");
  EXPECT_EQ(test::ListDir(dir.path()),
            (std::vector<std::string>{"Img0002.bmp", "from.bmp", "to.bmp"}));
}

TEST(QuickAvi, ProbesExtensionsInOrderAndStopsAtTheFirstGap) {
  TempDir dir;
  SaveTestImage(dir.file("Img0001.bmp"), 8, 6, 1);
  ASSERT_TRUE(test::WriteBytes(dir.file("Img0001.jpg"), "x"));
  SaveTestImage(dir.file("Img0002.bmp"), 8, 6, 2);
  SaveTestImage(dir.file("Img0003.bmp"), 8, 6, 3);
  SaveTestImage(dir.file("Img0005.bmp"), 8, 6, 5);
  QuickAviPattern p;
  ASSERT_TRUE(FindQuickAviImages(dir.path(), p));
  EXPECT_EQ(p.extension, ".bmp");
  EXPECT_EQ(CountQuickAviImages(p), 3);
  EXPECT_EQ(p.Name(10000), dir.file("Img10000.bmp"));

  TempDir upper;
  SaveTestImage(upper.file("IMG0001.BMP"), 8, 6, 1);
  SaveTestImage(upper.file("IMG0002.BMP"), 8, 6, 1);
  ASSERT_TRUE(FindQuickAviImages(upper.path(), p));
  EXPECT_EQ(p.Name(2), upper.file("IMG0002.BMP"));
  EXPECT_EQ(CountQuickAviImages(p), 2);

  TempDir empty;
  EXPECT_FALSE(FindQuickAviImages(empty.path(), p));
}

TEST(QuickAvi, WritesOneFramePerImageAndReportsAMissingFolderOrSound) {
  FakeHost host;
  TempDir dir;
  for (int i = 1; i <= 4; ++i) SaveTestImage(dir.file("Img000" + std::to_string(i) + ".bmp"), 16, 8, i);
  QuickAviRequest req;
  req.folder = dir.path();
  req.output = dir.file("out.avi");
  req.options = Uncompressed();
  ASSERT_TRUE(QuickAviCreate(host, req));
  EXPECT_EQ(VideoFrames(req.output), 4);
  std::string probe;
  ASSERT_EQ(test::RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                             "stream=width,height,nb_read_frames -of csv=p=0 " + req.output, &probe), 0);
  EXPECT_EQ(probe, "16,8,4\n");

  req.sound = dir.file("missing.wav");
  req.output = dir.file("with-sound.avi");
  EXPECT_FALSE(QuickAviCreate(host, req));
  EXPECT_FALSE(FileExists(req.output));
  ASSERT_FALSE(host.messages.empty());
  EXPECT_NE(host.messages.back().find("missing.wav"), std::string::npos);

  TempDir empty;
  req.folder = empty.path();
  EXPECT_FALSE(QuickAviCreate(host, req));
  EXPECT_EQ(host.messages.back(), "No images found");
}

TEST(Extract, UncompressedFramesComeBackPixelIdenticalAndOnlySampleFilesAreCleared) {
  FakeHost host;
  TempDir dir;
  CAviWriter writer;
  writer.options = Uncompressed();
  writer.SetRate(5);
  for (int i = 0; i < 3; ++i) {
    std::string p = dir.file("f" + std::to_string(i) + ".bmp");
    SaveTestImage(p, 11, 7, i * 20);
    writer.AddFrame(p, i == 1 ? 2 : 1);
  }
  ASSERT_TRUE(writer.Write(host, dir.file("clip.avi")));

  std::string samples = dir.file("Samples/");
  MakeFolders(samples + "keep");
  ASSERT_TRUE(test::WriteBytes(samples + "01_99999.bmp", "old"));
  ASSERT_TRUE(test::WriteBytes(samples + "notes.txt", "mine"));
  HostExtractProgress progress(host);
  const std::string programSamples = SamplesFolder(dir.file("program/"));
  ExtractImagesResult r = ExtractImages(host, dir.file("clip.avi"), samples, progress, programSamples);
  ASSERT_TRUE(r.opened);
  EXPECT_EQ(r.written, 4);
  EXPECT_TRUE(r.failedFrames.empty());
  EXPECT_FALSE(FileExists(samples + "01_99999.bmp"));
  EXPECT_TRUE(FileExists(samples + "notes.txt"));
  EXPECT_TRUE(FolderExists(samples + "keep"));

  CBmp original, extracted;
  ASSERT_TRUE(original.Load(dir.file("f1.bmp")));
  for (const char* name : {"01_00002.bmp", "01_00003.bmp"}) {
    ASSERT_TRUE(extracted.Load(samples + name)) << name;
    EXPECT_EQ(extracted.bitmap().pixels, original.bitmap().pixels) << name;
  }
  EXPECT_FALSE(FileExists(samples + "01_00005.bmp"));
  EXPECT_TRUE(host.messages.empty()) << "no Samples sentence for another folder";
  EXPECT_EQ(r.summary, "4 images written to " + samples);
  EXPECT_EQ(SampleFilesToReplace(samples).size(), 4u);

  // A Cancel after two frames keeps the complete old set.
  const std::vector<std::string> before = test::ListDir(samples);
  const std::string second = test::ReadBytes(samples + "01_00002.bmp");
  host.cancelPolls = 0;
  host.cancelAfterPolls = 2;
  ExtractImagesResult stopped = ExtractImages(host, dir.file("clip.avi"), samples, progress, programSamples);
  EXPECT_TRUE(stopped.cancelled);
  EXPECT_FALSE(stopped.ok);
  EXPECT_EQ(test::ListDir(samples), before);
  EXPECT_EQ(test::ReadBytes(samples + "01_00002.bmp"), second);
  host.cancelAfterPolls = -1;

  // An AVI that can't be opened leaves the samples alone and says so.
  ExtractImagesResult none =
      ExtractImages(host, dir.file("nothing.avi"), samples, progress, programSamples);
  EXPECT_FALSE(none.opened);
  EXPECT_TRUE(FileExists(samples + "01_00001.bmp"));
  EXPECT_EQ(host.messages.back(), "Cannot open " + dir.file("nothing.avi"));

  // Into the program's own Samples folder, the user hears that the next run overwrites them.
  host.messages.clear();
  ASSERT_TRUE(ExtractImages(host, dir.file("clip.avi"), samples, progress, samples).ok);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].find("'Samples' folder"), std::string::npos) << host.messages[0];
}

TEST(Extract, SampleNamesAndDibFilesFollowTheirLayout) {
  EXPECT_EQ(SampleFileName(1, 1), "01_00001.bmp");
  EXPECT_EQ(SampleFileName(12, 123456), "12_123456.bmp");
  EXPECT_TRUE(IsSampleFileName("01_00001.bmp"));
  EXPECT_TRUE(IsSampleFileName("123_1234567.bmp"));
  EXPECT_FALSE(IsSampleFileName("1_00001.bmp"));
  EXPECT_FALSE(IsSampleFileName("01_0001.bmp"));
  EXPECT_FALSE(IsSampleFileName("01_00001.bmp.txt"));
  EXPECT_FALSE(IsSampleFileName("mine.bmp"));

  TempDir dir;
  EXPECT_FALSE(WriteDibFile(nullptr, dir.file("a.bmp")));
  EXPECT_FALSE(FileExists(dir.file("a.bmp")));
  auto dib = PackedDib::Create(3, 2, 8);
  ASSERT_TRUE(dib);
  dib->header().biSizeImage = 0;  // recomputed from the rows
  ASSERT_TRUE(WriteDibFile(&dib->header(), dir.file("b.bmp")));
  std::string bytes = test::ReadBytes(dir.file("b.bmp"));
  ASSERT_EQ(bytes.size(), 14u + 40 + 1024 + 8);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(uint8_t(bytes[10]) | (uint8_t(bytes[11]) << 8), 14 + 40 + 1024);
  EXPECT_EQ(uint8_t(bytes[14 + 20]), 8);  // biSizeImage
}

TEST(Extract, SoundIsSavedUnconvertedAndMissingSoundIsTold) {
  FakeHost host;
  TempDir dir;
  ASSERT_EQ(test::RunCommand("ffmpeg -v error -f lavfi -i sine=f=500:r=22050:d=0.5 "
                             "-c:a pcm_s16le " + dir.file("tone.wav")), 0);
  ASSERT_TRUE(ExtractSound(host, dir.file("tone.wav"), dir.file("copy.wav")));
  std::string a, b;
  test::RunCommand("ffmpeg -v error -i " + dir.file("tone.wav") + " -f s16le - | md5sum", &a);
  test::RunCommand("ffmpeg -v error -i " + dir.file("copy.wav") + " -f s16le - | md5sum", &b);
  EXPECT_EQ(a, b);

  CAviWriter writer;
  writer.options = Uncompressed();
  writer.SetRate(5);
  SaveTestImage(dir.file("f.bmp"), 4, 4, 0);
  writer.AddFrame(dir.file("f.bmp"), 1);
  ASSERT_TRUE(writer.Write(host, dir.file("silent.avi")));
  EXPECT_FALSE(ExtractSound(host, dir.file("silent.avi"), dir.file("none.wav")));
  EXPECT_FALSE(FileExists(dir.file("none.wav")));
  EXPECT_NE(host.messages.back().find("has no sound"), std::string::npos);
}

}  // namespace
}  // namespace zr
