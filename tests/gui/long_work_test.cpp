// Long work through the desktop host: Cancel stops within a frame and leaves nothing, a
// failed AVI leaves an old output alone, closing the window cancels, and the questions
// asked before morph and extraction replace anything.
#include <QAbstractItemModel>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <functional>

#include "app/settings_file.h"
#include "ui/path_field.h"
#include "gui/commands.h"
#include "gui/convert_dialog.h"
#include "gui/file_dialogs.h"
#include "gui/frame_panel.h"
#include "gui/long_work.h"
#include "gui/qt_host.h"
#include "gui/tool_dialogs.h"
#include "gui_support.h"
#include "output/create_avi.h"
#include "output/extract.h"
#include "output/morph.h"
#include "platform/paths.h"
#include "ui/grid_ctrl.h"

namespace zr::test {
namespace {

// The real desktop host with its boxes and choosers answered from queues.
class ScriptedQtHost : public QtHost {
 public:
  void Message(const std::string& text, const std::string& = {}, MessageKind = MessageKind::Error) override {
    messages.push_back(text);
  }
  void MessageWithDetails(const std::string& text, const std::string& more,
                          const std::string& caption = {},
                          MessageKind kind = MessageKind::Error) override {
    Message(text, caption, kind);
    details.push_back(more);
  }
  Answer AskYesNoCancel(const std::string& text, const std::string& = {}) override {
    questions.push_back(text);
    if (answers.empty()) return Answer::Cancel;
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  bool AskYesNo(const std::string& text, const std::string& caption = {}) override {
    return AskYesNoCancel(text, caption) == Answer::Yes;
  }
  std::string ChooseAviPath(bool, bool, const std::string&) override {
    ++chooserCalls;
    if (paths.empty()) return {};
    std::string p = paths.front();
    paths.pop_front();
    return p;
  }
  void UpdateProgress(int64_t done) override {
    QtHost::UpdateProgress(done);
    lastDone = done;
    if (onProgress) onProgress(done);
  }
  std::vector<std::string> messages, questions, details;
  std::deque<Answer> answers;
  std::deque<std::string> paths;
  std::function<void(int64_t)> onProgress;
  int64_t lastDone = 0;
  int chooserCalls = 0;
};

class LongWorkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame = std::make_unique<CMainFrame>();
    frame->doc().settings().UseProgramFolder(dir.path());
    frame->doc().AttachHost(host);
    frame->doc().sIniFile = dir.file("Zerarive.ini");
    host.Attach(frame.get(), frame->statusBar());
    frame->FirstPaint();
  }
  void TearDown() override {
    frame.reset();
  }
  // Answers the next modal dialog of type D with `act` once it is shown.
  template <class D>
  void WhenShown(std::function<void(D&)> act) {
    auto* timer = new QTimer(frame.get());
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
      if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
        timer->stop();
        timer->deleteLater();
        act(*d);
      }
    });
    timer->start(10);
  }
  // Runs Quick AVI Create on `folder` into `output` through its dialog.
  void RunQuickAvi(const std::string& folder, const std::string& output) {
    WhenShown<CQuickAviDlg>([folder](CQuickAviDlg& d) {
      d.chooseFolder = [folder] { return QString::fromStdString(folder); };
      d.folderField()->browse();
      d.createButton()->click();
    });
    host.paths = {output};
    frame->Execute(ID_QUICK_AVI);
  }
  static QPushButton* WorkCancel() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<CWorkProgressDlg*>(w); d && d->isVisible()) return d->cancelButton();
    return nullptr;
  }
  std::string WriteNumberedImages(int count) {
    const std::string folder = dir.file("imgs/");
    MakeFolders(folder);
    const std::string one = WriteImage(dir, "one.bmp", 8, 8);
    const std::string bytes = ReadBytes(one);
    for (int i = 1; i <= count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "Img%04d.bmp", i);
      EXPECT_TRUE(WriteBytes(folder + name, bytes));
    }
    return folder;
  }

  TempDir dir;
  ScriptedQtHost host;
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(LongWorkTest, CancelAtFrame100OfAQuickAviStopsWithinAFrameAndLeavesNothing) {
  const std::string folder = WriteNumberedImages(2000);
  MakeFolders(dir.file("out"));
  const std::string output = dir.file("out/big.avi");
  int64_t cancelledAt = -1;
  bool blocked = false, startedSecond = false;
  host.onProgress = [&](int64_t done) {
    if (done != 100) return;
    // Meanwhile the window is painted but takes no other command.
    blocked = !frame->centralWidget()->isEnabled() && !frame->menuBar()->isEnabled();
    const int calls = host.chooserCalls;
    frame->Execute(ID_ATTACH_SOUND);
    startedSecond = host.chooserCalls != calls;
    QPushButton* cancel = WorkCancel();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    cancelledAt = done;
  };
  RunQuickAvi(folder, output);
  ASSERT_EQ(cancelledAt, 100);
  EXPECT_LE(host.lastDone, 101);
  EXPECT_TRUE(blocked);
  EXPECT_FALSE(startedSecond);
  EXPECT_TRUE(ListDir(dir.file("out")).empty()) << ListDir(dir.file("out")).front();
  EXPECT_FALSE(FileExists(IntermediateAviPath(frame->doc().programFolder())));
  EXPECT_EQ(frame->statusBar()->currentMessage(), QStringLiteral("Cancelled"));
  EXPECT_EQ(frame->previewWindow(), nullptr);
  EXPECT_EQ(WorkCancel(), nullptr);
  EXPECT_TRUE(frame->centralWidget()->isEnabled());
  EXPECT_EQ(frame->work(), nullptr);
}

