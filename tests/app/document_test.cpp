#include "app/document.h"

#include <gtest/gtest.h>

#include "image/cbmp.h"
#include "platform/paths.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"
#include "write_failure.h"

namespace zr {
namespace {

// The panel and view as the GUI provides them.
struct FakeWindows : DocumentWindows {
  std::string FpsText() const override { return fps; }
  void SetFpsText(const std::string& text) override { fps = text; }
  void SetDepthButton(int bits) override { depth = bits; }
  void UpdateSoundDisplay(const std::string& soundFile) override {
    soundShown = !soundFile.empty();
    soundCaption = soundShown ? SoundDisplayName(soundFile) : "";
  }
  CBmp* ShownImage() override { return &shown; }
  void ClearShownImage() override { shown.Clear(); }
  void RedrawView(bool erase) override { redraws += erase ? "E" : "r"; }

  std::string fps = "10";
  int depth = 0;
  bool soundShown = false;
  std::string soundCaption;
  CBmp shown;
  std::string redraws;
};

// A host whose clipboard refuses to take anything.
struct NoClipboardHost : test::FakeHost {
  bool SetClipboardImage(const ClipboardImage&) override { return false; }
};

Bitmap Filled(int w, int h, Pixel p) { return Bitmap(w, h, p); }

std::string Names(const CTorvexerDoc& doc) {
  std::string s;
  for (int r = 1; r <= doc.frames.FrameCount(); ++r) s += doc.frames.Name(r) + " ";
  return s;
}

class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    doc.AttachHost(host);
    doc.settings().UseProgramFolder(dir.path());
    for (const char* n : {"a.bmp", "b.bmp", "c.bmp"}) {
      doc.frames.AddFrameRow(n, -1, 1);
      doc.SetImagePath(n, "/img/" + std::string(n));
    }
  }

  test::FakeHost host;
  test::TempDir dir;
  FakeWindows win;
  CTorvexerDoc doc{&win};
};

TEST_F(DocumentTest, ImagePathsAndTheCurrentRow) {
  EXPECT_EQ(doc.GetCurrentImagePath(), "");
  doc.frames.SetCurrentCell(2, 0);
  EXPECT_EQ(doc.GetCurrentImagePath(), "/img/b.bmp");
  doc.SetImagePath("b.bmp", "/other/b.bmp");  // same file name: the later path wins
  EXPECT_EQ(doc.GetCurrentImagePath(), "/other/b.bmp");
  EXPECT_EQ(doc.GetImagePath("nope"), "");
  doc.frames.AddFrameRow("unmapped", -1, 1);
  doc.frames.SetCurrentCell(4, 0);
  EXPECT_EQ(doc.GetCurrentImagePath(), "");
}

// The import, the [Images] list and the project command each keep their own result.
TEST_F(DocumentTest, AddImagesNamesOrdersAndCountsAsItsCallerAsks) {
  const std::vector<std::string> paths = {"/p/img10.bmp", "/q/Zed", "/p/img2.bmp", "/r/img10.bmp"};
  struct Case {
    const char* caller;
    FrameNaming naming;
    FrameOrder order;
    int count;
    int after;
    const char* rows;
  } cases[] = {
      {"import", FrameNaming::FileName, FrameOrder::ByNameBytes, 1, -1,
       "a.bmp b.bmp c.bmp Zed img10.bmp img10.bmp img2.bmp "},
      {"drop on row 1", FrameNaming::FileName, FrameOrder::ByNameBytes, 1, 1,
       "a.bmp Zed img10.bmp img10.bmp img2.bmp b.bmp c.bmp "},
      {"[Images] list", FrameNaming::TitleDotExtension, FrameOrder::AsGiven, 1, -1,
       "a.bmp b.bmp c.bmp img10.bmp Zed. img2.bmp img10.bmp "},
      {"project command", FrameNaming::FileName, FrameOrder::AsGiven, 4, -1,
       "a.bmp b.bmp c.bmp img10.bmp Zed img2.bmp img10.bmp "},
  };
  for (const Case& c : cases) {
    CTorvexerDoc fresh;
    for (const char* n : {"a.bmp", "b.bmp", "c.bmp"}) fresh.frames.AddFrameRow(n, -1, 1);
    const int last = fresh.AddImages(paths, c.naming, c.order, c.count, c.after);
    EXPECT_EQ(Names(fresh), c.rows) << c.caller;
    EXPECT_EQ(last, c.after < 0 ? 7 : 5) << c.caller;
    EXPECT_EQ(fresh.frames.Text(last, FrameList::kFramesColumn), std::to_string(c.count)) << c.caller;
    // Both img10.bmp rows show the later file.
    EXPECT_EQ(fresh.GetImagePath("img10.bmp"), "/r/img10.bmp") << c.caller;
  }
  EXPECT_EQ(doc.AddImages({}, FrameNaming::FileName, FrameOrder::AsGiven, 1), -1);
}

