// Fitting an image whose size differs from the animation frame, by the policy the user
// picks in the "Invalid image size" dialog (asked through Host::AskImageSize).
#pragma once

#include <string>

#include "platform/raster.h"

namespace zr {

class CBmp;
class Host;

// The policy state of one AVI: created when writing starts, gone when it ends.
struct SizePolicy {
  int choice = -1;  // -1 ask; 0 skip; 1 resize to fit; 2 centre; 3 place at x, y
  bool keep = false;
  int x = 0, y = 0;
  ColorRef background = 0xFFFFFF;
};

enum class FitResult { Skip, Stop, Done };

// `working` holds the mismatching image loaded from `path`; the frame is W x H. On Done
// `working` holds a W x H picture (its transparent flag cleared).
// The question goes to `host`.
FitResult FitToFrame(Host& host, CBmp& working, const std::string& path, int frameWidth,
                     int frameHeight, SizePolicy& policy);

// The dialog's edit fields: the leading decimal number (an optional minus sign), 0 when
// the text has none.
int LeadingNumber(const std::string& text);

}  // namespace zr