TEST_F(LongWorkTest, ConverterCancelStopsTheCurrentFileAndSkipsTheRest) {
  std::vector<std::string> inputs;
  for (const char* name : {"a.avi", "b.avi", "c.avi"}) {
    inputs.push_back(dir.file(name));
    ASSERT_EQ(
        0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=25 -f lavfi "
                      "-i sine=r=44100 -ac 2 -t 6 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le '" +
                      inputs.back() + "'"));
  }
  const std::string out = dir.file("mpg/");
  MakeFolders(out);
  WhenShown<ConvertAviDialog>([&](ConvertAviDialog& d) {
    d.chooseFiles = [&](QWidget*) { return inputs; };
    d.chooseFolder = [&](QWidget*, const std::string&) { return out; };
    d.filesButton()->click();
    d.folderField()->browse();
    d.doItButton()->click();
  });
  CConvertProgressDlg& window = *frame->convertProgress();
  bool runningDisabled = false, cancelled = false;
  auto* poll = new QTimer(frame.get());
  QObject::connect(poll, &QTimer::timeout, poll, [&] {
    if (cancelled || window.percent() <= 5) return;
    runningDisabled = !window.closeButton()->isEnabled() && !window.runButton()->isEnabled() &&
                      window.cancelButton()->isEnabled();
    window.cancelButton()->click();
    cancelled = true;
  });
  poll->start(5);
  frame->Execute(ID_MPG_CONVERTER);
  poll->stop();
  ASSERT_TRUE(cancelled) << window.logText().toStdString();
  EXPECT_TRUE(runningDisabled);
  const std::string log = window.logText().toStdString();
  int started = 0;
  for (size_t at = 0; (at = log.find("Converting ", at)) != std::string::npos; ++at) ++started;
  EXPECT_EQ(started, 1) << "the other files are skipped: " << log;
  EXPECT_NE(std::string::npos, log.find("Cancelled")) << log;
  EXPECT_TRUE(ListDir(out).empty()) << ListDir(out).front();
  EXPECT_TRUE(window.closeButton()->isEnabled());
  EXPECT_TRUE(frame->centralWidget()->isEnabled());
}

TEST_F(LongWorkTest, ClosingTheWindowDuringWorkCancelsAndThenCloses) {
  const std::string folder = WriteNumberedImages(200);
  const std::string output = dir.file("closed.avi");
  frame->show();
  host.onProgress = [&](int64_t done) {
    if (done == 20) frame->close();
  };
  RunQuickAvi(folder, output);
  EXPECT_LE(host.lastDone, 21);
  EXPECT_FALSE(FileExists(output));
  QApplication::processEvents();
  EXPECT_FALSE(frame->isVisible());
}

