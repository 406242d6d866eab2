#include "output/frame_loop.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "output/avi_messages.h"
#include "output/compose.h"
#include "image/image_dispatch.h"
#include "platform/host.h"

namespace zr {

namespace {

// A reader's message, kept by the loader thread for the calling thread to show in order.
struct HeldMessage {
  std::string text, caption;
  MessageKind kind;
};

struct Loaded {
  bool ok = false;
  bool fitsFrame = false;  // stamped and prepared already
  ComposedFrame frame;
  std::vector<HeldMessage> messages;
  std::string failure;  // the reader's precise reason when !ok
};

// One loader thread for the whole loop: a thread per image would often find the last
// one's allocator arena still taken, and fault in a fresh heap for every picture.
class Prefetcher {
 public:
  explicit Prefetcher(std::function<Loaded(size_t)> load) : load_(std::move(load)) {}
  ~Prefetcher() { Stop(); }

  void Launch(size_t i) {
    if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
    std::lock_guard<std::mutex> lock(mutex_);
    request_ = i;
    result_.reset();
    wake_.notify_all();
  }

  Loaded Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return result_.has_value() || failure_; });
    // What a load throws (running out of memory) reaches the loop's thread, as it would
    // from a load done there.
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    Loaded l = std::move(*result_);
    result_.reset();
    return l;
  }

  // Waits for a load under way, which may still be using the loop's state.
  void Stop() {
    if (!worker_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
      wake_.notify_all();
    }
    worker_.join();
  }

 private:
  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return quit_ || request_.has_value(); });
      if (quit_) return;
      const size_t i = *request_;
      request_.reset();
      lock.unlock();
      std::optional<Loaded> l;
      std::exception_ptr failure;
      try {
        l = load_(i);
      } catch (...) {
        failure = std::current_exception();
      }
      lock.lock();
      result_ = std::move(l);
      failure_ = failure;
      wake_.notify_all();
    }
  }

  std::function<Loaded(size_t)> load_;
  std::thread worker_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<size_t> request_;
  std::optional<Loaded> result_;
  std::exception_ptr failure_;
  bool quit_ = false;
};

class Loop {
 public:
  Loop(Host& host, const FrameLoopInput& input, FrameSink& sink)
      : host_(host), in_(input), sink_(sink), next_([this](size_t i) { return Load(i); }) {}

  FrameLoopResult Run() {
    const size_t count = in_.paths.size();
    if (count == 0) return {FrameLoopEnd::Empty, 0};
    if (host_.CancelRequested()) return {FrameLoopEnd::Cancelled, 0};
    Loaded first = Load(0);
    Show(first);
    if (!first.ok) return CouldNotLoad(first);
    first.frame.picture.GetSize(width_, height_);
    Compose(first.frame);
    if (!sink_.Begin(first.frame)) return {FrameLoopEnd::SinkFailed, 0};

    FrameLoopResult result{FrameLoopEnd::Done, 0};
    SizePolicy policy;
    host_.BeginProgress(in_.progressTitle, int64_t(count));
    Launch(1);
    for (size_t i = 0; i < count; ++i) {
      if (host_.CancelRequested()) {
        result.end = FrameLoopEnd::Cancelled;
        break;
      }
      Loaded current = i == 0 ? std::move(first) : Next(i);
      Show(current);
      if (i > 0) {
        const std::string& name = in_.paths[i];
        if (!current.ok) {
          result = CouldNotLoad(current);
          break;
        }
        Launch(i + 1);
        if (!current.fitsFrame) {
          FitResult fit = FitToFrame(host_, current.frame.picture, name, width_, height_, policy);
          if (fit == FitResult::Skip) {
            host_.UpdateProgress(int64_t(i + 1));
            continue;
          }
          if (fit == FitResult::Stop) {
            result.end = FrameLoopEnd::Stopped;
            break;
          }
          Compose(current.frame);
        }
        host_.SetStatusText(std::to_string(i + 1) + " of " + std::to_string(count) + ": " + name);
      }
      if (!sink_.Put(current.frame)) {
        result.end = FrameLoopEnd::SinkFailed;
        break;
      }
      ++result.imagesHanded;
      host_.UpdateProgress(int64_t(i + 1));
    }
    next_.Stop();
    host_.EndProgress();
    return result;
  }

 private:
  FrameLoopResult CouldNotLoad(const Loaded& l) {
    host_.MessageWithDetails(kCouldNotLoad + in_.paths[l.frame.index], l.failure);
    return {FrameLoopEnd::CouldNotLoad, l.frame.index};
  }

  void Stamp(CBmp& picture) {
    if (!in_.applyLogo) return;
    // The logo keeps lazily made drawing state, so the two threads take turns with it.
    std::lock_guard<std::mutex> lock(logoMutex_);
    in_.applyLogo(picture);
  }

  void Compose(ComposedFrame& frame) {
    Stamp(frame.picture);
    sink_.Prepare(frame);
  }

  // Image i as read; stamped and prepared when it already has the frame size.
  Loaded Load(size_t i) {
    Loaded l;
    l.frame.index = i;
    l.frame.repeat = in_.counts[i] ? in_.counts[i] : 1;
    ImageFailure failure;
    l.ok = l.frame.picture.Load(in_.paths[i], &failure);
    if (!l.ok) {
      l.failure = failure.detail;
      if (!failure.message.empty())
        l.messages.push_back({failure.message, failure.caption, MessageKind::Error});
      return l;
    }
    l.frame.picture.SetTransparent(false);
    int w = 0, h = 0;
    l.frame.picture.GetSize(w, h);
    if (i > 0 && w == width_ && h == height_) {
      Compose(l.frame);
      l.fitsFrame = true;
    }
    return l;
  }

  void Launch(size_t i) {
    if (!in_.pipelined || i >= in_.paths.size()) return;
    // The readers report through ImageFailure, so the worker needs no host of its own.
    next_.Launch(i);
  }

  Loaded Next(size_t i) { return in_.pipelined ? next_.Take() : Load(i); }

  void Show(const Loaded& l) {
    for (const auto& m : l.messages) host_.Message(m.text, m.caption, m.kind);
  }

  Host& host_;
  const FrameLoopInput& in_;
  FrameSink& sink_;
  int width_ = 0, height_ = 0;
  std::mutex logoMutex_;
  Prefetcher next_;  // last member: stopped before the state its loads use
};

}  // namespace

FrameLoopResult RunFrameLoop(Host& host, const FrameLoopInput& input, FrameSink& sink) {
  return Loop(host, input, sink).Run();
}

}  // namespace zr
