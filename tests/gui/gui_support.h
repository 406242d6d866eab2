// What the GUI tests share: one QApplication for the whole program, a main window over a
// fresh program folder and settings store, and small image files.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "gui/main_frame.h"
#include "platform/raster.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"

namespace zr::test {

// Writes a w x h BMP filled with `colour`.
std::string WriteImage(const TempDir& dir, const std::string& name, int w, int h,
                       ColorRef colour = Rgb(200, 40, 40));

// The text and details of the message box `show` opens, which is then accepted.
struct SeenBox {
  QString text, details;
};
SeenBox AcceptBox(const std::function<void()>& show);

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Adds image files as frames and makes `current` (list row) the current one.
  void AddFrames(std::initializer_list<std::string> names, int current = 1);
  std::vector<std::string> FrameNames() const;
  bool Enabled(int id) const;

  TempDir dir;
  FakeHost host;
  std::unique_ptr<CMainFrame> frame;
};

}  // namespace zr::test