TEST_F(DocumentTest, DeleteKeepsTheMapAndEndsWithNoCurrentRow) {
  doc.frames.SetCurrentCell(2, 0);
  EXPECT_TRUE(doc.DeleteFrame());
  EXPECT_EQ(Names(doc), "a.bmp c.bmp ");
  EXPECT_FALSE(doc.frames.HasCurrentRow());
  EXPECT_EQ(doc.GetImagePath("b.bmp"), "/img/b.bmp");
  EXPECT_EQ(win.redraws, "E");
  EXPECT_FALSE(doc.DeleteFrame());
}

TEST_F(DocumentTest, UpdatePanelShowsTheDocument) {
  doc.nBpp = 12;
  doc.nFps = -3;
  doc.AttachSound("/snd/a.wav");
  doc.UpdatePanel();
  EXPECT_EQ(win.depth, 24);
  EXPECT_EQ(doc.nBpp, 12);  // kept until a radio button is clicked
  EXPECT_EQ(win.fps, "-3");
  EXPECT_TRUE(win.soundShown);
  EXPECT_EQ(win.soundCaption, "a.wav");
  EXPECT_EQ(doc.frames.CurrentRow(), 1);
  EXPECT_EQ(doc.frames.CurrentColumn(), 1);
  doc.nBpp = 8;
  doc.UpdatePanel();
  EXPECT_EQ(win.depth, 8);
  doc.DetachSound();
  EXPECT_FALSE(win.soundShown);
  win.fps = " 25fps";
  EXPECT_EQ(doc.ReadFpsFromPanel(), 25);
  win.fps = "70000";
  EXPECT_EQ(doc.ReadFpsFromPanel(), 4464);  // 16-bit wrap
}

