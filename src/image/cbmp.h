// CBmp: the in-memory image used wherever an image is loaded, shown, composed or saved.
// A screen-format bitmap (empty = no image), an optional palette, the monochrome mask of
// transparent drawing, a transparent flag and colour. Device contexts are the target
// Bitmap the image is drawn into.
#pragma once

#include <optional>
#include <string>

#include "platform/raster.h"

namespace zr {

class Host;
struct ImageFailure;

class CBmp {
 public:
  CBmp() = default;
  CBmp(const CBmp&) = default;
  CBmp& operator=(const CBmp&) = default;
  CBmp(CBmp&&) = default;
  CBmp& operator=(CBmp&&) = default;
  virtual ~CBmp() = default;

  // Clear, then load through the image dispatch (the extension chooses the reader).
  // A GIF with a transparent index sets the transparent flag and colour; nothing else
  // touches them. failure (when given) receives the reason of a failed load.
  bool Load(const std::string& path, ImageFailure* failure = nullptr);
  // Writes in the format the extension names; false (and no file) for other keys.
  bool Save(const std::string& path, ImageFailure* failure = nullptr) const;
  bool GetSize(int& width, int& height) const;

  // Draws (sx, sy, width x height; -1 = the bitmap's own) at (dx, dy) of target; with
  // stretch the whole image is stretched onto (dx, dy, width, height). With the
  // transparent flag, pixels of the transparent colour leave the target unchanged; the
  // mask is made on the first such draw and kept until Clear or CopyRect.
  // realizePalette has no effect on a true-colour target.
  bool Draw(Bitmap& target, int sx = 0, int sy = 0, int width = -1, int height = -1,
            int dx = 0, int dy = 0, bool stretch = false, bool realizePalette = false);

  // Plain copy of (sx, sy, width x height) of src into dst at (dx, dy). On success dst's
  // mask is discarded and its transparent flag becomes src's.
  static bool CopyRect(const CBmp& src, CBmp& dst, int dx, int dy, int sx = 0, int sy = 0,
                       int width = -1, int height = -1);

  // Drops bitmap, palette and mask; keeps the transparent flag and colour.
  void Clear();
  void SetTransparent(bool transparent) { transparent_ = transparent; }
  void SetTransparentColor(ColorRef color) { transparentColor_ = color; }
  bool IsTransparent() const { return transparent_; }
  ColorRef GetTransparentColor() const { return transparentColor_; }

  // Clipboard exchange through the host's clipboard.
  bool CopyToClipboard(Host& host) const;
  // Replaces bitmap (and palette when one is offered); mask and transparency unchanged.
  bool PasteFromClipboard(Host& host);

  bool empty() const { return bitmap_.empty(); }
  const Bitmap& bitmap() const { return bitmap_; }
  Bitmap& bitmap() { return bitmap_; }
  const Palette& palette() const { return palette_; }
  // Direct assignment of the image (composition, morphing). The mask is dropped since
  // it no longer matches.
  void SetBitmap(Bitmap bitmap);
  void SetPalette(Palette palette) { palette_ = std::move(palette); }
  bool hasMask() const { return mask_.has_value(); }

 private:
  Bitmap bitmap_;
  Palette palette_;
  std::optional<MonoBitmap> mask_;
  bool transparent_ = false;
  ColorRef transparentColor_ = 0;
};

}  // namespace zr
