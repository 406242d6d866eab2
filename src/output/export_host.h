// A host that hands every call on to another one; the export's passes and the export
// dialog change a few of them.
#pragma once

#include "platform/host.h"

namespace zr {

class ForwardingHost : public Host {
 public:
  explicit ForwardingHost(Host& inner) : inner_(inner) {}
  void Message(const std::string& text, const std::string& caption, MessageKind kind) override {
    inner_.Message(text, caption, kind);
  }
  void MessageWithDetails(const std::string& text, const std::string& details,
                          const std::string& caption = {},
                          MessageKind kind = MessageKind::Error) override {
    inner_.MessageWithDetails(text, details, caption, kind);
  }
  Answer AskYesNoCancel(const std::string& text, const std::string& caption) override {
    return inner_.AskYesNoCancel(text, caption);
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    return inner_.AskYesNo(text, caption);
  }
  void SetStatusText(const std::string& text) override { inner_.SetStatusText(text); }
  void BeginProgress(const std::string& title, int64_t total) override {
    inner_.BeginProgress(title, total);
  }
  void UpdateProgress(int64_t done) override { inner_.UpdateProgress(done); }
  void EndProgress() override { inner_.EndProgress(); }
  bool CancelRequested() override { return inner_.CancelRequested(); }
  void BeginWaitCursor() override { inner_.BeginWaitCursor(); }
  void EndWaitCursor() override { inner_.EndWaitCursor(); }
  bool SetClipboardImage(const ClipboardImage& image) override {
    return inner_.SetClipboardImage(image);
  }
  std::optional<ClipboardImage> GetClipboardImage() override { return inner_.GetClipboardImage(); }
  std::optional<ImageSizeAnswer> AskImageSize(const ImageSizeQuestion& question) override {
    return inner_.AskImageSize(question);
  }
  bool EditCompressOptions(AVICOMPRESSOPTIONS& options) override {
    return inner_.EditCompressOptions(options);
  }
  std::string ChooseAviPath(bool save, bool wave, const std::string& folder) override {
    return inner_.ChooseAviPath(save, wave, folder);
  }

 protected:
  Host& inner_;
};

}  // namespace zr
