// The animation preview: a top-level player for one AVI file. Frames come through the AVI
// layer, sound through a QAudioSink, and the picture follows the sound's clock when there
// is sound. The caption shows the file's name, the position and the mode; there is no
// Open command. A file it cannot play is reported in the window itself.
#pragma once

#include <memory>

#include <QElapsedTimer>
#include <QIODevice>
#include <QImage>
#include <QString>
#include <QWidget>

#include "platform/avifile/avifile.h"

class QAudioSink;
class QLabel;
class QSlider;
class QTimer;
class QToolButton;

namespace zr {

// One AVI opened for playing: its first video stream and first sound stream.
class AviPlayback {
 public:
  AviPlayback() = default;
  ~AviPlayback();
  AviPlayback(const AviPlayback&) = delete;
  AviPlayback& operator=(const AviPlayback&) = delete;

  // False with error() set when the file has nothing to play.
  bool Open(const QString& path);
  const QString& error() const { return error_; }

  bool hasVideo() const { return getFrame_ != nullptr; }
  int frameCount() const { return frames_; }
  double framesPerSecond() const { return fps_; }
  QSize frameSize() const { return size_; }
  // Frame `index` as an image; null when it cannot be decoded.
  QImage Frame(int index);

  bool hasSound() const { return sound_ != nullptr; }
  const WAVEFORMATEX& soundFormat() const { return wave_; }
  // The sound stream (blocks of nBlockAlign bytes) and how many blocks make a second.
  PAVISTREAM soundStream() const { return sound_.get(); }
  double soundBlocksPerSecond() const;
  int soundBlocks() const { return soundBlocks_; }

 private:
  void Close();
  AviFilePtr videoFile_;
  AviStreamPtr video_;
  AviGetFramePtr getFrame_;
  AviFilePtr soundFile_;  // a second handle: the sound is read on its own schedule
  AviStreamPtr sound_;
  WAVEFORMATEX wave_{};
  int soundBlocks_ = 0;
  int frames_ = 0;
  double fps_ = 0;
  QSize size_;
  QString error_;
};

// Pulls PCM blocks from a sound stream for the audio sink.
class SoundFeed : public QIODevice {
  Q_OBJECT

 public:
  SoundFeed(PAVISTREAM stream, int blockAlign, int blocks, QObject* parent = nullptr);
  void SeekBlock(int block) { block_ = std::clamp(block, 0, blocks_); }
  int block() const { return block_; }
  bool isSequential() const override { return true; }
  qint64 bytesAvailable() const override;

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  PAVISTREAM stream_;
  int blockAlign_;
  int blocks_;
  int block_ = 0;
};

class PreviewPicture;

class CPreviewWindow : public QWidget {
  Q_OBJECT

 public:
  enum class Mode { NotReady, Stopped, Playing, Paused };

  explicit CPreviewWindow(const QString& path, QWidget* parent = nullptr);
  ~CPreviewWindow() override;

  const QString& path() const { return path_; }
  bool playable() const { return playable_; }
  QString errorText() const;
  Mode mode() const { return mode_; }
  int position() const { return position_; }
  int frameCount() const;
  const QImage& currentImage() const;

  void Play();
  void Pause();
  void Stop();
  void Seek(int frame);

 private:
  void Tick();
  void ShowFrame(int frame);
  void UpdateCaption();
  void StartSound(int frame);
  void StopSound();
  double PlayedSeconds() const;

  QString path_;
  AviPlayback playback_;
  bool playable_ = false;
  Mode mode_ = Mode::NotReady;
  int position_ = 0;
  int startFrame_ = 0;
  PreviewPicture* picture_ = nullptr;
  QLabel* message_ = nullptr;
  QToolButton* play_ = nullptr;
  QToolButton* stop_ = nullptr;
  QSlider* seek_ = nullptr;
  QLabel* positionLabel_ = nullptr;
  QTimer* timer_ = nullptr;
  QElapsedTimer clock_;
  std::unique_ptr<SoundFeed> feed_;
  QAudioSink* sink_ = nullptr;
  double soundStartSeconds_ = 0;
};

}  // namespace zr
