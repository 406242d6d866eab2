// The program's texts of AVI output: string-table entries by id and the fixed literals.
#pragma once

#include <cstdint>
#include <string>

namespace zr {

// String-table ids of the AVI error texts.
constexpr int IDS_NO_BITMAPS = 61206;
constexpr int IDS_OLD_VFW = 61207;
constexpr int IDS_BADFORMAT = 61208;
constexpr int IDS_MEMORY = 61209;
constexpr int IDS_FILEREAD = 61210;
constexpr int IDS_FILEOPEN = 61211;
constexpr int IDS_CLASSNOTREG = 61212;
constexpr int IDS_UNSUPPORTED = 61213;
constexpr int IDS_INTERNAL = 61214;
constexpr int IDS_BADFLAGS = 61215;
constexpr int IDS_BADPARAM = 61216;
constexpr int IDS_BADSIZE = 61217;
constexpr int IDS_BADHANDLE = 61218;
constexpr int IDS_FILEWRITE = 61219;
constexpr int IDS_COMPRESSOR = 61220;
constexpr int IDS_NOCOMPRESSOR = 61221;
constexpr int IDS_READONLY = 61222;
constexpr int IDS_NODATA = 61223;
constexpr int IDS_BUFFERTOOSMALL = 61224;
constexpr int IDS_CANTCOMPRESS = 61225;
constexpr int IDS_USERABORT = 61226;
constexpr int IDS_GENERIC = 61227;

// The string-table id for a writer's nError (1, 2, or an AVI result code).
int ErrorMessageId(int32_t code);
// The text of one of the ids above ("" for others).
const char* AviMessageText(int id);
// "Codec error (%d): %s" with the code and its text.
std::string CodecErrorMessage(int32_t code);

inline constexpr const char* kCouldNotLoad = "Could not load ";
inline constexpr const char* kMergeFailed = "File open error: merging streams failed";
inline constexpr const char* kRestartProgram = "Codec error: please restart the program";
inline constexpr const char* kStatusCompleted = "AVI stream completed";
inline constexpr const char* kStatusNotSaved = "AVI stream not saved";
inline constexpr const char* kStatusMerging = "Merging...";
// The outcome of any long operation stopped by the user's Cancel or a signal.
inline constexpr const char* kStatusCancelled = "Cancelled";
inline constexpr const char* kSoundExtracted = "Sound file extracted";
// "22 images written to FOLDER" ("1 image ..."): the outcome of a morph or an extraction.
std::string ImagesWrittenText(size_t count, const std::string& folder);
// The fixed line the status bar shows once an AVI is made.
inline constexpr const char* kStatusDone = "Made with Wombrel Zerarive";

}  // namespace zr
