// Project reader: any bytes must read without a crash or a large allocation, and a project
// that reads cleanly must store and read back to the same rows.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/archive.h"
#include "app/document.h"

namespace {

std::string Rows(const zr::CTorvexerDoc& doc) {
  std::string s;
  for (int r = 1; r <= doc.frames.FrameCount(); ++r) {
    const std::string& name = doc.frames.Name(r);
    s += name + '\0' + doc.GetImagePath(name) + '\0' + doc.frames.Text(r, 1) + '\n';
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  zr::CTorvexerDoc doc;
  zr::Archive in(bytes);
  if (doc.Serialize(in) != zr::ProjectRead::Ok) return 0;

  zr::Archive out;
  doc.Serialize(out);
  zr::CTorvexerDoc back;
  zr::Archive again(out.bytes());
  // Older versions read with count 1 and no sound; what we write is version 30 and must
  // give the same rows, fps, depth and sound.
  if (back.Serialize(again) != zr::ProjectRead::Ok || Rows(back) != Rows(doc) ||
      back.nFps != doc.nFps || back.nBpp != doc.nBpp || back.sSoundFile != doc.sSoundFile)
    std::abort();
  return 0;
}
