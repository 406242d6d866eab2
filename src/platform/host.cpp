#include "platform/host.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "platform/cancel_signal.h"

namespace zr {

std::optional<ClipboardImage> Host::GetClipboardImage() { return std::nullopt; }

namespace {

class QuietHost : public Host {
 public:
  void Message(const std::string&, const std::string&, MessageKind) override {}
  Answer AskYesNoCancel(const std::string&, const std::string&) override { return Answer::Cancel; }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void SetStatusText(const std::string&) override {}
  void BeginProgress(const std::string&, int64_t) override {}
  void UpdateProgress(int64_t) override {}
  void EndProgress() override {}
};

}  // namespace

Host& NullHost() {
  // Stateless, so one instance serves every thread.
  static QuietHost silent;
  return silent;
}

TerminalHost::TerminalHost(bool interactive)
    : interactive_(interactive && isatty(0)), tty_(isatty(2)) {}

void TerminalHost::Message(const std::string& text, const std::string& caption, MessageKind) {
  if (tty_ && total_ > 0) std::fputc('\n', stderr);
  if (!caption.empty()) std::fprintf(stderr, "%s: ", caption.c_str());
  std::fprintf(stderr, "%s\n", text.c_str());
  lastPermille_ = -1;
}

void TerminalHost::MessageWithDetails(const std::string& text, const std::string& details,
                                      const std::string& caption, MessageKind kind) {
  Message(text, caption, kind);
  if (!details.empty()) std::fprintf(stderr, "%s\n", details.c_str());
}

Answer TerminalHost::AskYesNoCancel(const std::string& text, const std::string& caption) {
  Message(text, caption);
  if (!interactive_) return Answer::Cancel;
  for (;;) {
    std::fprintf(stderr, "[y]es / [n]o / [c]ancel? ");
    std::string line;
    if (!std::getline(std::cin, line)) return Answer::Cancel;
    if (!line.empty() && (line[0] == 'y' || line[0] == 'Y')) return Answer::Yes;
    if (!line.empty() && (line[0] == 'n' || line[0] == 'N')) return Answer::No;
    if (!line.empty() && (line[0] == 'c' || line[0] == 'C')) return Answer::Cancel;
  }
}

bool TerminalHost::AskYesNo(const std::string& text, const std::string& caption) {
  Message(text, caption);
  if (!interactive_) return false;
  for (;;) {
    std::fprintf(stderr, "[y]es / [n]o? ");
    std::string line;
    if (!std::getline(std::cin, line)) return false;
    if (!line.empty() && (line[0] == 'y' || line[0] == 'Y')) return true;
    if (!line.empty() && (line[0] == 'n' || line[0] == 'N')) return false;
  }
}

void TerminalHost::SetStatusText(const std::string& text) {
  if (quiet_ || text.empty() || text == lastStatus_) return;
  lastStatus_ = text;
  // On a terminal with a bar running, the status shares the bar's line.
  if (tty_ && total_ > 0) {
    DrawBar(true);
    return;
  }
  if (!tty_) std::fprintf(stderr, "%s\n", text.c_str());
}

void TerminalHost::BeginProgress(const std::string& title, int64_t total) {
  title_ = title;
  total_ = total > 0 ? total : 1;
  done_ = 0;
  lastPermille_ = -1;
  if (!tty_ && !quiet_ && !title.empty()) std::fprintf(stderr, "%s\n", title.c_str());
  DrawBar(true);
}

void TerminalHost::UpdateProgress(int64_t done) {
  done_ = done;
  DrawBar(false);
}

void TerminalHost::EndProgress() {
  if (total_ > 0) {
    done_ = total_;
    DrawBar(true);
    if (tty_ && !quiet_) std::fputc('\n', stderr);
  }
  total_ = 0;
}

bool TerminalHost::CancelRequested() { return ReceivedCancelSignal() != 0; }

void TerminalHost::DrawBar(bool force) {
  if (quiet_ || total_ <= 0) return;
  int permille = int(done_ * 1000 / total_);
  if (permille > 1000) permille = 1000;
  if (!force && permille == lastPermille_) return;
  lastPermille_ = permille;
  if (!tty_) return;  // plain output: no bar, only titles and status lines
  constexpr int width = 30;
  int filled = permille * width / 1000;
  std::string bar(size_t(filled), '#');
  bar.resize(width, '.');
  std::string label = lastStatus_.empty() ? title_ : lastStatus_;
  if (label.size() > 40) label = label.substr(0, 37) + "...";
  std::fprintf(stderr, "\r\033[K[%s] %3d.%d%% %s", bar.c_str(), permille / 10, permille % 10,
               label.c_str());
  std::fflush(stderr);
}

}  // namespace zr
