// Quick AVI Create: an AVI straight from a folder of numbered images Img0001, Img0002, ...
// with one common extension, without going through the project.
#pragma once

#include <functional>
#include <string>

#include "platform/avifile/avifile.h"

namespace zr {

class Host;

class CBmp;

// The spelling of the numbered images found in a folder: "<folder>/<prefix>%04d<ext>".
struct QuickAviPattern {
  std::string folder;     // with trailing '/'
  std::string prefix;     // "Img" as spelled on disk
  std::string extension;  // ".bmp" as spelled on disk
  std::string Name(int number) const;
};

// Probes for Img0001 with the extensions in their fixed order (.bmp, .dib, .gif, .jpg,
// .jpeg, .pcx, .png, .rle, .tga, .tif, .tiff); the first found wins. Names differing only
// in letter case (IMG0001.JPG) are found too, the exact spelling "Img0001.bmp" first.
// False when there is none.
bool FindQuickAviImages(const std::string& folder, QuickAviPattern& pattern);

// Number of consecutive images from 1 on (the list ends at the first gap).
int CountQuickAviImages(const QuickAviPattern& pattern);

struct QuickAviRequest {
  std::string folder;
  std::string sound;  // optional
  std::string output;
  int fps = 10;
  int bpp = 24;
  AVICOMPRESSOPTIONS options;
  std::function<void(CBmp&)> applyLogo;  // the document's logo; may be empty
  std::string programFolder;             // where "hltemp.avi" goes when there is a sound
};

// Writes the AVI (through "hltemp.avi" and a merge when there is a sound). Status texts
// and messages go to the Host. True when `output` was made (then show it).
bool QuickAviCreate(Host& host, const QuickAviRequest& request);

}  // namespace zr
