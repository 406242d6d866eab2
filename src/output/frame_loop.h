// The frame loop of an animation output: each listed image loaded, fitted to the frame
// size by the user's choice, stamped with the logo and handed, with its frame count, to
// a sink that writes it. The first image's size is the frame size. Knows nothing of the
// container the sink writes.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/cbmp.h"

namespace zr {

class Host;

// One composed picture of the frame size: image number `index` of the list.
struct ComposedFrame {
  size_t index = 0;
  uint32_t repeat = 1;  // frames it stands for (a listed 0 counts as 1)
  CBmp picture;
  std::any prepared;  // what FrameSink::Prepare made of it
};

class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // Once, with the first composed picture, before any Put. False ends the loop.
  virtual bool Begin(const ComposedFrame& first) = 0;
  // Work on a picture ahead of its Put, possibly on the loader's thread: it may touch
  // nothing but `frame` and the sink's settings.
  virtual void Prepare(ComposedFrame& /*frame*/) const {}
  // Writes the picture `frame.repeat` times. False ends the loop (the sink knows why).
  virtual bool Put(ComposedFrame& frame) = 0;
};

struct FrameLoopInput {
  std::vector<std::string> paths;
  std::vector<uint32_t> counts;          // one per path
  std::function<void(CBmp&)> applyLogo;  // may be empty; called from one thread at a time
  bool pipelined = true;                 // load the next image on a second thread meanwhile
  std::string progressTitle = "Creating AVI";
};

enum class FrameLoopEnd {
  Done,          // every image handed over
  Stopped,       // the size dialog's Cancel: what was handed over stands
  CouldNotLoad,  // told as "Could not load PATH"
  Cancelled,     // Host::CancelRequested
  SinkFailed,    // Begin or Put said false
  Empty,         // no images
};

struct FrameLoopResult {
  FrameLoopEnd end = FrameLoopEnd::Empty;
  size_t imagesHanded = 0;
};

// Notifies `host` at every image (progress, "N of M: NAME" status) and polls its Cancel
// there; messages of loaders on the second thread reach `host` from the calling thread.
FrameLoopResult RunFrameLoop(Host& host, const FrameLoopInput& input, FrameSink& sink);

}  // namespace zr
