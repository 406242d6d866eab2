// The AVI file library: the handful of operations the program uses to read and write
// AVI, WAV and MIDI files, with the result codes and records callers already know.
// Built over FFmpeg's libraries; nothing outside src/platform/avifile sees FFmpeg.
//
// Handles are reference counted. A stream keeps its file alive, so a caller may release
// the file and go on using streams it got from it. Every call that takes a handle accepts
// nullptr and answers AVIERR_BADHANDLE. Sample indexes: video streams count frames,
// audio streams count blocks of nBlockAlign bytes (dwSampleSize of the stream header).
//
// Threads: one handle must not be used from two threads at once; distinct files are
// independent, so the MPEG converter may run several conversions side by side.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dib.h"

namespace zr {

using HRESULT = int32_t;

constexpr HRESULT MakeAviErr(int code) { return HRESULT(0x80044000u | uint32_t(code)); }
constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT AVIERR_UNSUPPORTED = MakeAviErr(101);
constexpr HRESULT AVIERR_BADFORMAT = MakeAviErr(102);
constexpr HRESULT AVIERR_MEMORY = MakeAviErr(103);
constexpr HRESULT AVIERR_INTERNAL = MakeAviErr(104);
constexpr HRESULT AVIERR_BADFLAGS = MakeAviErr(105);
constexpr HRESULT AVIERR_BADPARAM = MakeAviErr(106);
constexpr HRESULT AVIERR_BADSIZE = MakeAviErr(107);
constexpr HRESULT AVIERR_BADHANDLE = MakeAviErr(108);
constexpr HRESULT AVIERR_FILEREAD = MakeAviErr(109);
constexpr HRESULT AVIERR_FILEWRITE = MakeAviErr(110);
constexpr HRESULT AVIERR_FILEOPEN = MakeAviErr(111);
constexpr HRESULT AVIERR_COMPRESSOR = MakeAviErr(112);
constexpr HRESULT AVIERR_NOCOMPRESSOR = MakeAviErr(113);
constexpr HRESULT AVIERR_READONLY = MakeAviErr(114);
constexpr HRESULT AVIERR_NODATA = MakeAviErr(115);
constexpr HRESULT AVIERR_BUFFERTOOSMALL = MakeAviErr(116);
constexpr HRESULT AVIERR_CANTCOMPRESS = MakeAviErr(117);
constexpr HRESULT AVIERR_USERABORT = MakeAviErr(198);
constexpr HRESULT AVIERR_ERROR = MakeAviErr(199);
// No handler for the file type (the extension) of a file to create.
constexpr HRESULT REGDB_E_CLASSNOTREG = HRESULT(0x80040154u);

// Four-character codes as stored in the file: first character in the low byte.
constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | (uint32_t(uint8_t(b)) << 8) | (uint32_t(uint8_t(c)) << 16) |
         (uint32_t(uint8_t(d)) << 24);
}
uint32_t FourCCFromString(const std::string& text);  // first four chars, blank-padded
std::string FourCCToString(uint32_t fourcc);         // four chars, unprintable as '?'

constexpr uint32_t streamtypeVIDEO = MakeFourCC('v', 'i', 'd', 's');
constexpr uint32_t streamtypeAUDIO = MakeFourCC('a', 'u', 'd', 's');
constexpr uint32_t streamtypeMIDI = MakeFourCC('m', 'i', 'd', 's');
constexpr uint32_t streamtypeTEXT = MakeFourCC('t', 'x', 't', 's');

// AVIFileOpen modes.
constexpr uint32_t OF_READ = 0x0000;
constexpr uint32_t OF_WRITE = 0x0001;
constexpr uint32_t OF_CREATE = 0x1000;

// AVIStreamWrite flags.
constexpr uint32_t AVIIF_KEYFRAME = 0x10;

// AVICOMPRESSOPTIONS.dwFlags.
constexpr uint32_t AVICOMPRESSF_INTERLEAVE = 0x01;
constexpr uint32_t AVICOMPRESSF_DATARATE = 0x02;
constexpr uint32_t AVICOMPRESSF_KEYFRAMES = 0x04;
constexpr uint32_t AVICOMPRESSF_VALID = 0x08;

// Video services version: major * 256 + minor in the high 16 bits.
constexpr uint32_t kVideoServicesVersion = 0x010A0000;
uint32_t VideoForWindowsVersion();