TEST_F(DocumentTest, NewKeepsSettingsButEmptiesListAndSound) {
  doc.nFps = 15;
  doc.nBpp = 16;
  doc.bUseLogo = 0;
  doc.nPasteCount = 4;
  doc.AttachSound("/s.wav");
  win.shown.SetBitmap(Filled(2, 2, 1));
  doc.NewProject();
  EXPECT_EQ(doc.frames.FrameCount(), 0);
  EXPECT_EQ(doc.sSoundFile, "");
  EXPECT_FALSE(win.soundShown);
  EXPECT_TRUE(win.shown.empty());
  EXPECT_EQ(doc.nFps, 15);
  EXPECT_EQ(doc.nBpp, 16);
  EXPECT_EQ(doc.bUseLogo, 0);
  EXPECT_EQ(doc.nPasteCount, 4);
  EXPECT_EQ(doc.mapImages.size(), 3u);
  EXPECT_EQ(doc.GetTitle(), "Untitled");
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(DocumentTest, CopyAndCutPutTheStampedImageOnTheClipboard) {
  doc.frames.SetCurrentCell(2, 0);
  EXPECT_FALSE(doc.Copy());  // nothing shown
  EXPECT_FALSE(host.clipboard);

  // A 2x2 red logo at (1, 1) onto a 4x4 grey picture.
  CBmp logo;
  logo.SetBitmap(Filled(2, 2, 0xFF0000));
  ASSERT_TRUE(logo.Save(dir.file("logo.bmp")));
  doc.sLogoFile = dir.file("logo.bmp");
  doc.bUseTransparent = 0;
  doc.nXPos = doc.nYPos = 1;
  doc.PrepareLogo();
  ASSERT_TRUE(doc.HasLogoImage());
  win.shown.SetBitmap(Filled(4, 4, 0x808080));

  EXPECT_TRUE(doc.Copy());
  ASSERT_TRUE(host.clipboard);
  const Bitmap& got = host.clipboard->bitmap;
  EXPECT_EQ(got.at(0, 0), 0x808080u);
  EXPECT_EQ(got.at(1, 1) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(got.at(2, 2) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(got.at(3, 3), 0x808080u);
  EXPECT_EQ(doc.frames.FrameCount(), 3);

  EXPECT_TRUE(doc.Cut());
  EXPECT_EQ(Names(doc), "a.bmp c.bmp ");
  EXPECT_FALSE(doc.Cut());  // no current row after the delete
}

TEST_F(DocumentTest, CutKeepsTheFrameWhenTheClipboardRefuses) {
  NoClipboardHost refusing;
  doc.AttachHost(refusing);
  doc.frames.SetCurrentCell(1, 0);
  win.shown.SetBitmap(Filled(2, 2, 5));
  EXPECT_FALSE(doc.Cut());
  EXPECT_EQ(doc.frames.FrameCount(), 3);
}

TEST_F(DocumentTest, PasteNamesSkipExistingFilesAndPlacesTheRow) {
  EXPECT_FALSE(doc.Paste());  // empty clipboard
  host.clipboard = ClipboardImage{Filled(3, 2, 0x00FF00), {}};
  MakeFolders(dir.file("Images"));
  test::WriteBytes(dir.file("Images/Image1.bmp"), "taken");

  doc.frames.SetCurrentCell(2, 0);  // middle: inserted right below
  ASSERT_TRUE(doc.Paste());
  EXPECT_EQ(Names(doc), "a.bmp b.bmp Image0.bmp c.bmp ");
  EXPECT_EQ(doc.frames.CurrentRow(), 3);
  EXPECT_EQ(doc.GetImagePath("Image0.bmp"), dir.file("Images/Image0.bmp"));

  doc.frames.SetCurrentCell(4, 0);  // last row: appended
  ASSERT_TRUE(doc.Paste());
  EXPECT_EQ(Names(doc), "a.bmp b.bmp Image0.bmp c.bmp Image2.bmp ");
  EXPECT_EQ(doc.frames.CurrentRow(), 5);
  EXPECT_EQ(doc.nPasteCount, 3);
  EXPECT_EQ(test::ReadBytes(dir.file("Images/Image1.bmp")), "taken");

  CBmp back;
  ASSERT_TRUE(back.Load(dir.file("Images/Image2.bmp")));
  int w = 0, h = 0;
  back.GetSize(w, h);
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);

  doc.frames.ClearCurrent();  // no current row: appended
  ASSERT_TRUE(doc.Paste());
  EXPECT_EQ(doc.frames.Name(6), "Image3.bmp");
}

TEST_F(DocumentTest, PasteCreatesTheImagesFolder) {
  host.clipboard = ClipboardImage{Filled(1, 1, 7), {}};
  ASSERT_TRUE(doc.Paste());
  EXPECT_TRUE(FileExists(dir.file("Images/Image0.bmp")));
}

TEST_F(DocumentTest, PasteThatCannotBeSavedNamesTheFileAndAddsNoRow) {
  host.clipboard = ClipboardImage{Filled(200, 200, 7), {}};
  {
    test::FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.ok());
    EXPECT_FALSE(doc.Paste());
  }
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0],
            "Error: cannot write " + dir.file("Images/Image0.bmp") + ": File too large");
  EXPECT_EQ(doc.frames.FrameCount(), 3);
  EXPECT_TRUE(test::ListDir(dir.file("Images")).empty());
}

