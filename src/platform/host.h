// The only way the core reaches the user. The desktop program implements it with Qt,
// the command-line tool with the terminal, tests with a recording fake.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clipboard_image.h"
#include "platform/raster.h"

namespace zr {

enum class Answer { Ok, Yes, No, Cancel };

// What a message box says: the GUI shows the matching icon.
enum class MessageKind { Information, Warning, Error };

// ---- AVI output: answers of the size dialog and the compression options ----
struct AVICOMPRESSOPTIONS;
// One answer of the "Invalid image size" dialog (OK pressed).
struct ImageSizeAnswer {
  int choice = 0;     // 0 skip, 1 resize to fit, 2 centre, 3 place at x, y
  bool keep = false;  // "Do the same for all the images that follow"
  int x = 0, y = 0;
  ColorRef background = 0xFFFFFF;
};
// What the "Invalid image size" dialog is asked about: the image and both sizes.
struct ImageSizeQuestion {
  std::string imagePath;
  int imageWidth = 0, imageHeight = 0;
  int frameWidth = 0, frameHeight = 0;
};
// ---- end of AVI output block ----

class Host {
 public:
  virtual ~Host() = default;

  // Modal box with an OK button. The caption is the program's title unless given.
  // Most messages report failures, hence the default kind.
  virtual void Message(const std::string& text, const std::string& caption = {},
                       MessageKind kind = MessageKind::Error) = 0;
  // The same box with the precise reason behind it: the GUI shows it as the box's details,
  // a terminal on the next line; a host with no place for them shows the text alone.
  virtual void MessageWithDetails(const std::string& text, const std::string& /*details*/,
                                  const std::string& caption = {},
                                  MessageKind kind = MessageKind::Error) {
    Message(text, caption, kind);
  }
  // Yes / No / Cancel question.
  virtual Answer AskYesNoCancel(const std::string& text, const std::string& caption = {}) = 0;
  // Yes / No question; returns true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption = {}) = 0;

  // The message pane of the status bar (painted at once by the GUI).
  virtual void SetStatusText(const std::string& text) = 0;

  // Progress of a long operation: Begin, any number of Update (done of total), End.
  virtual void BeginProgress(const std::string& title, int64_t total) = 0;
  virtual void UpdateProgress(int64_t done) = 0;
  virtual void EndProgress() = 0;

  // Long operations poll this at every notification (at least every 100 ms of work)
  // and, when it is true, stop, remove what they had written and report "Cancelled".
  virtual bool CancelRequested() { return false; }

  virtual void BeginWaitCursor() {}
  virtual void EndWaitCursor() {}

  // Clipboard of a bitmap + palette. Hosts without a clipboard refuse.
  virtual bool SetClipboardImage(const ClipboardImage&) { return false; }
  virtual std::optional<ClipboardImage> GetClipboardImage();

  // ---- AVI output questions (src/output, src/platform/avifile) ----
  // The "Invalid image size" dialog for one image, starting from its own defaults every
  // time; nullopt is Cancel. Hosts without it skip the image.
  virtual std::optional<ImageSizeAnswer> AskImageSize(const ImageSizeQuestion& /*question*/) {
    return ImageSizeAnswer{};
  }
  // The compression-options dialog: edits `options` in place (fccHandler, dwQuality,
  // dwKeyFrameEvery, dwBytesPerSecond and the matching dwFlags; AviCompressors() lists
  // the choices). True on OK; hosts without it change nothing.
  virtual bool EditCompressOptions(AVICOMPRESSOPTIONS& /*options*/) { return false; }
  // The AVI file chooser: save or open form, "Avi Files (*.avi)" or "Wave Files (*.wav)",
  // default extension "avi", starting in `startFolder` when not empty. The chosen full
  // path, or "" on Cancel. Hosts without it answer "".
  virtual std::string ChooseAviPath(bool /*save*/, bool /*wave*/,
                                    const std::string& /*startFolder*/) {
    return {};
  }
  // ---- end of AVI output questions ----
};

// A host that shows nothing and answers Cancel, for objects no front end is attached to.
// It holds no state, so one instance serves every thread.
Host& NullHost();

// Shows the wait cursor for its lifetime.
class WaitCursor {
 public:
  explicit WaitCursor(Host& host) : host_(host) { host_.BeginWaitCursor(); }
  ~WaitCursor() { host_.EndWaitCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  Host& host_;
};

// Terminal implementation: messages and questions on stderr/stdin, a progress bar when
// stderr is a terminal and plain lines otherwise. Questions answer `defaultAnswer` when
// stdin is not a terminal.
class TerminalHost : public Host {
 public:
  explicit TerminalHost(bool interactive);
  void Message(const std::string& text, const std::string& caption = {},
               MessageKind kind = MessageKind::Error) override;
  void MessageWithDetails(const std::string& text, const std::string& details,
                          const std::string& caption = {},
                          MessageKind kind = MessageKind::Error) override;
  Answer AskYesNoCancel(const std::string& text, const std::string& caption = {}) override;
  bool AskYesNo(const std::string& text, const std::string& caption = {}) override;
  void SetStatusText(const std::string& text) override;
  void BeginProgress(const std::string& title, int64_t total) override;
  void UpdateProgress(int64_t done) override;
  void EndProgress() override;
  // True once SIGINT or SIGTERM came (see InstallCancelSignals).
  bool CancelRequested() override;
  bool interactive() const { return interactive_; }
  void set_quiet(bool quiet) { quiet_ = quiet; }

 private:
  void DrawBar(bool force);
  bool interactive_;
  bool tty_;
  bool quiet_ = false;
  std::string title_;
  int64_t total_ = 0;
  int64_t done_ = 0;
  int lastPermille_ = -1;
  std::string lastStatus_;
};

}  // namespace zr
