#include "output/compose.h"

#include <cctype>

#include "image/cbmp.h"
#include "platform/host.h"

namespace zr {

int LeadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(uint8_t(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(uint8_t(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > (1LL << 31)) value = 1LL << 31;  // a position that far is off the frame anyway
  }
  value = negative ? -value : value;
  if (value > INT32_MAX) value = INT32_MAX;
  return int(value);
}

FitResult FitToFrame(Host& host, CBmp& working, const std::string& path, int frameWidth,
                     int frameHeight, SizePolicy& policy) {
  if (policy.choice == -1) {
    std::optional<ImageSizeAnswer> answer = host.AskImageSize(
        {path, working.bitmap().width, working.bitmap().height, frameWidth, frameHeight});
    if (!answer) return FitResult::Stop;
    policy.choice = answer->choice;
    policy.keep = answer->keep;
    policy.x = answer->x;
    policy.y = answer->y;
    policy.background = answer->background;
  }
  if (policy.choice < 1 || policy.choice > 3) {
    if (!policy.keep) policy.choice = -1;
    return FitResult::Skip;
  }
  // The canvas has the frame's size and the screen format. The image itself is already
  // in `working` (loaded once, not twice).
  Bitmap image = std::move(working.bitmap());
  Bitmap canvas(frameWidth, frameHeight, PixelFromColorRef(0xFFFFFF));
  if (policy.choice == 1) {
    // Shrinking averages what it drops; growing repeats pixels.
    bool shrink = image.width > frameWidth || image.height > frameHeight;
    StretchBlt(canvas, 0, 0, frameWidth, frameHeight, image, 0, 0, image.width, image.height,
               SRCCOPY, shrink ? StretchMode::Halftone : StretchMode::ColorOnColor);
  } else {
    FillRect(canvas, Rect{0, 0, frameWidth, frameHeight}, policy.background);
    int x = policy.choice == 2 ? (frameWidth - image.width) / 2 : policy.x;
    int y = policy.choice == 2 ? (frameHeight - image.height) / 2 : policy.y;
    BitBlt(canvas, x, y, image.width, image.height, image, 0, 0, SRCCOPY);
  }
  working.Clear();
  working.SetBitmap(std::move(canvas));
  working.SetTransparent(false);
  if (!policy.keep) policy.choice = -1;
  return FitResult::Done;
}

}  // namespace zr