TEST_F(DocumentTest, LogoRules) {
  CBmp logo;
  logo.SetBitmap(Filled(3, 3, 0x0000FF));
  logo.bitmap().at(0, 0) = 0x00FF00;  // the corner gives the transparent colour
  ASSERT_TRUE(logo.Save(dir.file("logo.bmp")));
  doc.sLogoFile = dir.file("logo.bmp");

  // Transparent, colour from the logo's corner; placed at (2, 2) and clipped at the edge.
  doc.bUseTransparent = 1;
  doc.bColorFromLogo = 1;
  doc.nXPos = doc.nYPos = 2;
  doc.PrepareLogo();
  CBmp frame;
  frame.SetBitmap(Filled(4, 4, 0x111111));
  doc.ApplyLogo(frame);
  EXPECT_EQ(frame.bitmap().at(2, 2) & 0xFFFFFF, 0x111111u);  // transparent corner
  EXPECT_EQ(frame.bitmap().at(3, 2) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(frame.bitmap().at(1, 1) & 0xFFFFFF, 0x111111u);

  // Switched off: nothing, and PrepareLogo keeps what it had.
  doc.bUseLogo = 0;
  doc.sLogoFile = "<LOGO";
  doc.PrepareLogo();
  CBmp other;
  other.SetBitmap(Filled(4, 4, 0x111111));
  doc.ApplyLogo(other);
  EXPECT_EQ(other.bitmap().at(3, 3) & 0xFFFFFF, 0x111111u);
  doc.bUseLogo = 1;
  doc.ApplyLogo(other);
  EXPECT_EQ(other.bitmap().at(3, 3) & 0xFFFFFF, 0x0000FFu);

  // The built-in name cannot be loaded as a file: no logo, silently.
  doc.bUseTransparent = 0;
  doc.PrepareLogo();
  EXPECT_FALSE(doc.HasLogoImage());
  CBmp plain;
  plain.SetBitmap(Filled(2, 2, 9));
  doc.ApplyLogo(plain);
  EXPECT_EQ(plain.bitmap().at(0, 0), 9u);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(DocumentTest, ChangesAreTrackedUntilSaved) {
  doc.SetModifiedFlag(false);
  EXPECT_FALSE(doc.IsModified());
  EXPECT_TRUE(doc.SaveModified(nullptr));
  EXPECT_TRUE(host.questions.empty());

  struct Change {
    const char* what;
    std::function<void()> make;
  };
  std::vector<Change> changes = {
      {"frames", [&] { doc.frames.SetText(1, 1, "4"); }},
      {"order",
       [&] {
         doc.frames.SetCurrentCell(2, 0);
         doc.MoveFrameUp();
       }},
      {"fps", [&] { win.fps = "11"; }},
      {"depth", [&] { doc.SetDepth(8); }},
      {"sound", [&] { doc.AttachSound("/a.wav"); }},
  };
  for (auto& c : changes) {
    doc.SetModifiedFlag(false);
    c.make();
    EXPECT_TRUE(doc.IsModified()) << c.what;
  }
  doc.SetModifiedFlag(false);
  doc.frames.SetCurrentCell(3, 0);  // selecting is not a change
  win.fps = "011";                  // the same number
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(DocumentTest, SaveQuestionAnswers) {
  const std::string target = dir.file("saved.tvf");
  int chooserCalls = 0;
  auto chooser = [&] {
    ++chooserCalls;
    return target;
  };

  host.answers = {Answer::Cancel};
  EXPECT_FALSE(doc.SaveModified(chooser));
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0], "Save changes to Untitled?");

  host.answers = {Answer::No};
  EXPECT_TRUE(doc.SaveModified(chooser));
  EXPECT_FALSE(FileExists(target));

  host.answers = {Answer::Yes};
  EXPECT_FALSE(doc.SaveModified([] { return std::string(); }));  // chooser cancelled

  host.answers = {Answer::Yes};
  EXPECT_TRUE(doc.SaveModified(chooser));
  EXPECT_EQ(chooserCalls, 1);
  EXPECT_TRUE(FileExists(target));
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(doc.GetTitle(), "saved.tvf");

  // A titled document saves under its own name.
  doc.SetDepth(16);
  host.questions.clear();
  host.answers = {Answer::Yes};
  EXPECT_TRUE(doc.SaveModified(chooser));
  EXPECT_EQ(host.questions[0], "Save changes to saved.tvf?");
  EXPECT_EQ(chooserCalls, 1);
  CTorvexerDoc back;
  back.AttachHost(host);
  ASSERT_TRUE(back.OnOpenDocument(target));
  EXPECT_EQ(back.nBpp, 16);

  // The unattended job never asks.
  doc.SetDepth(8);
  doc.SetUnattended(true);
  host.questions.clear();
  EXPECT_TRUE(doc.SaveModified(chooser));
  EXPECT_TRUE(host.questions.empty());
}

TEST_F(DocumentTest, OpeningAProjectUpdatesThePanelAndIsClean) {
  CTorvexerDoc other;
  other.AttachHost(host);
  other.frames.AddFrameRow("z.bmp", -1, 2);
  other.windows().SetFpsText("30");
  other.SetDepth(16);
  other.AttachSound("/m/x.wav");
  ASSERT_TRUE(other.OnSaveDocument(dir.file("o.tvf")));

  ASSERT_TRUE(doc.OnOpenDocument(dir.file("o.tvf")));
  EXPECT_EQ(Names(doc), "z.bmp ");
  EXPECT_EQ(win.fps, "30");
  EXPECT_EQ(win.depth, 16);
  EXPECT_EQ(win.soundCaption, "x.wav");
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(doc.GetImagePath("a.bmp"), "/img/a.bmp");  // the map only grows
}

}  // namespace
}  // namespace zr
