// Shared by the export encoders.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/export/export_encoder.h"

struct SwsContext;

namespace zr {

inline constexpr const char* kCannotCreate = "cannot be created: ";

std::unique_ptr<ExportEncoder> OpenFfmpegExport(const ExportSettings& settings,
                                                const std::string& path, std::string& error);
std::unique_ptr<ExportEncoder> OpenWebpExport(const ExportSettings& settings,
                                              const std::string& path, std::string& error);

// Full-range RGB in, BT.601 limited-range YCbCr out: what the video files are tagged with.
void SetRgbToBt601Limited(SwsContext* sws);
// `picture` grown to width x height by repeating its last column and row.
void PadByRepeating(const Bitmap& picture, int width, int height, std::vector<Pixel>& out);
std::string MissingEncoder(const std::string& codec, ExportFormat format);

}  // namespace zr
