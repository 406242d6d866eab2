#include "image/formats.h"

namespace zr {

std::string FaultDetail(const char* format, const char* text, int64_t at,
                        const std::optional<int64_t>& value, const std::string& note) {
  std::string detail = std::string(format) + ": " + text;
  if (value) detail += " " + std::to_string(*value);
  if (!note.empty()) detail += " (" + note + ")";
  if (at >= 0) detail += " at byte " + std::to_string(at);
  return detail;
}

}  // namespace zr
