// The GUI's entry points into the AVI output core: each is the same call the command
// line makes, plus what only a window needs.
#pragma once

#include <string>

#include "output/create_avi.h"

namespace zr {

class CMainFrame;

// Makes the AVI from the project into `path` with the run's compression options.
bool CreateAvi(CMainFrame& frame, const std::string& path);
// "AVI Settings": the compression-options dialog over `options`, through a scratch
// "HLTemp.AVI" in `programFolder`, since the AVI layer's dialog wants a stream.
// Nothing happens when that file cannot be made.
bool EditAviSettings(Host& host, AVICOMPRESSOPTIONS& options, const std::string& programFolder);

}  // namespace zr
