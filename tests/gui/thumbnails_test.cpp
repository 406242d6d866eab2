// Thumbnails in the frame list: decoded apart from the list, silently, cached by file
// version and bounded by bytes; a picture that cannot be shown says why.
#include <deque>

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QFile>

#include "gui/commands.h"
#include "gui/frame_panel.h"
#include "gui/thumbnails.h"
#include "gui_support.h"
#include "ui/grid_ctrl.h"

namespace zr::test {
namespace {

// Keeps every request until the test lets it through.
class HeldLoader : public ThumbnailLoader {
 public:
  using ThumbnailLoader::ThumbnailLoader;
  void Request(const ThumbnailKey& key) override { held.push_back(key); }
  void ReleaseAll() {
    while (!held.empty()) {
      ThumbnailKey key = held.front();
      held.pop_front();
      emit loaded(DecodeThumbnail(key));
    }
  }
  std::deque<ThumbnailKey> held;
};

QString Q(const std::string& s) { return QString::fromStdString(s); }

TEST(ThumbnailDecode, KeepsTheAspectAtSixtyFourPixelsAndSaysNothing) {
  TempDir dir;
  FakeHost host;
  ThumbnailResult wide = DecodeThumbnail(ThumbnailKey::Of(Q(WriteImage(dir, "wide.bmp", 320, 160))));
  EXPECT_EQ(wide.problem, ThumbnailProblem::None);
  EXPECT_EQ(wide.image.size(), QSize(128, 64));
  // Small pictures are not blown up; panoramas are cut to the widest thumbnail.
  EXPECT_EQ(DecodeThumbnail(ThumbnailKey::Of(Q(WriteImage(dir, "tiny.bmp", 20, 10)))).image.size(), QSize(20, 10));
  EXPECT_EQ(DecodeThumbnail(ThumbnailKey::Of(Q(WriteImage(dir, "pano.bmp", 2000, 100)))).image.width(),
            kThumbnailMaxWidth);

  EXPECT_EQ(DecodeThumbnail(ThumbnailKey::Of(Q(dir.file("gone.png")))).problem, ThumbnailProblem::FileNotFound);
  // The JPEG reader reports a broken file through the host: not here.
  ASSERT_TRUE(WriteBytes(dir.file("broken.jpg"), std::string("\xFF\xD8\xFF\xE0 not a picture")));
  ASSERT_TRUE(WriteBytes(dir.file("junk.png"), "junk"));
  const ThumbnailResult jpeg = DecodeThumbnail(ThumbnailKey::Of(Q(dir.file("broken.jpg"))));
  const ThumbnailResult png = DecodeThumbnail(ThumbnailKey::Of(Q(dir.file("junk.png"))));
  EXPECT_EQ(jpeg.problem, ThumbnailProblem::NotReadable);
  EXPECT_EQ(png.problem, ThumbnailProblem::NotReadable);
  EXPECT_TRUE(jpeg.detail.startsWith("JPEG: ")) << jpeg.detail.toStdString();
  EXPECT_TRUE(png.detail.startsWith("PNG: ")) << png.detail.toStdString();
  EXPECT_TRUE(host.messages.empty()) << host.messages.front();
}

TEST(ThumbnailCacheBytes, StaysWithinItsBoundAndReloadsWhatItDropped) {
  TempDir dir;
  FakeHost host;
  HeldLoader loader;
  const qint64 one = ThumbnailCache::CostOf(QPixmap(128, 64));
  EXPECT_EQ(one, 128 * 64 * 4);
  ThumbnailCache cache(&loader, 3 * one);
  std::vector<QString> paths;
  for (int i = 0; i < 5; ++i) paths.push_back(Q(WriteImage(dir, "f" + std::to_string(i) + ".bmp", 320, 160)));

  for (const QString& p : paths) EXPECT_TRUE(cache.Find(p).icon.isNull());
  // Asked once per file, however often the list paints.
  for (const QString& p : paths) cache.Find(p);
  EXPECT_EQ(cache.requestsMade(), 5);
  loader.ReleaseAll();
  EXPECT_EQ(cache.count(), 3);
  EXPECT_LE(cache.bytesUsed(), 3 * one);
  EXPECT_FALSE(cache.Find(paths[4]).icon.isNull());
  EXPECT_TRUE(cache.Find(paths[0]).icon.isNull()) << "the oldest picture should have gone";
  EXPECT_EQ(cache.requestsMade(), 6);

  // A rewritten file is another version: asked for again.
  const int before = cache.requestsMade();
  WriteImage(dir, "f4.bmp", 300, 100);
  EXPECT_TRUE(cache.Find(paths[4]).icon.isNull());
  EXPECT_EQ(cache.requestsMade(), before + 1);
}

TEST(ThumbnailCacheBytes, TwoThousandPicturesFitTheDefaultBound) {
  // The largest thumbnail at the default bound: a 2,000-image project keeps them all.
  const qint64 largest = ThumbnailCache::CostOf(QPixmap(kThumbnailMaxWidth, kThumbnailHeight));
  EXPECT_LE(2000 * largest, ThumbnailCache::kDefaultBytes);
}

class ThumbnailListTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    loader = new HeldLoader(frame.get());
    frame->UseThumbnailLoader(loader);
    frame->ShowThumbnails(true);
  }
  QVariant Cell(int itemRow, int role) {
    QAbstractItemModel* model = frame->panel()->grid()->model();
    return model->data(model->index(itemRow, 0), role);
  }
  HeldLoader* loader = nullptr;
};

