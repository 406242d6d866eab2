#include "gui/preview_window.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaDevices>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/icons.h"

namespace zr {

// ---- AviPlayback

AviPlayback::~AviPlayback() { Close(); }

void AviPlayback::Close() {
  getFrame_.reset();
  video_.reset();
  videoFile_.reset();
  sound_.reset();
  soundFile_.reset();
}

bool AviPlayback::Open(const QString& path) {
  Close();
  error_.clear();
  const std::string file = path.toStdString();
  HRESULT hr = AVIFileOpen(AviOut(videoFile_), file, OF_READ);
  if (hr != AVIERR_OK) {
    error_ = QStringLiteral("The file cannot be opened (%1).").arg(QString::fromStdString(AviErrorName(hr)));
    return false;
  }
  if (AVIFileGetStream(videoFile_.get(), AviOut(video_), streamtypeVIDEO, 0) == AVIERR_OK) {
    AVISTREAMINFO info;
    AVIStreamInfo(video_.get(), &info, sizeof info);
    frames_ = std::max(0, AVIStreamLength(video_.get()));
    fps_ = info.dwScale ? double(info.dwRate) / info.dwScale : 0;
    if (fps_ <= 0 || !std::isfinite(fps_)) fps_ = 10;
    BitmapInfoHeader wanted;
    wanted.biBitCount = 32;
    getFrame_.reset(AVIStreamGetFrameOpen(video_.get(), &wanted));
    size_ = QSize(info.rcFrame.right - info.rcFrame.left, info.rcFrame.bottom - info.rcFrame.top);
  }

  if (AVIFileOpen(AviOut(soundFile_), file, OF_READ) == AVIERR_OK) {
    if (AVIFileGetStream(soundFile_.get(), AviOut(sound_), streamtypeAUDIO, 0) == AVIERR_OK) {
      int32_t size = 0;
      AVIStreamReadFormat(sound_.get(), AVIStreamStart(sound_.get()), nullptr, &size);
      std::vector<uint8_t> format(size_t(std::max(size, int32_t(sizeof(WAVEFORMATEX)))), 0);
      int32_t got = int32_t(format.size());
      AVIStreamReadFormat(sound_.get(), AVIStreamStart(sound_.get()), format.data(), &got);
      std::memcpy(&wave_, format.data(), sizeof wave_);
      soundBlocks_ = std::max(0, AVIStreamLength(sound_.get()));
      // Only plain PCM (and float) reaches the sink; anything else plays silently.
      const bool pcm = wave_.wFormatTag == WAVE_FORMAT_PCM || wave_.wFormatTag == 3;
      if (!pcm || wave_.nBlockAlign == 0 || wave_.nChannels == 0 || wave_.nSamplesPerSec == 0) {
        sound_.reset();
      }
    }
  }

  if (!video_ && !sound_) {
    error_ = QStringLiteral("The file holds no video or sound that can be played.");
    return false;
  }
  if (video_ && !getFrame_) {
    error_ = QStringLiteral("The video of this file cannot be decoded.");
    return false;
  }
  if (!video_ && sound_) {
    // A sound-only file plays on the sound's clock at ten "frames" a second.
    fps_ = 10;
    frames_ = int(std::ceil(soundBlocks_ / std::max(1.0, soundBlocksPerSecond()) * fps_));
  }
  return true;
}

double AviPlayback::soundBlocksPerSecond() const {
  if (!wave_.nBlockAlign) return 0;
  return double(wave_.nAvgBytesPerSec) / wave_.nBlockAlign;
}

QImage AviPlayback::Frame(int index) {
  if (!getFrame_ || index < 0 || index >= frames_) return {};
  const BitmapInfoHeader* h = AVIStreamGetFrame(getFrame_.get(), index);
  if (!h || h->biBitCount != 32 || h->biWidth <= 0 || h->biHeight == 0) return {};
  const int width = h->biWidth;
  const int height = std::abs(h->biHeight);
  if (width > kMaxImageSide || height > kMaxImageSide) return {};
  const auto* rows = reinterpret_cast<const uint8_t*>(h) + h->biSize + 4 * DibNumColors(*h);
  const size_t stride = DibStride(width, 32);
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    // Bottom-up rows unless the height is negative.
    const int sourceRow = h->biHeight > 0 ? height - 1 - y : y;
    const auto* src = reinterpret_cast<const uint32_t*>(rows + size_t(sourceRow) * stride);
    auto* dst = reinterpret_cast<uint32_t*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) dst[x] = src[x] | 0xFF000000u;
  }
  return image;
}

// ---- SoundFeed

SoundFeed::SoundFeed(PAVISTREAM stream, int blockAlign, int blocks, QObject* parent)
    : QIODevice(parent), stream_(stream), blockAlign_(std::max(1, blockAlign)), blocks_(blocks) {}

