#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "app/archive.h"
#include "app/document.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"
#include "write_failure.h"

namespace zr {
namespace {

using namespace std::string_literals;

struct Frame {
  std::string name, path;
  uint32_t frames;
};

// Builds a project the way a program of the given version wrote it.
std::string ProjectBytes(int16_t version, const std::string& sound,
                         const std::vector<Frame>& frames, uint16_t fps = 10, uint16_t bpp = 24,
                         const std::string& magic = "TVFC",
                         std::optional<int32_t> count = std::nullopt) {
  Archive ar;
  ar.WriteString(magic);
  ar.WriteWord(uint16_t(version));
  if (version >= 20) ar.WriteString(sound);
  ar.WriteDword(uint32_t(count.value_or(int32_t(frames.size()))));
  ar.WriteWord(fps);
  ar.WriteWord(bpp);
  for (const Frame& f : frames) {
    ar.WriteString(f.name);
    ar.WriteString(f.path);
    if (version >= 30) ar.WriteDword(f.frames);
  }
  return ar.bytes();
}

std::string Rows(const CTorvexerDoc& doc) {
  std::string s;
  for (int r = 1; r <= doc.frames.FrameCount(); ++r)
    s += doc.frames.Name(r) + "=" + doc.GetImagePath(doc.frames.Name(r)) + "*" +
         doc.frames.Text(r, 1) + " ";
  return s;
}

ProjectRead Read(CTorvexerDoc& doc, const std::string& bytes) {
  Archive ar(bytes);
  return doc.Serialize(ar);
}

TEST(Archive, StringLengthForms) {
  struct Case {
    size_t length;
    std::string prefix;
  } cases[] = {{0, "\x00"s},
               {254, "\xFE"},
               {255, "\xFF\xFF\x00"s},
               {300, "\xFF\x2C\x01"},
               {0xFFFD, "\xFF\xFD\xFF"},
               {0xFFFE, "\xFF\xFF\xFF\xFE\xFF\x00\x00"s},
               {70000, "\xFF\xFF\xFF\x70\x11\x01\x00"s}};
  for (const auto& c : cases) {
    Archive out;
    std::string text(c.length, 'q');
    out.WriteString(text);
    EXPECT_EQ(out.bytes().substr(0, c.prefix.size()), c.prefix) << c.length;
    EXPECT_EQ(out.bytes().size(), c.prefix.size() + c.length);
    Archive in(out.bytes());
    std::string back;
    EXPECT_TRUE(in.ReadString(back));
    EXPECT_EQ(back, text);
    EXPECT_EQ(in.remaining(), 0u);
  }
}

TEST(Archive, HostileLengthsFailWithoutReadingOn) {
  for (std::string bytes : {"\xFF\xFF\xFF\xFF\xFF\xFF\x7F"s, "\xFF\xFF\xFF\x00\x00\x00\x01xy"s,
                            "\xFF\x10\x00"
                            "abc"s,
                            "\x05"
                            "ab"s,
                            "\xFF"s, "\xFF\xFF\xFF\x01"s}) {
    Archive in(bytes);
    std::string text;
    EXPECT_FALSE(in.ReadString(text));
    EXPECT_TRUE(in.endOfFile());
    uint16_t w;
    EXPECT_FALSE(in.ReadWord(w));  // sticky
  }
}

TEST(ProjectFile, ExactBytesOfOneFrame) {
  CTorvexerDoc doc;
  doc.frames.AddFrameRow("a.bmp", -1, 3);
  doc.SetImagePath("a.bmp", "C:\\a.bmp");
  Archive ar;
  doc.Serialize(ar);
  EXPECT_EQ(ar.bytes(),
            "\x04TVFC\x1E\x00\x00\x01\x00\x00\x00\x0A\x00\x18\x00\x05"
            "a.bmp\x08"
            "C:\\a.bmp\x03\x00\x00\x00"s);
  EXPECT_EQ(ar.bytes().size(), 35u);
}

TEST(ProjectFile, SavedProjectReadsBackFieldForField) {
  test::FakeHost host;
  CTorvexerDoc doc;
  doc.AttachHost(host);
  doc.frames.AddFrameRow("a.bmp", -1, 5);
  doc.frames.AddFrameRow("b b.png", -1, 1);
  doc.frames.AddFrameRow("a.bmp", -1, 2);  // two rows may share a name
  doc.frames.SetText(2, 1, "letters");     // saved as 0
  doc.SetImagePath("a.bmp", "/x/a.bmp");
  doc.SetImagePath("b b.png", std::string(300, 'p'));
  doc.windows().SetFpsText("12");
  doc.SetDepth(8);
  doc.AttachSound("/s/t.wav");

  Archive ar;
  doc.Serialize(ar);
  EXPECT_EQ(doc.nFps, 12);  // read back from the panel on save
  CTorvexerDoc back;
  back.AttachHost(host);
  ASSERT_EQ(Read(back, ar.bytes()), ProjectRead::Ok);
  EXPECT_EQ(Rows(back),
            "a.bmp=/x/a.bmp*5 b b.png=" + std::string(300, 'p') + "*0 a.bmp=/x/a.bmp*2 ");
  EXPECT_EQ(back.nFps, 12);
  EXPECT_EQ(back.nBpp, 8);
  EXPECT_EQ(back.sSoundFile, "/s/t.wav");
  EXPECT_EQ(back.windows().FpsText(), "12");
  EXPECT_EQ(back.frames.CurrentRow(), 1);
  EXPECT_TRUE(host.messages.empty());

  Archive again;
  back.Serialize(again);
  EXPECT_EQ(again.bytes(), ar.bytes());
}

TEST(ProjectFile, EveryOlderVersionReads) {
  test::FakeHost host;
  const std::vector<Frame> frames = {{"a.bmp", "/a.bmp", 4}, {"b.bmp", "/b.bmp", 0}};
  for (int v : {-32768, -1, 0, 1, 19, 20, 25, 29, 30}) {
    CTorvexerDoc doc;
    doc.AttachHost(host);
    doc.sSoundFile = "/kept.wav";
    ASSERT_EQ(Read(doc, ProjectBytes(int16_t(v), "/new.wav", frames, 15, 16)), ProjectRead::Ok)
        << v;
    EXPECT_EQ(Rows(doc),
              v >= 30 ? "a.bmp=/a.bmp*4 b.bmp=/b.bmp*0 " : "a.bmp=/a.bmp*1 b.bmp=/b.bmp*1 ")
        << v;
    EXPECT_EQ(doc.sSoundFile, v >= 20 ? "/new.wav" : "/kept.wav") << v;
    EXPECT_EQ(doc.nFps, 15);
    EXPECT_EQ(doc.nBpp, 16);
    EXPECT_EQ(doc.FileVersion(), v);
  }
  EXPECT_TRUE(host.messages.empty());
}

TEST(ProjectFile, RejectsWrongMagicAndNewerVersions) {
  test::FakeHost host;
  struct Case {
    std::string bytes;
    ProjectRead want;
    const char* message;
  } cases[] = {
      {ProjectBytes(30, "", {{"a", "/a", 1}}, 10, 24, "tvfc"), ProjectRead::UnknownFormat,
       "Unknown file format"},
      {ProjectBytes(30, "", {{"a", "/a", 1}}, 10, 24, "TVFCX"), ProjectRead::UnknownFormat,
       "Unknown file format"},
      {ProjectBytes(31, "", {{"a", "/a", 1}}), ProjectRead::UnsupportedVersion,
       "Unsupported file version"},
      {ProjectBytes(32767, "", {}), ProjectRead::UnsupportedVersion, "Unsupported file version"},
  };
  for (const auto& c : cases) {
    host.messages.clear();
    CTorvexerDoc doc;
    doc.AttachHost(host);
    doc.frames.AddFrameRow("old", -1, 1);
    doc.nFps = 7;
    doc.sSoundFile = "/old.wav";
    EXPECT_EQ(Read(doc, c.bytes), c.want);
    EXPECT_EQ(doc.frames.FrameCount(), 0);
    EXPECT_EQ(doc.nFps, 7);
    EXPECT_EQ(doc.sSoundFile, "/old.wav");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], c.message);
  }
}

