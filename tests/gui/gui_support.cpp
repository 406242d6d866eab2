#include "gui_support.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>

#include "app/settings_file.h"
#include "image/cbmp.h"
#include "platform/paths.h"

namespace zr::test {

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "test_gui";
    static char* argv[] = {name, nullptr};
    // The window layout and recent files go to a folder of the test's own.
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  TempDir config_;
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

std::string WriteImage(const TempDir& dir, const std::string& name, int w, int h, ColorRef colour) {
  CBmp image;
  image.SetBitmap(Bitmap(w, h, PixelFromColorRef(colour)));
  const std::string path = dir.file(name);
  EXPECT_TRUE(image.Save(path)) << path;
  return path;
}

void GuiTest::SetUp() {
  frame = std::make_unique<CMainFrame>();
  frame->doc().settings().UseProgramFolder(dir.path());
  frame->doc().AttachHost(host);
  frame->doc().sIniFile = dir.file("Zerarive.ini");
  frame->FirstPaint();
}

void GuiTest::TearDown() {
  frame.reset();
}

void GuiTest::AddFrames(std::initializer_list<std::string> names, int current) {
  QStringList paths;
  for (const std::string& n : names) paths << QString::fromStdString(WriteImage(dir, n, 40, 30));
  frame->AddImageFiles(paths);
  frame->doc().frames.SetCurrentCell(current, 0);
  frame->UpdateCommandUI();
}

std::vector<std::string> GuiTest::FrameNames() const {
  std::vector<std::string> names;
  const FrameList& list = frame->doc().frames;
  for (int r = 1; r <= list.FrameCount(); ++r) names.push_back(list.Name(r));
  return names;
}

bool GuiTest::Enabled(int id) const { return frame->action(id)->isEnabled(); }

SeenBox AcceptBox(const std::function<void()>& show) {
  SeenBox seen;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      seen = {box->text(), box->detailedText()};
      box->accept();
    }
  });
  timer.start(10);
  show();
  return seen;
}

}  // namespace zr::test