qint64 SoundFeed::bytesAvailable() const {
  return qint64(blocks_ - block_) * blockAlign_ + QIODevice::bytesAvailable();
}

qint64 SoundFeed::readData(char* data, qint64 maxSize) {
  const int32_t wanted = int32_t(std::min<qint64>(maxSize / blockAlign_, blocks_ - block_));
  if (wanted <= 0) return 0;
  int32_t bytes = 0, samples = 0;
  if (AVIStreamRead(stream_, block_, wanted, data, int32_t(wanted) * blockAlign_, &bytes,
                    &samples) != AVIERR_OK ||
      samples <= 0) {
    block_ = blocks_;  // nothing more can be had: end of the sound
    return 0;
  }
  block_ += samples;
  return bytes;
}

// ---- the picture area

class PreviewPicture : public QWidget {
 public:
  explicit PreviewPicture(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 120);
  }
  void setImage(QImage image) {
    image_ = std::move(image);
    update();
  }
  const QImage& image() const { return image_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Shadow));
    if (image_.isNull()) return;
    // Unscaled when it fits, otherwise shrunk keeping its shape.
    QSize shown = image_.size();
    if (shown.width() > width() || shown.height() > height()) shown.scale(size(), Qt::KeepAspectRatio);
    QRect target(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
    p.drawImage(target, image_);
  }

 private:
  QImage image_;
};

// ---- CPreviewWindow

CPreviewWindow::CPreviewWindow(const QString& path, QWidget* parent)
    : QWidget(parent, Qt::Window), path_(path) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName(QStringLiteral("previewWindow"));
  setWindowIcon(ProgramIcon());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  picture_ = new PreviewPicture(this);
  layout->addWidget(picture_, 1);
  message_ = new QLabel(this);
  message_->setWordWrap(true);
  message_->setAlignment(Qt::AlignCenter);
  message_->setStyleSheet(QStringLiteral("color: #a00000; padding: 12px;"));
  message_->hide();
  layout->addWidget(message_);

  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(4, 2, 4, 2);
  play_ = new QToolButton(this);
  play_->setObjectName(QStringLiteral("previewPlay"));
  play_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
  play_->setToolTip(tr("Play / pause"));
  stop_ = new QToolButton(this);
  stop_->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
  stop_->setToolTip(tr("Stop"));
  seek_ = new QSlider(Qt::Horizontal, this);
  seek_->setObjectName(QStringLiteral("previewSeek"));
  positionLabel_ = new QLabel(this);
  positionLabel_->setMinimumWidth(90);
  bar->addWidget(play_);
  bar->addWidget(stop_);
  bar->addWidget(seek_, 1);
  bar->addWidget(positionLabel_);
  layout->addLayout(bar);

  timer_ = new QTimer(this);
  timer_->setTimerType(Qt::PreciseTimer);
  connect(timer_, &QTimer::timeout, this, &CPreviewWindow::Tick);
  connect(play_, &QToolButton::clicked, this, [this] { mode_ == Mode::Playing ? Pause() : Play(); });
  connect(stop_, &QToolButton::clicked, this, &CPreviewWindow::Stop);
  connect(seek_, &QSlider::sliderMoved, this, &CPreviewWindow::Seek);
  connect(seek_, &QSlider::actionTriggered, this, [this](int action) {
    if (action != QAbstractSlider::SliderMove) Seek(seek_->sliderPosition());
  });

  playable_ = playback_.Open(path_);
  if (!playable_) {
    message_->setText(tr("Cannot play %1:\n%2").arg(QFileInfo(path_).fileName(), playback_.error()));
    message_->show();
    picture_->hide();
    for (QWidget* w : {static_cast<QWidget*>(play_), static_cast<QWidget*>(stop_), static_cast<QWidget*>(seek_)})
      w->setEnabled(false);
    resize(360, 120);
  } else {
    mode_ = Mode::Stopped;
    seek_->setRange(0, std::max(0, playback_.frameCount() - 1));
    QSize size = playback_.hasVideo() ? playback_.frameSize() : QSize(320, 60);
    size = size.expandedTo(QSize(240, 60));
    // A frame larger than the screen is shown scaled down, whole.
    const QSize controls(0, 36);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      const QSize room = screen->availableGeometry().size() - QSize(16, 48) - controls;
      if (size.width() > room.width() || size.height() > room.height())
        size.scale(room, Qt::KeepAspectRatio);
    }
    resize(size + controls);
    ShowFrame(0);
  }
  UpdateCaption();
}

CPreviewWindow::~CPreviewWindow() { StopSound(); }

QString CPreviewWindow::errorText() const { return playable_ ? QString() : playback_.error(); }
int CPreviewWindow::frameCount() const { return playback_.frameCount(); }
const QImage& CPreviewWindow::currentImage() const { return picture_->image(); }