TEST(ProjectFile, TruncatedAtEveryOffsetKeepsTheFramesReadSoFar) {
  test::FakeHost host;
  const std::vector<Frame> frames = {
      {"a.bmp", "/a.bmp", 2}, {"b.bmp", "/b.bmp", 3}, {"c.bmp", "/c.bmp", 4}};
  const std::string full = ProjectBytes(30, "/s.wav", frames);
  // End offset of each complete frame record.
  std::vector<size_t> recordEnds;
  {
    size_t at = ProjectBytes(30, "/s.wav", {}).size();
    for (const Frame& f : frames) recordEnds.push_back(at += 2 + f.name.size() + f.path.size() + 4);
  }
  for (size_t cut = 0; cut < full.size(); ++cut) {
    CTorvexerDoc doc;
    doc.AttachHost(host);
    EXPECT_EQ(Read(doc, full.substr(0, cut)), ProjectRead::Truncated) << cut;
    int complete = 0;
    for (size_t end : recordEnds) complete += end <= cut;
    EXPECT_EQ(doc.frames.FrameCount(), complete) << cut;
  }
  EXPECT_TRUE(host.messages.empty());  // the caller reports the archive error
}

TEST(ProjectFile, HostileCountsAllocateNothingAndStopAtTheData) {
  test::FakeHost host;
  for (int32_t count : {0x7FFFFFFF, -1, 0, int32_t(0x80000000)}) {
    CTorvexerDoc doc;
    doc.AttachHost(host);
    ProjectRead r = Read(doc, ProjectBytes(30, "", {{"a", "/a", 1}}, 10, 24, "TVFC", count));
    EXPECT_EQ(r, count > 1 ? ProjectRead::Truncated : ProjectRead::Ok) << count;
    EXPECT_EQ(doc.frames.FrameCount(), count >= 1 ? 1 : 0) << count;
  }
  // A huge frame count in a record is a count, not an allocation.
  CTorvexerDoc doc;
  doc.AttachHost(host);
  EXPECT_EQ(Read(doc, ProjectBytes(30, "", {{"a", "/a", 0xFFFFFFFF}})), ProjectRead::Ok);
  EXPECT_EQ(doc.frames.Text(1, 1), "-1");
  EXPECT_EQ(doc.frames.Frames(1), 1);
}

