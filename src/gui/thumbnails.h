// Small pictures of the frame list's images: decoded off the GUI thread without any
// message box, kept by path, size and modification time, bounded by their bytes.
#pragma once

#include <QCache>
#include <QDateTime>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QString>
#include <QThreadPool>

namespace zr {

inline constexpr int kThumbnailHeight = 64;
// Panoramas are cut down to this width so one image cannot take a large share.
inline constexpr int kThumbnailMaxWidth = 4 * kThumbnailHeight;

enum class ThumbnailProblem { None, FileNotFound, NotReadable };

// What identifies one version of a file: a changed file is a new key.
struct ThumbnailKey {
  QString path;
  qint64 size = -1;  // -1: the file does not exist
  qint64 modified = 0;
  static ThumbnailKey Of(const QString& path);
  QString text() const;
  bool operator==(const ThumbnailKey&) const = default;
};

struct ThumbnailResult {
  ThumbnailKey key;
  QImage image;  // null when there is a problem
  ThumbnailProblem problem = ThumbnailProblem::None;
  QString detail;  // the reader's precise reason for NotReadable
};

// Decodes one file into its thumbnail on the calling thread. Messages the readers send
// go to a sink of this thread, never to the user.
ThumbnailResult DecodeThumbnail(const ThumbnailKey& key);

// Where thumbnails come from. Results arrive later, on the GUI thread, through `loaded`.
class ThumbnailLoader : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  virtual void Request(const ThumbnailKey& key) = 0;

 signals:
  void loaded(const zr::ThumbnailResult& result);
};

// Decodes on a small pool of its own threads.
class PooledThumbnailLoader : public ThumbnailLoader {
  Q_OBJECT

 public:
  explicit PooledThumbnailLoader(QObject* parent = nullptr);
  ~PooledThumbnailLoader() override;
  void Request(const ThumbnailKey& key) override;

 private:
  QThreadPool pool_;
};

// The thumbnails the list shows: cached pictures, requests for the missing ones, and the
// "missing" mark with its reason.
class ThumbnailCache : public QObject {
  Q_OBJECT

 public:
  static constexpr qint64 kDefaultBytes = 200ll * 1024 * 1024;

  explicit ThumbnailCache(ThumbnailLoader* loader, qint64 maxBytes = kDefaultBytes,
                          QObject* parent = nullptr);

  struct Lookup {
    QIcon icon;              // null while loading
    QString toolTip;         // path and reason when the image cannot be shown
    bool missing = false;
  };
  // What the list shows for `path` now; asks the loader once for anything not cached.
  Lookup Find(const QString& path);

  qint64 bytesUsed() const { return cache_.totalCost(); }
  qint64 maxBytes() const { return cache_.maxCost(); }
  int count() const { return cache_.count(); }
  int requestsMade() const { return requests_; }
  // Bytes one thumbnail is charged: its pixels (and a little for tiny ones).
  static qint64 CostOf(const QPixmap& pixmap);

 signals:
  void thumbnailReady(const QString& path);

 private:
  struct Entry {
    QIcon icon;
    ThumbnailProblem problem = ThumbnailProblem::None;
    QString detail;
  };
  void Store(const ThumbnailResult& result);

  ThumbnailLoader* loader_;
  QCache<QString, Entry> cache_;
  QSet<QString> pending_;
  int requests_ = 0;
};

}  // namespace zr
