#include "app/startup.h"

#include <gtest/gtest.h>

#include "app/document.h"
#include "app/settings_file.h"
#include "app/settings_keys.h"
#include "platform/paths.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    doc.AttachHost(host);
    doc.settings().UseProgramFolder(dir.path());
  }
  std::string Ini(const std::string& name, const std::string& text) {
    test::WriteBytes(dir.file(name), text);
    return dir.file(name);
  }
  std::string Rows() const {
    std::string s;
    for (int r = 1; r <= doc.frames.FrameCount(); ++r)
      s += doc.frames.Name(r) + "=" + doc.GetImagePath(doc.frames.Name(r)) + " ";
    return s;
  }

  test::FakeHost host;
  test::TempDir dir;
  CTorvexerDoc doc;
  ViewSettings view;
};

TEST_F(StartupTest, MissingSettingsFileGivesEveryDefault) {
  doc.nFps = 33;
  doc.bUseLogo = 0;
  view.crScreen = Rgb(1, 2, 3);
  StartupResult r = FirstPaintStartup(doc, view);
  EXPECT_FALSE(r.settingsLoaded);
  EXPECT_FALSE(r.startJob);
  EXPECT_EQ(doc.sIniFile, dir.file("Zerarive.ini"));
  EXPECT_EQ(doc.sImportPath, dir.file("Images"));
  EXPECT_EQ(doc.sSavePath, dir.file("Avi"));
  EXPECT_EQ(doc.nFps, 10);  // reset when absent
  EXPECT_EQ(doc.nBpp, 24);
  EXPECT_EQ(doc.bUseLogo, 0);              // kept when absent
  EXPECT_EQ(view.crScreen, Rgb(1, 2, 3));  // kept when absent
  EXPECT_EQ(doc.sLogoFile, "");            // strings become empty, not "<LOGO"
  EXPECT_EQ(doc.windows().FpsText(), "10");
  EXPECT_TRUE(host.messages.empty());
  // Exit writes nothing: the store is clean.
  EXPECT_TRUE(SaveSettingsAtExit(doc.settings()));
  EXPECT_FALSE(FileExists(dir.file("Zerarive.ini")));
}