TEST(ProjectFile, OpenAndSaveThroughFiles) {
  test::FakeHost host;
  test::TempDir dir;
  CTorvexerDoc doc;
  doc.AttachHost(host);
  doc.frames.AddFrameRow("a.bmp", -1, 5);
  doc.SetImagePath("a.bmp", "/a.bmp");
  ASSERT_TRUE(doc.OnSaveDocument(dir.file("p.tvf")));
  EXPECT_EQ(doc.GetTitle(), "p.tvf");

  CTorvexerDoc back;
  back.AttachHost(host);
  EXPECT_TRUE(back.OnOpenDocument(dir.file("p.tvf")));
  EXPECT_EQ(Rows(back), "a.bmp=/a.bmp*5 ");
  EXPECT_EQ(back.GetPathName(), dir.file("p.tvf"));
  EXPECT_FALSE(back.IsModified());

  // An "ini" argument only names the settings file.
  EXPECT_TRUE(back.OnOpenDocument(dir.file("Job.INI")));
  EXPECT_EQ(back.sIniFile, dir.file("Job.INI"));
  EXPECT_EQ(back.frames.FrameCount(), 1);

  // A wrong magic still opens (empty), a truncated file fails and keeps its frames.
  test::WriteBytes(dir.file("bad.tvf"), "\x04tvfc");
  EXPECT_TRUE(back.OnOpenDocument(dir.file("bad.tvf")));
  EXPECT_EQ(back.GetPathName(), dir.file("bad.tvf"));
  EXPECT_EQ(back.LastReadResult(), ProjectRead::UnknownFormat);

  std::string two = ProjectBytes(30, "", {{"a", "/a", 1}, {"b", "/b", 1}});
  test::WriteBytes(dir.file("cut.tvf"), two.substr(0, two.size() - 3));
  host.messages.clear();
  EXPECT_FALSE(back.OnOpenDocument(dir.file("cut.tvf")));
  EXPECT_EQ(back.frames.FrameCount(), 1);
  EXPECT_EQ(back.GetPathName(), dir.file("bad.tvf"));
  EXPECT_EQ(host.messages.size(), 1u);
  EXPECT_TRUE(back.IsModified());

  EXPECT_FALSE(back.OnOpenDocument(dir.file("none.tvf")));
  EXPECT_EQ(back.LastReadResult(), ProjectRead::CannotRead);
}

TEST(ProjectFile, FailedSaveLeavesOldProjectByteIdentical) {
  test::FakeHost host;
  test::TempDir dir;
  std::string path = dir.file("p.tvf");
  std::string old = ProjectBytes(30, "", {{"old", "/old", 1}});
  test::WriteBytes(path, old);
  CTorvexerDoc doc;
  doc.AttachHost(host);
  doc.frames.AddFrameRow("a", -1, 1);
  doc.SetImagePath("a", std::string(100000, 'p'));
  {
    test::FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.ok());
    EXPECT_FALSE(doc.OnSaveDocument(path));
  }
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], "Error: cannot write " + path + ": File too large");
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(doc.GetPathName(), "");
  EXPECT_EQ(test::ReadBytes(path), old);
  int files = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace zr
