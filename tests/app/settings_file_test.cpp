#include "app/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/fake_host.h"
#include "support/temp_dir.h"
#include "write_failure.h"

namespace zr {
namespace {

using Sections = std::map<std::string, SettingsFile::Section>;

SettingsFile FromText(const std::string& text) {
  SettingsFile s;
  s.LoadText(text);
  return s;
}

TEST(SettingsFile, EveryAccessorRoundTripsThroughAFile) {
  test::TempDir dir;
  SettingsFile out;
  out.Load(dir.file("a.ini"), false);  // missing file: sets the path for Save
  out.WriteString("General", "Sound", "/snd/kl\xC3\xA4ng.wav");
  out.WriteInt("General", "FPS", 15);
  out.WriteInt("General", "Neg", -7);
  out.WriteColor("General", "ScreenColor", Rgb(1, 2, 250));
  out.WriteString("Text", "Multi", "one\ntwo", true);
  out.WriteString("Images", "0", "/p/a b.bmp");
  ASSERT_TRUE(out.Save());

  SettingsFile in;
  ASSERT_TRUE(in.Load(dir.file("a.ini"), false));
  EXPECT_EQ(in.sections(), out.sections());
  std::string s;
  EXPECT_TRUE(in.ReadString("General", "Sound", s));
  EXPECT_EQ(s, "/snd/kl\xC3\xA4ng.wav");
  int16_t n = 0;
  EXPECT_TRUE(in.ReadInt("General", "FPS", n));
  EXPECT_EQ(n, 15);
  EXPECT_TRUE(in.ReadInt("General", "Neg", n));
  EXPECT_EQ(n, -7);
  ColorRef c = 0;
  EXPECT_TRUE(in.ReadColor("General", "ScreenColor", c));
  EXPECT_EQ(c, Rgb(1, 2, 250));
  EXPECT_TRUE(in.ReadString("Text", "Multi", s, true));
  EXPECT_EQ(s, "one\ntwo");
  EXPECT_TRUE(in.ReadString("Text", "Multi", s, false));
  EXPECT_EQ(s, "one`two");
  EXPECT_TRUE(in.ReadIndexed("Images", 0, s));
  EXPECT_EQ(s, "/p/a b.bmp");
  EXPECT_FALSE(in.dirty());
}

TEST(SettingsFile, SavedTextIsInMapOrderWithoutComments) {
  SettingsFile s = FromText(";c\n[b]\nz=1\na=2\n[a]\nk=v\n");
  EXPECT_EQ(s.Serialize(), "[a]\nk=v\n[b]\na=2\nz=1\n");
}

TEST(SettingsFile, LineRules) {
  SettingsFile s = FromText(
      "orphan=1\n"
      "[General\n"
      "  FPS=15  \r\n"
      "FPS=20\n"
      "Sound=\n"
      "a = b\n"
      "  ; comment=1\n"
      "x;y=1\n"
      "k=v=w\n"
      "C:\\Pics\\A.BMP\n"
      "[]\n"
      "lost=1\n"
      "[Other] trailing\n"
      "q=1\n");
  Sections expected = {
      {"General",
       {{"FPS", "20"},
        {"a ", " b"},
        {"x;y", "1"},
        {"k", "v=w"},
        {"c:\\pics\\a.bmp", "C:\\Pics\\A.BMP"}}},
      {"Other", {{"q", "1"}}},
  };
  EXPECT_EQ(s.sections(), expected);
  std::string v = "stale";
  EXPECT_FALSE(s.ReadString("General", "Sound", v));
  EXPECT_EQ(v, "");
  EXPECT_EQ(s.Serialize().find("orphan"), std::string::npos);
}

TEST(SettingsFile, IntegersFollowAtoiAndSixteenBits) {
  SettingsFile s = FromText("[g]\na=  -12xyz\nb=abc\nc=70000\nd=+5\n");
  struct Case {
    const char* key;
    int16_t want;
  } cases[] = {{"a", -12}, {"b", 0}, {"c", 4464}, {"d", 5}};
  for (auto [key, want] : cases) {
    int16_t v = 99;
    EXPECT_TRUE(s.ReadInt("g", key, v)) << key;
    EXPECT_EQ(v, want) << key;
  }
  int16_t kept = 99;
  EXPECT_FALSE(s.ReadInt("g", "missing", kept));
  EXPECT_EQ(kept, 99);

  s.WriteInt("g", "w", int16_t(40000));
  std::string text;
  s.ReadString("g", "w", text);
  EXPECT_EQ(text, "-25536");
  EXPECT_EQ(AtoiText("2147483648"), INT32_MIN);  // wraps, never undefined
  EXPECT_EQ(AtoiText(" \t-0042 7"), -42);
}

TEST(SettingsFile, ColorSplitting) {
  SettingsFile s = FromText("[c]\na=10,20,30\nb=255\nc=10,20\nd=300,-1,x\ne=,,\n");
  struct Case {
    const char* key;
    ColorRef want;
  } cases[] = {{"a", Rgb(10, 20, 30)},
               {"b", Rgb(0, 0, 255)},
               {"c", Rgb(10, 10, 20)},
               {"d", Rgb(44, 255, 0)},
               {"e", Rgb(0, 0, 0)}};
  for (auto [key, want] : cases) {
    ColorRef c = 0x123456;
    EXPECT_TRUE(s.ReadColor("c", key, c)) << key;
    EXPECT_EQ(c, want) << key;
  }
  ColorRef kept = 0x123456;
  EXPECT_FALSE(s.ReadColor("c", "none", kept));
  EXPECT_EQ(kept, 0x123456u);
}

TEST(SettingsFile, EmptyValueRemovesKeyButKeepsSection) {
  SettingsFile s;
  s.WriteString("S", "k", "v");
  s.WriteString("S", "k", "");
  EXPECT_EQ(s.Serialize(), "[S]\n");
  EXPECT_TRUE(s.dirty());
}

TEST(SettingsFile, LoadAddsToTheStoreAndSetsPathFirst) {
  test::TempDir dir;
  test::WriteBytes(dir.file("one.ini"), "[A]\nx=1\n");
  SettingsFile s;
  s.WriteString("B", "y", "2");
  EXPECT_TRUE(s.Load(dir.file("one.ini"), false));
  EXPECT_FALSE(s.dirty());
  std::string v;
  EXPECT_TRUE(s.ReadString("B", "y", v));
  EXPECT_TRUE(s.ReadString("A", "x", v));

  EXPECT_FALSE(s.Load(dir.file("missing.ini"), false));
  EXPECT_EQ(s.path(), dir.file("missing.ini"));
  s.WriteString("A", "x", "3");
  EXPECT_TRUE(s.Save());
  EXPECT_EQ(test::ReadBytes(dir.file("missing.ini")), "[A]\nx=3\n[B]\ny=2\n");
}

TEST(SettingsFile, LoadFailuresAreNamed) {
  test::TempDir dir;
  SettingsFile s;
  SettingsError error = SettingsError::None;
  EXPECT_FALSE(s.Load(dir.file("missing.ini"), true, &error));
  EXPECT_EQ(error, SettingsError::CannotOpen);
  std::filesystem::create_directory(dir.file("folder.ini"));
  EXPECT_FALSE(s.Load(dir.file("folder.ini"), true, &error));
  EXPECT_EQ(error, SettingsError::CannotOpen);
  // Sparse: no disk or memory spent on the size.
  test::WriteBytes(dir.file("huge.ini"), "[A]\nx=1\n");
  std::filesystem::resize_file(dir.file("huge.ini"), (uint64_t(64) << 20) + 1);
  EXPECT_FALSE(s.Load(dir.file("huge.ini"), true, &error));
  EXPECT_EQ(error, SettingsError::TooLarge);
  EXPECT_TRUE(s.sections().empty());
  test::WriteBytes(dir.file("ok.ini"), "[A]\nx=1\n");
  EXPECT_TRUE(s.Load(dir.file("ok.ini"), true, &error));
  EXPECT_EQ(error, SettingsError::None);
}

TEST(SettingsFile, SaveNeedsWritableAndDirtyAndDirtyStays) {
  test::TempDir dir;
  std::string path = dir.file("s.ini");
  test::WriteBytes(path, "[A]\nx=1\n");
  SettingsFile s;
  s.Load(path, true);
  s.WriteString("A", "x", "2");
  EXPECT_TRUE(s.Save());
  EXPECT_EQ(test::ReadBytes(path), "[A]\nx=1\n");  // read-only: never written

  SettingsFile w;
  w.Load(path, false);
  EXPECT_TRUE(w.Save());
  EXPECT_EQ(test::ReadBytes(path), "[A]\nx=1\n");  // clean: not written
  w.WriteString("A", "x", "2");
  EXPECT_TRUE(w.Save());
  EXPECT_TRUE(w.dirty());
  test::WriteBytes(path, "changed elsewhere");
  EXPECT_TRUE(w.Save());  // still dirty, so it writes again
  EXPECT_EQ(test::ReadBytes(path), "[A]\nx=2\n");
}

// A write that fails halfway must leave the previous file as it was.
TEST(SettingsFile, FailedSaveLeavesOldFileByteIdentical) {
  test::FakeHost host;
  test::TempDir dir;
  std::string path = dir.file("keep.ini");
  const std::string old = "[A]\nx=old\n";
  test::WriteBytes(path, old);
  SettingsFile s;
  s.AttachHost(host);
  s.Load(path, false);
  s.WriteString("A", "big", std::string(200000, 'v'));

  {
    test::FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.ok());
    EXPECT_FALSE(s.Save());
  }
  EXPECT_EQ(test::ReadBytes(path), old);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], "Error: cannot write " + path + ": File too large");

  // A folder we cannot write into (meaningless for root, who may write anywhere).
  if (geteuid() != 0) {
    chmod(dir.path().c_str(), 0500);
    EXPECT_FALSE(s.Save());
    chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(test::ReadBytes(path), old);
  }
  // No temporary file is left behind.
  int files = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
}

// Two stores side by side: each resolves defaults in its own folder and tells only its own host.
TEST(SettingsFile, StoresKeepTheirFolderAndHostApart) {
  test::FakeHost quiet, loud;
  test::TempDir dir;
  SettingsFile a, b;
  a.AttachHost(quiet);
  b.AttachHost(loud);
  a.UseProgramFolder("/one");
  b.UseProgramFolder("/two/");
  EXPECT_EQ(a.programFolder(), "/one/");
  EXPECT_EQ(b.programFolder(), "/two/");
  a.Load(dir.file("a.ini"), false);
  b.Load(dir.file("gone/b.ini"), false);
  a.WriteString("A", "x", "1");
  b.WriteString("A", "x", "1");
  a.Reset();
  EXPECT_EQ(a.programFolder(), "/one/");  // configuration outlives the entries
  EXPECT_FALSE(b.Save());
  EXPECT_TRUE(quiet.messages.empty());
  EXPECT_EQ(loud.messages.size(), 1u);
}

}  // namespace
}  // namespace zr