void CPreviewWindow::ShowFrame(int frame) {
  position_ = std::clamp(frame, 0, std::max(0, playback_.frameCount() - 1));
  if (playback_.hasVideo()) {
    QImage image = playback_.Frame(position_);
    if (!image.isNull()) picture_->setImage(std::move(image));
  }
  const QSignalBlocker block(seek_);
  seek_->setValue(position_);
  UpdateCaption();
}

void CPreviewWindow::UpdateCaption() {
  const QString name = QFileInfo(path_).fileName();
  QString mode;
  switch (mode_) {
    case Mode::NotReady: mode = tr("Not Ready"); break;
    case Mode::Stopped: mode = tr("Stopped"); break;
    case Mode::Playing: mode = tr("Playing"); break;
    case Mode::Paused: mode = tr("Paused"); break;
  }
  const QString position = QStringLiteral("%1/%2").arg(position_ + (playable_ ? 1 : 0)).arg(frameCount());
  positionLabel_->setText(position);
  setWindowTitle(QStringLiteral("%1 - %2 (%3)").arg(name, position, mode));
  play_->setIcon(style()->standardIcon(mode_ == Mode::Playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
}

void CPreviewWindow::Play() {
  if (!playable_ || mode_ == Mode::Playing) return;
  if (position_ >= frameCount() - 1) position_ = 0;
  startFrame_ = position_;
  mode_ = Mode::Playing;
  clock_.start();
  StartSound(position_);
  const double fps = playback_.framesPerSecond();
  timer_->start(std::clamp(int(1000 / std::max(1.0, fps) / 2), 5, 50));
  ShowFrame(position_);
}

void CPreviewWindow::Pause() {
  if (mode_ != Mode::Playing) return;
  timer_->stop();
  StopSound();
  mode_ = Mode::Paused;
  UpdateCaption();
}

void CPreviewWindow::Stop() {
  if (!playable_) return;
  timer_->stop();
  StopSound();
  mode_ = Mode::Stopped;
  ShowFrame(0);
}

void CPreviewWindow::Seek(int frame) {
  if (!playable_) return;
  const bool playing = mode_ == Mode::Playing;
  if (playing) {
    timer_->stop();
    StopSound();
    mode_ = Mode::Paused;
  }
  ShowFrame(frame);
  if (playing) Play();
}

double CPreviewWindow::PlayedSeconds() const {
  if (sink_ && sink_->state() == QAudio::ActiveState) {
    // What the sink has consumed, less what still waits in its buffer.
    const QAudioFormat f = sink_->format();
    const qint64 buffered = std::max<qint64>(0, sink_->bufferSize() - sink_->bytesFree());
    const double bufferedSeconds = f.bytesForDuration(1000000) > 0
                                       ? double(buffered) / f.bytesForDuration(1000000)
                                       : 0;
    const double played = sink_->processedUSecs() / 1e6 - bufferedSeconds;
    return soundStartSeconds_ + std::max(0.0, played);
  }
  return startFrame_ / playback_.framesPerSecond() + clock_.elapsed() / 1000.0;
}

void CPreviewWindow::Tick() {
  const int frame = int(PlayedSeconds() * playback_.framesPerSecond());
  if (frame >= frameCount()) {
    timer_->stop();
    StopSound();
    mode_ = Mode::Stopped;
    ShowFrame(frameCount() - 1);
    return;
  }
  if (frame != position_) ShowFrame(frame);
}

void CPreviewWindow::StartSound(int frame) {
  StopSound();
  if (!playback_.hasSound()) return;
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) return;  // no output: the picture runs on its own clock
  const WAVEFORMATEX& w = playback_.soundFormat();
  QAudioFormat format;
  format.setSampleRate(int(w.nSamplesPerSec));
  format.setChannelCount(w.nChannels);
  if (w.wFormatTag == 3 && w.wBitsPerSample == 32)
    format.setSampleFormat(QAudioFormat::Float);
  else if (w.wBitsPerSample == 8)
    format.setSampleFormat(QAudioFormat::UInt8);
  else if (w.wBitsPerSample == 16)
    format.setSampleFormat(QAudioFormat::Int16);
  else if (w.wBitsPerSample == 32)
    format.setSampleFormat(QAudioFormat::Int32);
  else
    return;
  if (!device.isFormatSupported(format)) return;
  soundStartSeconds_ = frame / playback_.framesPerSecond();
  feed_ = std::make_unique<SoundFeed>(playback_.soundStream(), w.nBlockAlign, playback_.soundBlocks());
  feed_->SeekBlock(int(soundStartSeconds_ * playback_.soundBlocksPerSecond()));
  feed_->open(QIODevice::ReadOnly);
  sink_ = new QAudioSink(device, format, this);
  sink_->start(feed_.get());
}

void CPreviewWindow::StopSound() {
  if (sink_) {
    sink_->stop();
    delete sink_;
    sink_ = nullptr;
  }
  feed_.reset();
}

}  // namespace zr