#pragma pack(push, 1)
struct AviRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct AVIFILEINFO {
  uint32_t dwMaxBytesPerSec = 0;
  uint32_t dwFlags = 0;
  uint32_t dwCaps = 0;
  uint32_t dwStreams = 0;  // all streams, every type
  uint32_t dwSuggestedBufferSize = 0;
  uint32_t dwWidth = 0;  // of the first video stream
  uint32_t dwHeight = 0;
  uint32_t dwScale = 0;  // rate = dwRate / dwScale frames per second
  uint32_t dwRate = 0;
  uint32_t dwLength = 0;  // frames of the first video stream
  uint32_t dwEditCount = 0;
  char szFileType[64] = {};
};

struct AVISTREAMINFO {
  uint32_t fccType = 0;
  uint32_t fccHandler = 0;
  uint32_t dwFlags = 0;
  uint32_t dwCaps = 0;
  uint16_t wPriority = 0;
  uint16_t wLanguage = 0;
  uint32_t dwScale = 0;
  uint32_t dwRate = 0;
  uint32_t dwStart = 0;
  uint32_t dwLength = 0;  // in samples (frames for video)
  uint32_t dwInitialFrames = 0;
  uint32_t dwSuggestedBufferSize = 0;
  uint32_t dwQuality = 0;
  uint32_t dwSampleSize = 0;  // bytes per sample; 0 for video
  AviRect rcFrame;
  uint32_t dwEditCount = 0;
  uint32_t dwFormatChangeCount = 0;
  char szName[64] = {};
};

// What a sound stream's format starts with; cbSize extra bytes follow it.
struct WAVEFORMATEX {
  uint16_t wFormatTag = 0;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 0;
  uint16_t wBitsPerSample = 0;
  uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(AVIFILEINFO) == 108);
static_assert(sizeof(AVISTREAMINFO) == 140);
static_assert(sizeof(WAVEFORMATEX) == 18);

constexpr uint16_t WAVE_FORMAT_PCM = 1;

struct AVICOMPRESSOPTIONS {
  uint32_t fccType = 0;
  uint32_t fccHandler = 0;
  uint32_t dwKeyFrameEvery = 0;
  uint32_t dwQuality = 0;  // 0..10000, or 0xFFFFFFFF for the compressor's default
  uint32_t dwBytesPerSecond = 0;
  uint32_t dwFlags = 0;
  void* lpFormat = nullptr;  // allocated with AviAlloc; freed by AVISaveOptionsFree
  uint32_t cbFormat = 0;
  void* lpParms = nullptr;
  uint32_t cbParms = 0;
  uint32_t dwInterleaveEvery = 0;
};

// Blocks handed over in AVICOMPRESSOPTIONS (zero-filled).
void* AviAlloc(size_t bytes);
void AviFree(void* block);

struct AviFileObject;
struct AviStreamObject;
struct AviGetFrameObject;
using PAVIFILE = AviFileObject*;
using PAVISTREAM = AviStreamObject*;
using PGETFRAME = AviGetFrameObject*;

// Library lifetime. The layer works without them; they exist for callers that pair them.
void AVIFileInit();
void AVIFileExit();

// Opens `path`. mode OF_READ (0): an existing AVI, WAV or MIDI file (MIDI is rendered to
// 44.1 kHz 16-bit stereo PCM when opened). OF_CREATE | OF_WRITE: a new file whose type
// follows the extension (".avi"; anything else gives REGDB_E_CLASSNOTREG); an existing
// file of that name is replaced when the file is complete (the last release). `handler`
// must be null. On AVIERR_FILEOPEN, *systemError (when given) holds the system's error
// number behind it (0 when there is none).
HRESULT AVIFileOpen(PAVIFILE* file, const std::string& path, uint32_t mode,
                    const void* handler = nullptr, int* systemError = nullptr);
uint32_t AVIFileAddRef(PAVIFILE file);
// Returns the remaining reference count. A file being written is finished (index and
// trailer written, temporary name renamed over `path`) when the file and every stream
// made from it are released.
uint32_t AVIFileRelease(PAVIFILE file);
// AVIFileRelease that reports how finishing went (disk full, rename failure ...):
// release the streams first, then close the file with this. *systemError (when given)
// receives the system's error number behind the file's last failed write, also one that
// failed a stream write before an abandon, 0 when there was none.
HRESULT AVIFileClose(PAVIFILE file, int* systemError = nullptr);
// Marks a file being written as unwanted: its temporary file is removed at the last
// release and nothing appears under its name.
void AVIFileAbandon(PAVIFILE file);

