// `zerarive-cli image IN OUT`: a format converter over the image load/save dispatch, and
// the `info` provider for image files.
#include <cstdio>

#include "cli/command.h"
#include "cli/info.h"
#include "image/builtin_bitmaps.h"
#include "image/cbmp.h"
#include "image/image_dispatch.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"

namespace zr::cli {

namespace {

int RunImage(const std::vector<std::string>& args) {
  Options opts(args, {});
  if (!opts.ok()) return Fail(opts.error());
  if (opts.positional().size() != 2) return Fail("image needs IN and OUT (see --help)");
  const std::string& in = opts.positional()[0];
  const std::string& out = opts.positional()[1];

  CBmp image;
  std::string inKey = ExtensionKey(in);
  if (IsBuiltinBitmapName(in)) {
    auto bmp = LoadBuiltinBitmap(in);
    if (!bmp) return Fail("no built-in bitmap named " + in);
    image.SetBitmap(std::move(*bmp));
  } else {
    bool resource = inKey == "B4" || inKey == "B8" || inKey == "P";
    if (!resource && !FileExists(in)) return Fail("cannot open " + in);
    if (!CanLoadImageKey(inKey))
      return Fail("cannot read ." + PathExtension(in) + " files: " + in);
    ImageFailure failure;
    if (!image.Load(in, &failure))
      return Fail("cannot load " + in + " (not a valid image): " + failure.detail);
  }
  std::string outKey = ExtensionKey(out);
  if (!CanSaveImageKey(outKey))
    return Fail("cannot write ." + PathExtension(out) +
                " files (use .bmp, .pcx, .jpg, .jpeg, .tif, .tiff or .png): " + out);
  ImageFailure failure;
  if (!image.Save(out, &failure)) {
    return Fail(failure.error ? CannotWriteText(out, failure.error)
                              : "cannot write " + out + ": " + failure.detail);
  }
  return 0;
}

CliRegistrar reg({"image", "convert an image file to another format",
                  "Usage: zerarive-cli image IN OUT\n"
                  "Loads IN and saves it as OUT; each file's extension names its format.\n"
                  "Reads .bmp .dib .rle .gif .jpg .jpeg .pcx .png .tga .tif .tiff .cri,\n"
                  "the built-in resources ZERARIVE.B4 / ZERARIVE.B8 and the built-in\n"
                  "bitmaps <LOGO <UP <DN <FIRST <LAST <DEL.\n"
                  "Writes .bmp (24-bit) .pcx .jpg .jpeg (quality 100) .tif .tiff (LZW) .png.\n"
                  "Exit code 0 on success, 1 with a message on failure.\n",
                  RunImage});

int DescribeImage(const std::string& path) {
  ImageFileInfo info;
  std::string error;
  if (!ReadImageFileInfo(path, info, &error)) return Fail(path + ": " + error);
  std::printf("%s: %s image\n", path.c_str(), info.format.c_str());
  std::printf("width: %d\nheight: %d\ndepth: %d bits\npalette: %d colours\n", info.width,
              info.height, info.bitCount, info.paletteSize);
  if (!info.detail.empty()) std::printf("notes: %s\n", info.detail.c_str());
  return 0;
}

InfoRegistrar info({{"BMP", "DIB", "RLE", "GIF", "JPG", "JPEG", "PCX", "PNG", "TGA", "TIF",
                     "TIFF", "CRI"},
                    DescribeImage});

}  // namespace

}  // namespace zr::cli
