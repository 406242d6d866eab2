// A Host that records everything and answers from a queue, for tests.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/host.h"

namespace zr::test {

class FakeHost : public Host {
 public:
  void Message(const std::string& text, const std::string& = {},
               MessageKind kind = MessageKind::Error) override {
    messages.push_back(text);
    kinds.push_back(kind);
  }
  Answer AskYesNoCancel(const std::string& text, const std::string& = {}) override {
    questions.push_back(text);
    if (answers.empty()) return Answer::Cancel;
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  bool AskYesNo(const std::string& text, const std::string& caption = {}) override {
    return AskYesNoCancel(text, caption) == Answer::Yes;
  }
  void SetStatusText(const std::string& text) override { statuses.push_back(text); }
  void BeginProgress(const std::string& title, int64_t total) override {
    progressTitles.push_back(title);
    progressTotal = total;
  }
  void UpdateProgress(int64_t done) override { progressDone.push_back(done); }
  void EndProgress() override { ++progressEnds; }
  bool SetClipboardImage(const ClipboardImage& image) override {
    clipboard = image;
    return true;
  }
  std::optional<ClipboardImage> GetClipboardImage() override { return clipboard; }
  // Cancel once asked `cancelAfterPolls` times (never when negative), or when `cancel`.
  bool CancelRequested() override {
    ++cancelPolls;
    return cancel || (cancelAfterPolls >= 0 && cancelPolls > cancelAfterPolls);
  }

  std::vector<std::string> messages, questions, statuses, progressTitles;
  std::vector<MessageKind> kinds;
  std::vector<int64_t> progressDone;
  std::deque<Answer> answers;
  int64_t progressTotal = 0;
  int progressEnds = 0;
  bool cancel = false;
  int64_t cancelAfterPolls = -1, cancelPolls = 0;
  std::optional<ClipboardImage> clipboard;
};

}  // namespace zr::test