TEST_F(StartupTest, SettingsFillDocumentAndView) {
  doc.sIniFile = Ini("my.ini",
                     "[General]\nImportPath=/imp\nSavePath=/sav\nFPS=15\nBPP=8\n"
                     "ScreenColor=10,20,30\nFrameImages=0\nSound=/s/a.wav\nOutput=/o.avi\n"
                     "[Logo]\nbUseLogo=0\nbUseTransparent=1\nnXPos=-5\nnYPos=70000\n"
                     "bColorFromLogo=1\ncrTrans=255\nsLogoFile=/l/logo.bmp\n"
                     "[Images]\n0=/p/a.bmp\n1=/q/noext\n3=/p/d.bmp\n");
  StartupResult r = FirstPaintStartup(doc, view);
  EXPECT_TRUE(r.settingsLoaded);
  EXPECT_FALSE(r.startJob);
  EXPECT_EQ(doc.sImportPath, "/imp");
  EXPECT_EQ(doc.sSavePath, "/sav");
  EXPECT_EQ(doc.nFps, 15);
  EXPECT_EQ(doc.nBpp, 8);
  EXPECT_EQ(view.crScreen, Rgb(10, 20, 30));
  EXPECT_EQ(view.bFrameImages, 0);
  EXPECT_EQ(doc.sSoundFile, "/s/a.wav");
  EXPECT_EQ(doc.sOutput, "/o.avi");
  EXPECT_EQ(doc.bUseLogo, 0);
  EXPECT_EQ(doc.bUseTransparent, 1);
  EXPECT_EQ(doc.nXPos, -5);
  EXPECT_EQ(doc.nYPos, 4464);
  EXPECT_EQ(doc.bColorFromLogo, 1);
  EXPECT_EQ(doc.crTrans, Rgb(0, 0, 255));
  EXPECT_EQ(doc.sLogoFile, "/l/logo.bmp");
  // Key "3" is never reached; a file without extension gets a name ending in ".".
  EXPECT_EQ(Rows(), "a.bmp=/p/a.bmp noext.=/q/noext ");
  EXPECT_EQ(doc.frames.CurrentRow(), 1);
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(StartupTest, SameFileNameSharesTheLaterPath) {
  doc.sIniFile = Ini("j.ini", "[Images]\n0=/a/x.bmp\n1=/b/x.bmp\n");
  UnattendedJob job = FirstPaintStartup(doc, view).job;
  ASSERT_EQ(job.frames.size(), 2u);
  EXPECT_EQ(job.frames[0].path, "/a/x.bmp");
  EXPECT_EQ(Rows(), "x.bmp=/b/x.bmp x.bmp=/b/x.bmp ");
}

TEST_F(StartupTest, AutoInAnySettingsFileStartsTheJob) {
  // The default settings file counts too.
  Ini("Zerarive.ini", "[General]\nAuto=1\nOutput=/out/x.avi\n[Images]\n0=/a.bmp\n1=/b.bmp\n");
  StartupResult r = FirstPaintStartup(doc, view);
  EXPECT_TRUE(r.startJob);
  EXPECT_TRUE(r.job.IsAuto());
  EXPECT_EQ(r.job.output, "/out/x.avi");
  EXPECT_EQ(view.bAuto, 1);
  EXPECT_TRUE(doc.unattended());
  EXPECT_EQ(doc.frames.FrameCount(), 2);

  SettingsFile s;
  s.LoadText("[General]\nAuto=0\n");
  EXPECT_FALSE(ReadJob(s).IsAuto());
  s.LoadText("[General]\nAuto=yes\n");  // atoi gives 0
  EXPECT_FALSE(ReadJob(s).IsAuto());
}

TEST_F(StartupTest, ProjectFromTheCommandLineKeepsItsFramesAndValues) {
  {
    CTorvexerDoc saved;
    saved.AttachHost(host);
    saved.frames.AddFrameRow("p.bmp", -1, 4);
    saved.SetImagePath("p.bmp", "/p/p.bmp");
    saved.windows().SetFpsText("25");
    saved.SetDepth(16);
    saved.AttachSound("/p/s.wav");
    ASSERT_TRUE(saved.OnSaveDocument(dir.file("proj.tvf")));
  }
  Ini("Zerarive.ini", "[General]\nBPP=8\nSound=/other.wav\n[Images]\n0=/i/a.bmp\n");
  ASSERT_TRUE(OpenCommandLineFile(doc, dir.file("proj.tvf")));
  FirstPaintStartup(doc, view);
  EXPECT_EQ(Rows(), "p.bmp=/p/p.bmp a.bmp=/i/a.bmp ");
  EXPECT_EQ(doc.frames.Text(1, 1), "4");
  EXPECT_EQ(doc.nFps, 25);  // not reset to 10 by the missing "FPS"
  EXPECT_EQ(doc.nBpp, 16);
  EXPECT_EQ(doc.sSoundFile, "/p/s.wav");
  EXPECT_EQ(doc.windows().FpsText(), "25");
}

TEST_F(StartupTest, IniOnTheCommandLineIsTheSettingsFile) {
  std::string job = Ini("JOB.Ini", "[General]\nFPS=7\n");
  ASSERT_TRUE(OpenCommandLineFile(doc, job));
  FirstPaintStartup(doc, view);
  EXPECT_EQ(doc.sIniFile, job);
  EXPECT_EQ(doc.nFps, 7);
  EXPECT_EQ(doc.settings().path(), job);
  EXPECT_TRUE(OpenCommandLineFile(doc, ""));
  EXPECT_FALSE(OpenCommandLineFile(doc, dir.file("missing.tvf")));
}

TEST_F(StartupTest, WrittenBackOnlyAtTheListedMoments) {
  std::string path = Ini("Zerarive.ini", "[General]\nFPS=12\n[Images]\n0=/a.bmp\n");
  FirstPaintStartup(doc, view);
  StoreScreenColor(doc.settings(), Rgb(1, 2, 3));
  StoreFrameImages(doc.settings(), false);
  StoreSavePath(doc.settings(), "/avi");
  EXPECT_EQ(test::ReadBytes(path), "[General]\nFPS=12\n[Images]\n0=/a.bmp\n");  // memory only

  doc.bUseLogo = 0;
  doc.sLogoFile = "";
  doc.crTrans = Rgb(9, 8, 7);
  ASSERT_TRUE(StoreLogoSettings(doc));
  SettingsFile back;
  back.Load(path, true);
  std::string s;
  EXPECT_TRUE(back.ReadString("General", "ScreenColor", s));
  EXPECT_EQ(s, "1,2,3");
  EXPECT_TRUE(back.ReadString("General", "FrameImages", s));
  EXPECT_EQ(s, "0");
  EXPECT_TRUE(back.ReadString("Logo", "crTrans", s));
  EXPECT_EQ(s, "9,8,7");
  EXPECT_FALSE(back.ReadString("Logo", "sLogoFile", s));  // an empty path removes the key
  EXPECT_TRUE(back.ReadString("Images", "0", s));         // read-only keys survive

  EXPECT_EQ(MorphFolder(doc.settings(), kKeyMorphDir), dir.file("Morph"));
  ASSERT_TRUE(StoreMorphFolder(doc.settings(), kKeyMorphDir, "/m"));
  EXPECT_EQ(MorphFolder(doc.settings(), kKeyMorphDir), "/m");
}

TEST(SettingKeys, TableCoversEveryKeyOnce) {
  std::set<std::string> seen;
  for (const SettingKey& k : SettingKeys()) {
    EXPECT_TRUE(seen.insert(std::string(k.section) + "/" + k.key).second) << k.key;
    EXPECT_EQ(FindSettingKey(k.section, k.key), &k);
  }
  EXPECT_EQ(seen.size(), 19u);
  EXPECT_EQ(FindSettingKey("General", "fps"), nullptr);  // keys are case-sensitive
  const SettingKey* fps = FindSettingKey("General", "FPS");
  ASSERT_NE(fps, nullptr);
  EXPECT_EQ(fps->whenAbsent, WhenAbsent::UseDefault);
  EXPECT_EQ(FindSettingKey("Logo", "nXPos")->whenAbsent, WhenAbsent::Keep);
  EXPECT_EQ(FindSettingKey("Logo", "sLogoFile")->whenAbsent, WhenAbsent::Empty);
  EXPECT_EQ(SettingDefault(*FindSettingKey("General", "SavePath"), "/prog/"), "/prog/Avi");
}

}  // namespace
}  // namespace zr