TEST_F(LongWorkTest, AnImageMissingMidListLeavesAnExistingOutputUntouched) {
  const std::string a = WriteImage(dir, "a.bmp", 16, 12);
  const std::string b = WriteImage(dir, "b.bmp", 16, 12);
  const std::string c = WriteImage(dir, "c.bmp", 16, 12);
  frame->AddImageFiles({QString::fromStdString(a), QString::fromStdString(b), QString::fromStdString(c)});
  ASSERT_EQ(std::remove(b.c_str()), 0);
  const std::string output = dir.file("movie.avi");
  ASSERT_TRUE(WriteBytes(output, "the old movie"));
  const auto before = ListDir(dir.path());
  host.paths = {output};
  frame->Execute(ID_CREATE_AVI);
  EXPECT_EQ(ReadBytes(output), "the old movie");
  EXPECT_EQ(ListDir(dir.path()), before);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], "Could not load " + b);
  ASSERT_EQ(host.details.size(), 1u);
  EXPECT_EQ(host.details[0], "BMP: cannot open the file");
  EXPECT_EQ(frame->statusBar()->currentMessage(), QStringLiteral("AVI stream not saved"));
  EXPECT_EQ(frame->previewWindow(), nullptr);
}

TEST_F(LongWorkTest, MorphAsksBeforeReplacingAndNoKeepsTheFilesAndTheDialog) {
  const std::string from = WriteImage(dir, "from.bmp", 12, 10, Rgb(0, 0, 0));
  const std::string to = WriteImage(dir, "to.bmp", 12, 10, Rgb(250, 250, 250));
  const std::string folder = dir.file("morph/");
  MakeFolders(folder);
  const std::string first = MorphImagePath(folder, 1);
  ASSERT_TRUE(WriteBytes(first, "a frame of a saved project"));

  CMorphDlg dialog(frame->doc());
  dialog.chooseFolder = [&] { return QString::fromStdString(folder); };
  dialog.folderField()->browse();
  dialog.ChooseFrom(from);
  dialog.ChooseTo(to);
  dialog.stepsEdit()->setText("3");
  host.answers = {Answer::No};
  dialog.Morph();
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0], ReplaceQuestion(1, dialog.folder(), false));
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(ReadBytes(first), "a frame of a saved project");

  host.answers = {Answer::Yes};
  dialog.Morph();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  MorphResult result = MakeMorphImages(host, nullptr, dialog.fromPath(), dialog.toPath(), dialog.folder(),
                                       dialog.steps(), dialog.start());
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(ReadBytes(first).substr(0, 2), "BM");
}

TEST_F(LongWorkTest, ExtractionAsksBeforeReplacingSamplesAndTellsTheOutcome) {
  const std::string avi = dir.file("clip.avi");
  ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=32x24:rate=5:duration=1 "
                       "-c:v rawvideo -pix_fmt bgr24 " + avi),
            0);
  const std::string samples = SamplesFolder(frame->doc().programFolder());
  MakeFolders(samples);
  const std::string old = samples + SampleFileName(0, 0);
  ASSERT_TRUE(WriteBytes(old, "a frame of a saved project"));

  host.paths = {avi};
  host.answers = {Answer::No};
  frame->Execute(ID_EXTRACT_IMAGES);
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0], ReplaceQuestion(1, samples, true));
  EXPECT_EQ(ListDir(samples), std::vector<std::string>{SampleFileName(0, 0)});
  EXPECT_EQ(ReadBytes(old), "a frame of a saved project");

  host.paths = {avi};
  host.answers = {Answer::Yes};
  frame->Execute(ID_EXTRACT_IMAGES);
  const std::vector<std::string> written = ListDir(samples);
  ASSERT_EQ(written.size(), 5u);
  EXPECT_EQ(std::count(written.begin(), written.end(), SampleFileName(0, 0)), 0);  // replaced
  EXPECT_EQ(ReadBytes(samples + written[0]).substr(0, 2), "BM");
  EXPECT_EQ(frame->statusBar()->currentMessage().toStdString(), "5 images written to " + samples);
}