HRESULT AVIFileInfo(PAVIFILE file, AVIFILEINFO* info, int32_t size);
// The `index`-th stream of type fccType (0 = any type). AVIERR_NODATA when there is none.
HRESULT AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, uint32_t fccType, int32_t index);
HRESULT AVIFileCreateStream(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFO* info);

// A stream that compresses frames written to it with options->fccHandler (see
// AviCompressors) before they reach `source`. AVIERR_NOCOMPRESSOR for an unknown or
// unavailable FOURCC.
HRESULT AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source,
                                const AVICOMPRESSOPTIONS* options, const void* handler = nullptr);

uint32_t AVIStreamAddRef(PAVISTREAM stream);
uint32_t AVIStreamRelease(PAVISTREAM stream);

HRESULT AVIStreamInfo(PAVISTREAM stream, AVISTREAMINFO* info, int32_t size);
int32_t AVIStreamStart(PAVISTREAM stream);
int32_t AVIStreamLength(PAVISTREAM stream);  // -1 for a bad handle

// Video: a BITMAPINFOHEADER (+ colour table or codec data). Audio: a WAVEFORMATEX (+ cbSize
// bytes). With format == nullptr only *size is set to the bytes needed; otherwise up to
// *size bytes are copied and *size is set to the bytes copied.
HRESULT AVIStreamReadFormat(PAVISTREAM stream, int32_t pos, void* format, int32_t* size);
// Video: a BITMAPINFOHEADER + colour table (8 bits) for the frames written next.
HRESULT AVIStreamSetFormat(PAVISTREAM stream, int32_t pos, const void* format, int32_t size);

// Raw samples as stored (audio: in the stream's own format). buffer == nullptr asks only
// for the sizes. Reading past the end gives fewer samples (0 at the end), not an error.
HRESULT AVIStreamRead(PAVISTREAM stream, int32_t start, int32_t samples, void* buffer,
                      int32_t bufferSize, int32_t* bytesRead, int32_t* samplesRead);
// Video: one frame of bottom-up rows in the stream's format (set by AVIStreamSetFormat).
// Samples must be written in order; `start` must be the next index.
HRESULT AVIStreamWrite(PAVISTREAM stream, int32_t start, int32_t samples, const void* buffer,
                       int32_t bufferSize, uint32_t flags, int32_t* samplesWritten = nullptr,
                       int32_t* bytesWritten = nullptr);

// Frame decompression to packed BI_RGB DIBs. wanted == nullptr picks the stream's own
// depth (8 with its 256-entry colour table, 16 as 5-5-5, 24, or 32); a header asks for
// biBitCount 8, 16, 24 or 32. The returned DIB (header, table, rows) belongs to the
// object and stays valid until the next call on it. nullptr when the frame can't be had.
PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM stream, const BitmapInfoHeader* wanted = nullptr);
const BitmapInfoHeader* AVIStreamGetFrame(PGETFRAME getFrame, int32_t pos);
HRESULT AVIStreamGetFrameClose(PGETFRAME getFrame);

// Writes the streams into a new file at `path` whose type follows the extension (".avi" →
// AVI with every stream, ".wav" → WAV with the one audio stream), copying the samples
// unconverted. options[i] may be null; an audio record whose lpFormat differs from the
// stream's own format gives AVIERR_UNSUPPORTED (no conversion). Written through a
// temporary name, so a failure leaves an existing file untouched.
// `callback`, when given, hears the percentage done at the start and at least every
// 100 ms; true from it abandons the save with AVIERR_USERABORT. On AVIERR_FILEOPEN or
// AVIERR_FILEWRITE, *systemError (when given) holds the system's error number behind it.
using AVISAVECALLBACK = std::function<bool(int percent)>;
HRESULT AVISaveV(const std::string& path, const void* handler, AVISAVECALLBACK callback,
                 int streamCount, PAVISTREAM* streams, AVICOMPRESSOPTIONS** options,
                 int* systemError = nullptr);
HRESULT AVISave(const std::string& path, const void* handler, AVISAVECALLBACK callback,
                PAVISTREAM stream, AVICOMPRESSOPTIONS* options, int* systemError = nullptr);

