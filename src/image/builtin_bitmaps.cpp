#include "image/builtin_bitmaps.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "image/dib_convert.h"

namespace zr {

namespace {

// Icons as pixel art: one character per pixel. '.' is the background grey.
struct Art {
  const char* name;
  int width, height;
  const char* rows;
};

ColorRef ArtColor(char c) {
  switch (c) {
    case 'k': return Rgb(0, 0, 0);
    case 'w': return Rgb(255, 255, 255);
    case 'n': return Rgb(0, 0, 128);      // navy
    case 'b': return Rgb(40, 90, 220);    // blue
    case 'c': return Rgb(120, 170, 255);  // light blue highlight
    case 'r': return Rgb(200, 0, 0);
    case 'R': return Rgb(255, 90, 90);
    case 'g': return Rgb(128, 128, 128);
    case 'y': return Rgb(255, 200, 0);
    case 'o': return Rgb(230, 120, 0);
    default: return kBuiltinBackground;
  }
}

constexpr Art kIcons[] = {
    {"<UP", 16, 16,
     "................"
     "................"
     ".......kk......."
     "......kcbk......"
     ".....kcbbbk....."
     "....kcbbbbbk...."
     "...kcbbbbbbbk..."
     "..kkkkbbbbkkkk.."
     ".....kbbbbk....."
     ".....kbbbbk....."
     ".....kbbbbk....."
     ".....kbbbbk....."
     ".....kbbbbk....."
     ".....kkkkkk....."
     "................"
     "................"},
    {"<DN", 16, 16,
     "................"
     "................"
     ".....kkkkkk....."
     ".....kcbbbk....."
     ".....kcbbbk....."
     ".....kcbbbk....."
     ".....kcbbbk....."
     ".....kcbbbk....."
     "..kkkkcbbbkkkk.."
     "...kcbbbbbbbk..."
     "....kcbbbbbk...."
     ".....kcbbbk....."
     "......kcbk......"
     ".......kk......."
     "................"
     "................"},
    {"<FIRST", 16, 16,
     "................"
     "..kkkkkkkkkkkk.."
     "..knnnnnnnnnnk.."
     "..kkkkkkkkkkkk.."
     ".......kk......."
     "......kcbk......"
     ".....kcbbbk....."
     "....kcbbbbbk...."
     "...kcbbbbbbbk..."
     "..kkkkbbbbkkkk.."
     ".....kbbbbk....."
     ".....kbbbbk....."
     ".....kbbbbk....."
     ".....kkkkkk....."
     "................"
     "................"},
    {"<LAST", 16, 16,
     "................"
     "................"
     ".....kkkkkk....."
     ".....kcbbbk....."
     ".....kcbbbk....."
     ".....kcbbbk....."
     "..kkkkcbbbkkkk.."
     "...kcbbbbbbbk..."
     "....kcbbbbbk...."
     ".....kcbbbk....."
     "......kcbk......"
     ".......kk......."
     "..kkkkkkkkkkkk.."
     "..knnnnnnnnnnk.."
     "..kkkkkkkkkkkk.."
     "................"},
    {"<DEL", 16, 16,
     "................"
     "................"
     "..kk........kk.."
     ".kRrk......kRrk."
     ".krrrk....krrrk."
     "..krrrk..krrrk.."
     "...krrrkkrrrk..."
     "....krrrrrrk...."
     ".....krrrrk....."
     "....krrrrrrk...."
     "...krrrkkrrrk..."
     "..krrrk..krrrk.."
     ".krrrk....krrrk."
     ".krrk......krrk."
     "..kk........kk.."
     "................"},
};

// The default logo: a yellow "Z" on a navy tile with a white rim, 48 x 32.
Bitmap DrawLogo() {
  const int w = 48, h = 32;
  Bitmap bmp(w, h, PixelFromColorRef(kBuiltinBackground));
  DrawRectangle(bmp, {1, 1, w - 1, h - 1}, Pen{Rgb(255, 255, 255), 2}, Rgb(0, 0, 128));
  Pen stroke{Rgb(255, 200, 0), 4};
  DrawLine(bmp, 12, 8, 36, 8, stroke);
  DrawLine(bmp, 35, 9, 13, 23, stroke);
  DrawLine(bmp, 12, 24, 37, 24, stroke);
  // An orange spark in the corner.
  FillRect(bmp, {38, 5, 42, 9}, Rgb(230, 120, 0));
  return bmp;
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

Bitmap FromArt(const Art& art) {
  Bitmap bmp(art.width, art.height);
  for (int y = 0; y < art.height; ++y)
    for (int x = 0; x < art.width; ++x)
      bmp.at(x, y) = PixelFromColorRef(ArtColor(art.rows[y * art.width + x]));
  return bmp;
}

}  // namespace

bool IsBuiltinBitmapName(const std::string& name) { return !name.empty() && name[0] == '<'; }

std::optional<Bitmap> LoadBuiltinBitmap(const std::string& name) {
  std::string key = Upper(name);
  if (key == "<LOGO") return DrawLogo();
  for (const Art& art : kIcons)
    if (key == art.name) return FromArt(art);
  return std::nullopt;
}

std::vector<std::string> BuiltinBitmapNames() {
  std::vector<std::string> names{"<LOGO"};
  for (const Art& art : kIcons) names.push_back(art.name);
  return names;
}

std::optional<PackedDib> FindBitmapResource(const std::string& name) {
  std::string key = Upper(name);
  if (key == "ZERARIVE.B8") {
    // The logo over a colour ramp, so the resource uses many of its 256 entries.
    Bitmap bmp(96, 48);
    for (int y = 0; y < bmp.height; ++y)
      for (int x = 0; x < bmp.width; ++x)
        bmp.at(x, y) = PixelFromColorRef(Rgb(uint8_t(x * 255 / 95), uint8_t(y * 255 / 47), 160));
    Bitmap logo = DrawLogo();
    BitBlt(bmp, 24, 8, logo.width, logo.height, logo, 0, 0, SRCCOPY);
    return DibFromBitmapAtDepth(bmp, 8, &DefaultPalette256());
  }
  if (key == "ZERARIVE.B4") {
    // The 16 basic colours lead the default palette.
    Palette basic(DefaultPalette256().begin(), DefaultPalette256().begin() + 16);
    return DibFromBitmapAtDepth(DrawLogo(), 4, &basic);
  }
  return std::nullopt;
}

std::vector<std::string> BitmapResourceNames() { return {"ZERARIVE.B4", "ZERARIVE.B8"}; }

}  // namespace zr
