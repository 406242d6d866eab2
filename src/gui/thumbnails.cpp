#include "gui/thumbnails.h"

#include <QApplication>
#include <QFileInfo>
#include <QStyle>

#include "gui/qt_host.h"
#include "image/cbmp.h"
#include "image/image_dispatch.h"
#include "platform/host.h"

namespace zr {

namespace {

QIcon MissingIcon() {
  return QIcon::fromTheme(QStringLiteral("image-missing"),
                          QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
}

}  // namespace

ThumbnailKey ThumbnailKey::Of(const QString& path) {
  ThumbnailKey key{path};
  const QFileInfo info(path);
  if (info.isFile()) {
    key.size = info.size();
    key.modified = info.lastModified().toMSecsSinceEpoch();
  }
  return key;
}

QString ThumbnailKey::text() const {
  return path + QLatin1Char('\n') + QString::number(size) + QLatin1Char('\n') + QString::number(modified);
}

ThumbnailResult DecodeThumbnail(const ThumbnailKey& key) {
  ThumbnailResult result;
  result.key = key;
  ImageFailure failure;
  if (key.size < 0) {
    result.problem = ThumbnailProblem::FileNotFound;
    return result;
  }
  CBmp picture;
  if (!picture.Load(key.path.toStdString(), &failure) || picture.empty()) {
    result.problem = ThumbnailProblem::NotReadable;
    result.detail = QString::fromStdString(failure.detail);
    return result;
  }
  QImage image = ImageFromBitmap(picture.bitmap());
  if (image.height() > kThumbnailHeight) image = image.scaledToHeight(kThumbnailHeight, Qt::SmoothTransformation);
  if (image.width() > kThumbnailMaxWidth) image = image.scaledToWidth(kThumbnailMaxWidth, Qt::SmoothTransformation);
  result.image = std::move(image);
  return result;
}

PooledThumbnailLoader::PooledThumbnailLoader(QObject* parent) : ThumbnailLoader(parent) {
  // Two threads: the rest of the machine stays free for the user's own work.
  pool_.setMaxThreadCount(2);
}

PooledThumbnailLoader::~PooledThumbnailLoader() {
  pool_.clear();
  pool_.waitForDone();
}

void PooledThumbnailLoader::Request(const ThumbnailKey& key) {
  pool_.start([this, key] {
    ThumbnailResult result = DecodeThumbnail(key);
    // Queued: `loaded` reaches its receivers on the GUI thread.
    QMetaObject::invokeMethod(this, [this, result] { emit loaded(result); }, Qt::QueuedConnection);
  });
}

ThumbnailCache::ThumbnailCache(ThumbnailLoader* loader, qint64 maxBytes, QObject* parent)
    : QObject(parent), loader_(loader), cache_(maxBytes) {
  connect(loader_, &ThumbnailLoader::loaded, this, &ThumbnailCache::Store);
}

qint64 ThumbnailCache::CostOf(const QPixmap& pixmap) {
  return std::max<qint64>(64, qint64(pixmap.width()) * pixmap.height() * 4);
}

ThumbnailCache::Lookup ThumbnailCache::Find(const QString& path) {
  const ThumbnailKey key = ThumbnailKey::Of(path);
  const QString text = key.text();
  if (const Entry* entry = cache_.object(text)) {
    if (entry->problem == ThumbnailProblem::None) return {entry->icon, {}, false};
    const QString reason = entry->problem == ThumbnailProblem::FileNotFound ? tr("File not found")
                                                                            : tr("Not a readable image");
    QString tip = path + QLatin1Char('\n') + reason;
    if (!entry->detail.isEmpty()) tip += QLatin1Char('\n') + entry->detail;
    return {MissingIcon(), tip, true};
  }
  if (!pending_.contains(text)) {
    pending_.insert(text);
    ++requests_;
    loader_->Request(key);
  }
  return {};
}

void ThumbnailCache::Store(const ThumbnailResult& result) {
  const QString text = result.key.text();
  pending_.remove(text);
  auto* entry = new Entry;
  entry->problem = result.problem;
  entry->detail = result.detail;
  qint64 cost = 64;
  if (!result.image.isNull()) {
    const QPixmap pixmap = QPixmap::fromImage(result.image);
    entry->icon = QIcon(pixmap);
    cost = CostOf(pixmap);
  }
  cache_.insert(text, entry, cost);
  emit thumbnailReady(result.key.path);
}

}  // namespace zr
