// Where a conversion reports: log lines (prefixed "Error: " / "Warning: " where they are
// such), the current frame number and a percentage. One sink per conversion, so parallel
// conversions never share one.
#pragma once

#include <string>
#include <vector>

namespace zr::mpeg {

class ConvertLog {
 public:
  virtual ~ConvertLog() = default;
  virtual void Line(const std::string& text) = 0;
  // A failed internal check, for the user's attention (a message box in the program);
  // sinks without a box of their own log it.
  virtual void Alert(const std::string& text) { Line(text); }
  virtual void Frame(int frameNumber) { (void)frameNumber; }
  virtual void Percent(int percent) { (void)percent; }
  // The user's Cancel (or a signal): polled at every Frame and Percent and at least every
  // 100 ms by each stage; the conversion then stops and leaves nothing behind.
  virtual bool CancelRequested() { return false; }
};

// Keeps everything, for tests and for the CLI's per-file buffering.
class RecordingLog : public ConvertLog {
 public:
  void Line(const std::string& text) override { lines.push_back(text); }
  void Frame(int n) override { frames.push_back(n); }
  void Percent(int p) override { percents.push_back(p); }
  std::vector<std::string> lines;
  std::vector<int> frames, percents;
};

}  // namespace zr::mpeg