// The compression-options dialog: asks `host` (Host::EditCompressOptions) to edit
// options[0]. True when the user confirmed.
class Host;
bool AVISaveOptions(Host& host, uint32_t flags, int streamCount, PAVISTREAM* streams,
                    AVICOMPRESSOPTIONS** options);
// Frees lpFormat / lpParms of each record and clears them.
HRESULT AVISaveOptionsFree(int count, AVICOMPRESSOPTIONS** options);

// ---- Our additions ----

// Owning handles: callers hold these so every path releases what it got.
struct AviFileReleaser {
  void operator()(PAVIFILE file) const { AVIFileRelease(file); }
};
struct AviStreamReleaser {
  void operator()(PAVISTREAM stream) const { AVIStreamRelease(stream); }
};
struct AviGetFrameCloser {
  void operator()(PGETFRAME getFrame) const { AVIStreamGetFrameClose(getFrame); }
};
using AviFilePtr = std::unique_ptr<AviFileObject, AviFileReleaser>;
using AviStreamPtr = std::unique_ptr<AviStreamObject, AviStreamReleaser>;
using AviGetFramePtr = std::unique_ptr<AviGetFrameObject, AviGetFrameCloser>;

// Fills an owning handle from a call with an out-parameter, at the end of the full
// expression: `AVIFileOpen(AviOut(file), path, OF_READ)`. Test the handle in a later
// statement: within the same expression it is still empty.
template <class Ptr>
class AviOutParam {
 public:
  explicit AviOutParam(Ptr& owner) : owner_(owner) {}
  ~AviOutParam() { owner_.reset(raw_); }
  AviOutParam(const AviOutParam&) = delete;
  AviOutParam& operator=(const AviOutParam&) = delete;
  operator typename Ptr::pointer*() { return &raw_; }

 private:
  Ptr& owner_;
  typename Ptr::pointer raw_ = nullptr;
};
template <class Ptr>
AviOutParam<Ptr> AviOut(Ptr& owner) {
  return AviOutParam<Ptr>(owner);
}

// AVIFileClose for an owned file: releases it and reports how finishing went.
inline HRESULT AviCloseFile(AviFilePtr file, int* systemError = nullptr) {
  return AVIFileClose(file.release(), systemError);
}

// A compressor the layer knows. `available` is false when the installed libavcodec
// cannot encode it.
struct AviCompressor {
  uint32_t fourcc;
  std::string name;         // "Video 1", "Uncompressed" ...
  bool available;
  bool hasQuality;          // honours dwQuality
  bool hasKeyFrames;        // honours dwKeyFrameEvery
  bool hasDataRate;         // honours dwBytesPerSecond
  std::vector<int> depths;  // input depths that reach it without loss of colours
};
const std::vector<AviCompressor>& AviCompressors();
constexpr uint32_t kCompressorVideo1 = MakeFourCC('m', 's', 'v', 'c');
constexpr uint32_t kCompressorDib = MakeFourCC('D', 'I', 'B', ' ');

// Text of a failure, for logs beside the coded messages ("AVIERR_NOCOMPRESSOR").
std::string AviErrorName(HRESULT code);

// MIDI files are rendered with this General MIDI sound font.
std::string MidiSoundFont();
// Why a MIDI file gave no sound, beside the result code AVIFileOpen returns for it.
enum class MidiError {
  None,
  CannotRead,    // missing, unreadable or past 16 MiB
  NotMidi,       // no "MThd" header (also inside a RIFF "RMID" wrapper)
  NoSoundFont,   // the sound font file is missing
  BadSoundFont,  // the synthesiser cannot load it
  BadSong,       // the synthesiser's player refuses the song
  OutOfMemory,
};
const char* MidiErrorText(MidiError error);
struct MidiFault {
  MidiError error = MidiError::None;
  int64_t at = -1;  // byte offset of the header looked for, when it applies
};
// "MIDI: no MThd header at byte 12".
std::string MidiFaultDetail(const MidiFault& fault);
// AVIFileOpen for reading a MIDI file with another sound font (tests of a missing font),
// and with the named fault.
HRESULT AviOpenMidi(PAVIFILE* file, const std::string& path, const std::string& soundFont,
                    MidiFault* fault = nullptr);

}  // namespace zr