TEST(SaveDialogs, TheChosenFiltersExtensionIsAddedUnlessTheNameHasOneItWrites) {
  const QStringList wav = {"wav"};
  struct Case {
    const char* typed;
    const char* expected;
  } cases[] = {
      {"/d/snd", "/d/snd.wav"},         {"/d/snd.wav", "/d/snd.wav"},
      {"/d/snd.WAV", "/d/snd.WAV"},     {"/d/snd.avi", "/d/snd.avi.wav"},
      {"/d/my.take", "/d/my.take.wav"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WithExtension(QString::fromLatin1(c.typed), wav, QStringLiteral("wav")),
              QString::fromLatin1(c.expected))
        << c.typed;
  EXPECT_EQ(FilterExtensions(QStringLiteral("Zerarive projects (*.tvf);;All Files (*)")),
            QStringList{"tvf"});
  EXPECT_EQ(FilterExtensions(QStringLiteral("Images (*.BMP *.jpeg)")), (QStringList{"bmp", "jpeg"}));
}

TEST(SaveDialogs, TheSoundChooserWritesWavAndAsksAboutTheFinalName) {
  TempDir dir;
  FakeHost host;
  ASSERT_TRUE(WriteBytes(dir.file("take.wav"), "old"));
  // Types a name into each file dialog that appears.
  std::deque<QString> typed = {"snd", "take", "take"};
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!d || typed.empty()) return;
    d->selectFile(typed.front());
    typed.pop_front();
    QMetaObject::invokeMethod(d, "accept");
  });
  timer.start(10);
  EXPECT_EQ(RunAviFileDialog(host, nullptr, true, true, dir.path()), dir.file("snd.wav"));
  EXPECT_TRUE(host.questions.empty());
  // "take" means take.wav, which exists: No goes back to the dialog, Yes takes it.
  host.answers = {Answer::No, Answer::Yes};
  EXPECT_EQ(RunAviFileDialog(host, nullptr, true, true, dir.path()), dir.file("take.wav"));
  ASSERT_EQ(host.questions.size(), 2u);
  EXPECT_EQ(host.questions[0], "take.wav already exists.\nDo you want to replace it?");
  EXPECT_EQ(ReadBytes(dir.file("take.wav")), "old");
}

TEST_F(GuiTest, ConvertWindowEndsFullWithTheFramesCodedAndHoldsCloseDuringABatch) {
  CConvertProgressDlg& window = *frame->convertProgress();
  window.Begin(true);
  EXPECT_FALSE(window.closeButton()->isEnabled());
  EXPECT_FALSE(window.runButton()->isEnabled());
  EXPECT_TRUE(window.cancelButton()->isEnabled());
  window.SetFrame(48);
  window.SetPercent(97);
  window.Begin(false);
  EXPECT_EQ(window.percent(), 100);
  EXPECT_EQ(window.frameText(), QStringLiteral("48"));
  EXPECT_TRUE(window.closeButton()->isEnabled());
  EXPECT_FALSE(window.cancelButton()->isEnabled());

  window.Begin(true);
  window.SetPercent(30);
  window.cancelButton()->click();
  window.Begin(false);
  window.NoteCancelled();
  window.NoteCancelled();
  EXPECT_EQ(window.percent(), 30);  // a cancelled batch is not shown complete
  EXPECT_EQ(window.logText(), QStringLiteral("Cancelled"));
}

TEST_F(GuiTest, FrameCountsEditInASpinBoxAndAReadCountStaysUntilEdited) {
  AddFrames({"a.bmp"});
  QAbstractItemModel* model = frame->panel()->grid()->model();
  const QModelIndex cell = model->index(0, FrameList::kFramesColumn);
  ASSERT_TRUE(model->setData(cell, QStringLiteral("0"), Qt::EditRole));  // as a file may hold
  FrameCountDelegate delegate;
  std::unique_ptr<QWidget> editor(delegate.createEditor(nullptr, {}, cell));
  auto* spin = qobject_cast<QSpinBox*>(editor.get());
  ASSERT_NE(spin, nullptr);
  EXPECT_EQ(spin->minimum(), 1);
  EXPECT_EQ(spin->maximum(), 9999);
  delegate.setEditorData(spin, cell);
  EXPECT_EQ(spin->value(), 1);
  delegate.setModelData(spin, model, cell);
  EXPECT_EQ(frame->doc().frames.Text(1, FrameList::kFramesColumn), "0");
  spin->setValue(12);
  delegate.setModelData(spin, model, cell);
  EXPECT_EQ(frame->doc().frames.Text(1, FrameList::kFramesColumn), "12");
}