TEST_F(ThumbnailListTest, NamesShowAndSelectBeforeAnyPictureArrives) {
  QStringList paths;
  for (int i = 0; i < 50; ++i)
    paths << Q(WriteImage(dir, QString::asprintf("img%02d.bmp", i).toStdString(), 160, 120));
  frame->AddImageFiles(paths);
  CGridCtrl* grid = frame->panel()->grid();
  grid->resize(300, 240);
  (void)grid->grab();
  ASSERT_EQ(grid->model()->rowCount(), 50);
  EXPECT_EQ(Cell(49, Qt::DisplayRole).toString(), "img49.bmp");
  EXPECT_FALSE(loader->held.empty());
  EXPECT_FALSE(Cell(0, Qt::DecorationRole).isValid());
  grid->setCurrentRow(10);
  EXPECT_EQ(frame->doc().frames.CurrentRow(), 11);

  loader->ReleaseAll();
  QApplication::processEvents();
  EXPECT_TRUE(Cell(0, Qt::DecorationRole).canConvert<QIcon>());
  // Only the rows on screen are decoded.
  const int asked = frame->thumbnailCache()->requestsMade();
  EXPECT_GE(asked, 2);
  EXPECT_LT(asked, 50);

  // Moving a frame shows the same pictures: nothing is decoded again.
  frame->doc().frames.SetCurrentCell(2, 0);
  frame->doc().MoveFrameDown();
  frame->doc().MoveFrameToFirst();
  (void)grid->grab();
  EXPECT_EQ(frame->thumbnailCache()->requestsMade(), asked);
  EXPECT_TRUE(Cell(0, Qt::DecorationRole).canConvert<QIcon>());
  EXPECT_EQ(Cell(0, Qt::DisplayRole).toString(), "img01.bmp");
}

TEST_F(ThumbnailListTest, AnUnreadablePictureIsMarkedWithItsReason) {
  ASSERT_TRUE(WriteBytes(dir.file("junk.bmp"), "junk"));
  QStringList paths{Q(dir.file("junk.bmp")), Q(dir.file("gone.bmp"))};
  frame->AddImageFiles(paths);
  QFile::remove(Q(dir.file("gone.bmp")));
  Cell(0, Qt::DecorationRole);
  Cell(1, Qt::DecorationRole);
  loader->ReleaseAll();
  EXPECT_EQ(Cell(0, Qt::ToolTipRole).toString(), Q(dir.file("gone.bmp")) + "\nFile not found");
  // The reader's precise reason comes last.
  const QString tip = Cell(1, Qt::ToolTipRole).toString();
  EXPECT_TRUE(tip.startsWith(Q(dir.file("junk.bmp")) + "\nNot a readable image\nBMP: "))
      << tip.toStdString();
  EXPECT_TRUE(Cell(1, Qt::DecorationRole).canConvert<QIcon>());
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ThumbnailListTest, TheViewMenuSwitchesToThePlainListAndRemembers) {
  AddFrames({"a.bmp"});
  frame->Execute(ID_VIEW_THUMBNAILS);
  EXPECT_FALSE(frame->action(ID_VIEW_THUMBNAILS)->isChecked());
  EXPECT_FALSE(Cell(0, Qt::DecorationRole).isValid());
  EXPECT_TRUE(loader->held.empty());
  {
    CMainFrame another;
    EXPECT_FALSE(another.thumbnailsShown());
  }
  frame->Execute(ID_VIEW_THUMBNAILS);
  EXPECT_TRUE(frame->thumbnailsShown());
  CMainFrame again;
  EXPECT_TRUE(again.thumbnailsShown());
}

}  // namespace
}  // namespace zr::test
