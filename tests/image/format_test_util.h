// Helpers for the format tests: PackedDib pixels as RGB, and ImageMagick as the reference
// encoder and decoder (a black box run through its command line).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "image/formats.h"
#include "support/temp_dir.h"

namespace zr::test {

struct RgbImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // top-down, 3 bytes a pixel
  bool operator==(const RgbImage&) const = default;
};

inline RgbImage DibToRgb(const PackedDib& dib) {
  RgbImage out{dib.width(), dib.height(), {}};
  out.rgb.reserve(size_t(out.width) * size_t(out.height) * 3);
  auto table = dib.colorTable();
  auto entry = [&](uint32_t i) { return i < table.size() ? table[i] : RgbQuad{}; };
  for (int y = 0; y < out.height; ++y) {
    const uint8_t* row = dib.rowFromTop(y);
    for (int x = 0; x < out.width; ++x) {
      RgbQuad q;
      switch (dib.bitCount()) {
        case 1:
          q = entry((row[x / 8] >> (7 - x % 8)) & 1);
          break;
        case 4:
          q = entry(x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4);
          break;
        case 8:
          q = entry(row[x]);
          break;
        default: {
          const uint8_t* p = row + size_t(x) * size_t(dib.bitCount() / 8);
          q = RgbQuad{p[0], p[1], p[2], 0};
        }
      }
      out.rgb.insert(out.rgb.end(), {q.red, q.green, q.blue});
    }
  }
  return out;
}

inline ByteSpan AsSpan(const std::string& s) {
  return ByteSpan(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// Gradients only: lossy coders keep these well.
inline RgbImage SmoothPicture(int width, int height) {
  RgbImage img{width, height, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      img.rgb.insert(img.rgb.end(), {uint8_t(40 + x * 150 / width), uint8_t(200 - y * 150 / height),
                                     uint8_t(90 + (x + y) * 60 / (width + height))});
  return img;
}

// A picture with smooth gradients, edges and a few flat areas.
inline RgbImage TestPicture(int width, int height) {
  RgbImage img{width, height, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      bool box = x > width / 4 && x < width / 2 && y > height / 3;
      img.rgb.push_back(box ? 250 : uint8_t(x * 255 / std::max(1, width - 1)));
      img.rgb.push_back(box ? 20 : uint8_t(y * 255 / std::max(1, height - 1)));
      img.rgb.push_back(uint8_t((x * 7 + y * 13) & 0xFF));
    }
  return img;
}

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

inline bool WritePpm(const RgbImage& img, const std::string& path) {
  std::string bytes =
      "P6\n" + std::to_string(img.width) + " " + std::to_string(img.height) + "\n255\n";
  bytes.append(img.rgb.begin(), img.rgb.end());
  return WriteBytes(path, bytes);
}

// ImageMagick writes `img` to `out` (which may start with a format prefix such as
// "PNG24:") with the given options (between input and output).
inline bool MagickEncode(const RgbImage& img, const std::string& options, const std::string& out) {
  std::string ppm = out.substr(out.find('/')) + ".src.ppm";
  if (!WritePpm(img, ppm)) return false;
  std::string log;
  int rc = RunCommand("convert " + Quote(ppm) + " " + options + " " + Quote(out) + " 2>&1", &log);
  std::remove(ppm.c_str());
  if (rc != 0) ADD_FAILURE() << "convert failed: " << log;
  return rc == 0;
}

// ImageMagick's decode of `file` (add "[1]" for a second page) as 8-bit RGB.
inline std::optional<RgbImage> MagickDecode(const std::string& file, const std::string& out) {
  std::string log;
  if (RunCommand(
          "convert " + Quote(file) + " -depth 8 -type TrueColor " + Quote("ppm:" + out) + " 2>&1",
          &log) != 0) {
    ADD_FAILURE() << "convert failed: " << log;
    return std::nullopt;
  }
  std::string bytes = ReadBytes(out);
  int w = 0, h = 0, maxval = 0, used = 0;
  if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &w, &h, &maxval, &used) != 3) return std::nullopt;
  RgbImage img{w, h, {}};
  size_t start = size_t(used) + 1;
  if (bytes.size() < start + size_t(w) * size_t(h) * 3) return std::nullopt;
  img.rgb.assign(bytes.begin() + long(start),
                 bytes.begin() + long(start + size_t(w) * size_t(h) * 3));
  return img;
}

// ffmpeg's decode of `file`, a picture of the given size, as 8-bit RGB.
inline std::optional<RgbImage> FfmpegDecode(const std::string& file, int width, int height,
                                            const std::string& out) {
  std::string log;
  if (RunCommand("ffmpeg -nostdin -loglevel error -y -i " + Quote(file) +
                     " -f rawvideo -pix_fmt rgb24 " + Quote(out) + " 2>&1",
                 &log) != 0) {
    ADD_FAILURE() << "ffmpeg failed: " << log;
    return std::nullopt;
  }
  std::string bytes = ReadBytes(out);
  if (bytes.size() != size_t(width) * size_t(height) * 3) return std::nullopt;
  return RgbImage{width, height, std::vector<uint8_t>(bytes.begin(), bytes.end())};
}

inline double Psnr(const RgbImage& a, const RgbImage& b) {
  if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) {
    double d = double(a.rgb[i]) - double(b.rgb[i]);
    sum += d * d;
  }
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * double(a.rgb.size()) / sum);
}

// Largest difference of any sample.
inline int MaxDifference(const RgbImage& a, const RgbImage& b) {
  if (a.rgb.size() != b.rgb.size()) return 256;
  int worst = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i)
    worst = std::max(worst, std::abs(int(a.rgb[i]) - int(b.rgb[i])));
  return worst;
}

// Count of pixels that differ, for readable failures.
inline size_t DifferingPixels(const RgbImage& a, const RgbImage& b) {
  if (a.rgb.size() != b.rgb.size()) return size_t(-1);
  size_t n = 0;
  for (size_t i = 0; i + 2 < a.rgb.size(); i += 3)
    n += a.rgb[i] != b.rgb[i] || a.rgb[i + 1] != b.rgb[i + 1] || a.rgb[i + 2] != b.rgb[i + 2];
  return n;
}

#define EXPECT_SAME_PICTURE(a, b)                                            \
  do {                                                                       \
    EXPECT_EQ((a).width, (b).width);                                         \
    EXPECT_EQ((a).height, (b).height);                                       \
    EXPECT_EQ(::zr::test::DifferingPixels((a), (b)), 0u) << "pixels differ"; \
  } while (0)

}  // namespace zr::test