TEST(WindowPlacement, AWindowOffEveryScreenMovesInsideAndOneOnScreenStays) {
  const QList<QRect> screens = {QRect(0, 0, 1024, 768), QRect(1024, 0, 800, 600)};
  EXPECT_EQ(PlaceOnScreen(QRect(100, 80, 600, 450), screens), QRect(100, 80, 600, 450));
  EXPECT_EQ(PlaceOnScreen(QRect(1100, 50, 600, 450), screens), QRect(1100, 50, 600, 450));
  EXPECT_EQ(PlaceOnScreen(QRect(5000, 4000, 600, 450), screens), QRect(424, 318, 600, 450));
  EXPECT_EQ(PlaceOnScreen(QRect(-300, -20, 600, 450), screens), QRect(0, 0, 600, 450));
  // Mostly on the second screen, partly beyond its right edge; taller than it.
  EXPECT_EQ(PlaceOnScreen(QRect(1700, 0, 300, 900), screens), QRect(1524, 0, 300, 600));
}

TEST_F(GuiTest, TheWindowLayoutIsRememberedAndMovedOnScreen) {
  const QRect area = frame->screen()->availableGeometry();
  const QRect wanted(area.left() + 30, area.top() + 20, 500, 380);
  frame->setGeometry(wanted);
  frame.reset();  // saves the layout
  frame = std::make_unique<CMainFrame>();
  frame->doc().AttachHost(host);
  EXPECT_EQ(frame->geometry(), wanted);
  ProgramStore().setValue(QStringLiteral("Window/geometry"), QRect(9000, 9000, 500, 380));
  frame = std::make_unique<CMainFrame>();
  frame->doc().AttachHost(host);
  EXPECT_TRUE(area.contains(frame->geometry())) << frame->geometry().x() << "," << frame->geometry().y();
  ProgramStore().remove(QStringLiteral("Window"));
}

TEST_F(GuiTest, RecentFilesMoveOnceFromTheOldStore) {
  ProgramStore().clear();
  const QString key = QStringLiteral("Recent File List/Files");
  {
    QSettings old(QStringLiteral("Local AppWizard-Generated Applications"), QStringLiteral("Zerarive"));
    old.setValue(key, QStringList{"/p/a.tvf", "/p/b.tvf"});
  }
  EXPECT_EQ(frame->recentFiles(), (QStringList{"/p/a.tvf", "/p/b.tvf"}));
  QSettings old(QStringLiteral("Local AppWizard-Generated Applications"), QStringLiteral("Zerarive"));
  EXPECT_FALSE(old.contains(key));
  old.setValue(key, QStringList{"/p/late.tvf"});  // written by an old copy later: ignored
  EXPECT_EQ(frame->recentFiles(), (QStringList{"/p/a.tvf", "/p/b.tvf"}));
  ProgramStore().clear();
}

}  // namespace
// The desktop box keeps the fixed text and shows the reader's reason as its details.
TEST(QtHostMessage, TheBoxShowsThePreciseReasonAsItsDetails) {
  QtHost host;
  SeenBox seen = AcceptBox([&] {
    host.MessageWithDetails("Could not load /x/a.gif", "GIF: no \"GIF8\" signature at byte 0");
  });
  EXPECT_EQ(seen.text, QStringLiteral("Could not load /x/a.gif"));
  EXPECT_EQ(seen.details, QStringLiteral("GIF: no \"GIF8\" signature at byte 0"));
  // A box without details has no details button.
  seen = AcceptBox([&] { host.Message("Could not load /x/b.gif"); });
  EXPECT_EQ(seen.text, QStringLiteral("Could not load /x/b.gif"));
  EXPECT_TRUE(seen.details.isEmpty());
}

}  // namespace zr::test
