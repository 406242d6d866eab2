// The dialogs' answers: what OK hands back or stores, and what Cancel leaves alone.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include "app/settings_file.h"
#include "ui/path_field.h"
#include "gui/compress_dialog.h"
#include "gui/file_dialogs.h"
#include "gui/logo_dialog.h"
#include "gui/merge_dialog.h"
#include "gui/output_commands.h"
#include "gui/size_dialog.h"
#include "gui_support.h"
#include "platform/paths.h"
#include "ui/bitmap_button.h"
#include "ui/color_button.h"

namespace zr::test {
namespace {

TEST(ImageSizeDialog, StartsFromItsDefaultsAndAnswersWhatWasChosen) {
  TempDir dir;
  const ImageSizeQuestion question{WriteImage(dir, "odd.bmp", 30, 20), 30, 20, 64, 48};
  CImageSizeDlg fresh(question);
  // Which image, and how it differs from the frame.
  EXPECT_EQ(fresh.sizes()->text(), QStringLiteral("odd.bmp: image 30\u00d720, frame 64\u00d748"));
  ImageSizeAnswer defaults = fresh.answer();
  EXPECT_EQ(defaults.choice, 0);
  EXPECT_FALSE(defaults.keep);
  EXPECT_EQ(defaults.x, 0);
  EXPECT_EQ(defaults.y, 0);
  EXPECT_EQ(defaults.background, Rgb(255, 255, 255));
  EXPECT_FALSE(fresh.picture()->pixmap().isNull());

  CImageSizeDlg dialog(question);
  dialog.choiceButton(3)->setChecked(true);
  dialog.xEdit()->setText(" -12px");
  dialog.yEdit()->setText("seven");
  dialog.keepBox()->setChecked(true);
  dialog.colourButton()->setColour(QColor(10, 20, 30));
  ImageSizeAnswer a = dialog.answer();
  EXPECT_EQ(a.choice, 3);
  EXPECT_TRUE(a.keep);
  EXPECT_EQ(a.x, -12);
  EXPECT_EQ(a.y, 0);  // no leading number
  EXPECT_EQ(a.background, Rgb(10, 20, 30));
  for (int choice : {1, 2}) {
    dialog.choiceButton(choice)->setChecked(true);
    EXPECT_EQ(dialog.answer().choice, choice);
  }
}

TEST(MergeDialog, DoItWaitsForTwoExistingInputsAndAnOutputName) {
  TempDir dir;
  const std::string video = dir.file("in.avi");  // existence is what counts
  const std::string sound = dir.file("in.wav");
  ASSERT_TRUE(WriteBytes(video, "x"));
  ASSERT_TRUE(WriteBytes(sound, "x"));
  FakeHost host;
  SettingsFile settings;
  CMergeDlg dialog(host, settings);
  std::vector<std::string> answers = {dir.file("missing.avi"), video, sound,
                                      dir.file("out.avi")};
  std::vector<std::string> filters;
  dialog.setBrowse([&](const std::string& filter, const std::string&, bool, const QString&) {
    filters.push_back(filter);
    std::string next = answers.front();
    answers.erase(answers.begin());
    return next;
  });
  std::vector<std::string> merged;
  dialog.setMerge([&](const std::string& v, const std::string& s, const std::string& o) {
    merged = {v, s, o};
    return true;
  });

  dialog.videoField()->browse();  // a file that does not exist
  EXPECT_FALSE(dialog.doItButton()->isEnabled());
  dialog.videoField()->browse();
  dialog.soundField()->browse();
  EXPECT_FALSE(dialog.doItButton()->isEnabled());  // no output yet
  dialog.outputField()->browse();
  EXPECT_TRUE(dialog.doItButton()->isEnabled());
  EXPECT_EQ(filters[2], "Multimedia Files|*.wav; *.avi; *.mid||");
  EXPECT_EQ(dialog.outputField()->text().toStdString(), dir.file("out.avi"));

  dialog.doItButton()->click();
  EXPECT_EQ(merged, (std::vector<std::string>{video, sound, dir.file("out.avi")}));
  EXPECT_TRUE(dialog.merged());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(GuiTest, LogoDialogOkStoresTheLogoSectionAndCancelChangesNothing) {
  const std::string logo = WriteImage(dir, "logo.bmp", 16, 8);
  {
    CLogoDlg cancelled(frame->doc());
    cancelled.setFileChooser([&] { return logo; });
    cancelled.logoButton()->click();
    cancelled.reject();
  }
  EXPECT_TRUE(frame->doc().sLogoFile.empty());

  CLogoDlg dialog(frame->doc());
  // Every control starts enabled, whatever the check boxes say.
  EXPECT_TRUE(dialog.xEdit()->isEnabled());
  EXPECT_TRUE(dialog.colourButton()->isEnabled());
  dialog.setFileChooser([&] { return logo; });
  dialog.logoButton()->click();
  EXPECT_EQ(dialog.logoButton()->caption().toStdString(), "U:" + logo + "~");
  dialog.transparentBox()->click();
  EXPECT_TRUE(dialog.fromLogoBox()->isEnabled());
  dialog.useLogoBox()->setChecked(false);
  emit dialog.useLogoBox()->clicked(false);
  EXPECT_FALSE(dialog.xEdit()->isEnabled());
  EXPECT_FALSE(dialog.fromLogoBox()->isEnabled());
  dialog.useLogoBox()->setChecked(true);
  emit dialog.useLogoBox()->clicked(true);
  dialog.xEdit()->setText("20");
  dialog.yEdit()->setText("-10");
  dialog.colourButton()->setColour(QColor(1, 2, 3));
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);

  EXPECT_EQ(frame->doc().sLogoFile, logo);
  EXPECT_EQ(frame->doc().nXPos, 20);
  EXPECT_EQ(frame->doc().nYPos, -10);
  EXPECT_EQ(frame->doc().bUseTransparent, 1);
  EXPECT_EQ(frame->doc().crTrans, Rgb(1, 2, 3));
  // Confirming writes the settings file at once.
  SettingsFile written;
  ASSERT_TRUE(written.Load(dir.file("Zerarive.ini"), true));
  std::string value;
  ASSERT_TRUE(written.ReadString("Logo", "sLogoFile", value));
  EXPECT_EQ(value, logo);
  ASSERT_TRUE(written.ReadString("Logo", "nXPos", value));
  EXPECT_EQ(value, "20");
  ASSERT_TRUE(written.ReadString("Logo", "crTrans", value));
  EXPECT_EQ(value, "1,2,3");
}

TEST_F(GuiTest, LogoDialogKeepsABadPositionOpenForCorrection) {
  CLogoDlg dialog(frame->doc());
  dialog.show();
  dialog.xEdit()->setText("12abc");
  dialog.accept();
  EXPECT_EQ(host.messages, std::vector<std::string>{"Please enter an integer."});
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(frame->doc().nXPos, 0);
  EXPECT_FALSE(FileExists(dir.file("Zerarive.ini")));
}

// A host that answers the compression dialog as a user would.
class CompressHost : public FakeHost {
 public:
  bool EditCompressOptions(AVICOMPRESSOPTIONS& options) override {
    ++asked;
    options.fccHandler = kCompressorDib;
    return true;
  }
  int asked = 0;
};

TEST(AviSettings, ChangeTheRunsOptionsOnlyAndLeaveNoScratchFile) {
  TempDir dir;
  CompressHost host;
  AVICOMPRESSOPTIONS options = DefaultCompressOptions();
  EXPECT_TRUE(EditAviSettings(host, options, dir.path()));
  EXPECT_EQ(host.asked, 1);
  EXPECT_EQ(options.fccHandler, kCompressorDib);
  EXPECT_FALSE(FileExists(dir.file("HLTemp.AVI")));
}

TEST(CompressOptionsDialog, OkWritesTheChosenCompressorAndItsOptions) {
  AVICOMPRESSOPTIONS options = DefaultCompressOptions();
  CCompressOptionsDlg dialog(options);
  const auto& compressors = AviCompressors();
  ASSERT_FALSE(compressors.empty());
  // The current choice is shown first.
  EXPECT_EQ(compressors[size_t(dialog.compressorBox()->currentIndex())].fourcc, options.fccHandler);

  for (size_t i = 0; i < compressors.size(); ++i) {
    const AviCompressor& c = compressors[i];
    if (!c.available) continue;
    dialog.compressorBox()->setCurrentIndex(int(i));
    EXPECT_EQ(dialog.qualitySlider()->isEnabled(), c.hasQuality) << c.name;
    EXPECT_EQ(dialog.dataRateBox()->isEnabled(), c.hasDataRate) << c.name;
    if (c.hasQuality) dialog.qualitySlider()->setValue(40);
    if (c.hasKeyFrames) dialog.keyFrameSpin()->setValue(7);
    AVICOMPRESSOPTIONS edited = DefaultCompressOptions();
    dialog.Apply(edited);
    EXPECT_EQ(edited.fccHandler, c.fourcc);
    if (c.hasQuality) {
      EXPECT_EQ(edited.dwQuality, 4000u);
    }
    if (c.hasKeyFrames) {
      EXPECT_EQ(edited.dwKeyFrameEvery, 7u);
    }
    EXPECT_TRUE(edited.dwFlags & AVICOMPRESSF_VALID);
  }
}

TEST(FileDialogs, ProgramFiltersBecomeQtFilters) {
  EXPECT_EQ(QtFilter("Image Files|*.bmp; *.dib||"), "Image Files (*.bmp *.dib)");
  EXPECT_EQ(QtFilter("Avi Files (*.avi)|*.avi|Wave Files (*.wav)|*.wav||"),
            "Avi Files (*.avi);;Wave Files (*.wav)");
  EXPECT_EQ(QtFilter(""), "");
}

TEST(Captions, PictureAndColourButtonsReadTheirCaptions) {
  EXPECT_EQ(CBmpBtn::ParseImageName("U:<UP~"), "<UP");
  EXPECT_EQ(CBmpBtn::ParseImageName("U:/a/b c.png~rest"), "/a/b c.png");
  EXPECT_EQ(CBmpBtn::ParseImageName("plain"), "");
  EXPECT_EQ(CColorBtn::FormatCaption(QColor(1, 22, 255)), "W:R1G22B255~");
  EXPECT_EQ(CColorBtn::ParseCaption("W:R10G20B30~"), QColor(10, 20, 30));
  EXPECT_EQ(CColorBtn::ParseCaption("W:R999G-5B0~"), QColor(255, 0, 0));
  EXPECT_FALSE(CColorBtn::ParseCaption("R1G2B3").has_value());
  // The built-in arrows are found; an unknown name falls back to its text.
  CBmpBtn up(QStringLiteral("U:<UP~"), nullptr, [](const QString&) { return QImage(); });
  EXPECT_EQ(up.text(), "<UP");
}

}  // namespace
}  // namespace zr::test
