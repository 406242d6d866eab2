// Handle bookkeeping and the calls that only dispatch to the objects.
#include <cstdlib>
#include <cstring>

#include "platform/avifile/avifile_internal.h"
#include "platform/host.h"
#include "platform/paths.h"

namespace zr {

uint32_t FourCCFromString(const std::string& text) {
  char c[4] = {' ', ' ', ' ', ' '};
  for (size_t i = 0; i < 4 && i < text.size(); ++i) c[i] = text[i];
  return MakeFourCC(c[0], c[1], c[2], c[3]);
}

std::string FourCCToString(uint32_t fourcc) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) {
    char ch = char((fourcc >> (8 * i)) & 0xFF);
    s[i] = (ch >= 32 && ch < 127) ? ch : '?';
  }
  return s;
}

uint32_t VideoForWindowsVersion() { return kVideoServicesVersion; }

void* AviAlloc(size_t bytes) { return std::calloc(bytes ? bytes : 1, 1); }
void AviFree(void* block) { std::free(block); }

// FFmpeg reports to stderr by default; our callers get codes and show their own texts.
static void QuietLibraries() {
  static const bool done = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)done;
}

void AVIFileInit() { QuietLibraries(); }
void AVIFileExit() {}

std::string AviErrorName(HRESULT code) {
  switch (code) {
    case AVIERR_OK: return "AVIERR_OK";
    case AVIERR_UNSUPPORTED: return "AVIERR_UNSUPPORTED";
    case AVIERR_BADFORMAT: return "AVIERR_BADFORMAT";
    case AVIERR_MEMORY: return "AVIERR_MEMORY";
    case AVIERR_INTERNAL: return "AVIERR_INTERNAL";
    case AVIERR_BADFLAGS: return "AVIERR_BADFLAGS";
    case AVIERR_BADPARAM: return "AVIERR_BADPARAM";
    case AVIERR_BADSIZE: return "AVIERR_BADSIZE";
    case AVIERR_BADHANDLE: return "AVIERR_BADHANDLE";
    case AVIERR_FILEREAD: return "AVIERR_FILEREAD";
    case AVIERR_FILEWRITE: return "AVIERR_FILEWRITE";
    case AVIERR_FILEOPEN: return "AVIERR_FILEOPEN";
    case AVIERR_COMPRESSOR: return "AVIERR_COMPRESSOR";
    case AVIERR_NOCOMPRESSOR: return "AVIERR_NOCOMPRESSOR";
    case AVIERR_READONLY: return "AVIERR_READONLY";
    case AVIERR_NODATA: return "AVIERR_NODATA";
    case AVIERR_BUFFERTOOSMALL: return "AVIERR_BUFFERTOOSMALL";
    case AVIERR_CANTCOMPRESS: return "AVIERR_CANTCOMPRESS";
    case AVIERR_USERABORT: return "AVIERR_USERABORT";
    case AVIERR_ERROR: return "AVIERR_ERROR";
    case REGDB_E_CLASSNOTREG: return "REGDB_E_CLASSNOTREG";
    default: return "error " + std::to_string(code);
  }
}

std::string MidiSoundFont() {
#ifdef ZR_SOUNDFONT
  return ZR_SOUNDFONT;
#else
  return "/usr/share/sounds/sf2/TimGM6mb.sf2";
#endif
}

// ---- reference counts ----

static void DestroyFile(AviFileObject* file) { delete file; }

void StreamAddRef(AviStreamObject* s) {
  if (s->refs.fetch_add(1) == 0 && s->file) s->file->refs.fetch_add(1);
}

uint32_t StreamRelease(AviStreamObject* s) {
  int left = s->refs.fetch_sub(1) - 1;
  if (left > 0) return uint32_t(left);
  if (s->file) {
    AVIFileRelease(s->file);  // may destroy the stream with its file
  } else {
    delete s;
  }
  return 0;
}

uint32_t AVIFileAddRef(PAVIFILE file) {
  if (!file) return 0;
  return uint32_t(file->refs.fetch_add(1) + 1);
}

uint32_t AVIFileRelease(PAVIFILE file) {
  if (!file) return 0;
  int left = file->refs.fetch_sub(1) - 1;
  if (left > 0) return uint32_t(left);
  file->Finish();
  DestroyFile(file);
  return 0;
}

HRESULT AVIFileClose(PAVIFILE file, int* systemError) {
  if (systemError) *systemError = 0;
  if (!file) return AVIERR_BADHANDLE;
  int left = file->refs.fetch_sub(1) - 1;
  if (left > 0) return AVIERR_OK;
  HRESULT hr = file->Finish();
  if (systemError) *systemError = file->systemError;
  DestroyFile(file);
  return hr;
}

void AVIFileAbandon(PAVIFILE file) {
  if (file) file->Abandon();
}

uint32_t AVIStreamAddRef(PAVISTREAM stream) {
  if (!stream) return 0;
  StreamAddRef(stream);
  return uint32_t(stream->refs.load());
}

uint32_t AVIStreamRelease(PAVISTREAM stream) {
  if (!stream) return 0;
  return StreamRelease(stream);
}

// ---- dispatch ----

HRESULT AVIFileOpen(PAVIFILE* file, const std::string& path, uint32_t mode, const void* handler,
                    int* systemError) {
  int unused = 0;
  int& error = systemError ? *systemError : unused;
  error = 0;
  if (!file) return AVIERR_BADPARAM;
  *file = nullptr;
  if (handler) return AVIERR_UNSUPPORTED;
  QuietLibraries();
  if (mode & (OF_CREATE | OF_WRITE)) {
    if ((mode & OF_CREATE) == 0) return AVIERR_READONLY;  // no editing of existing files
    return OpenWriteFile(path, file, &error);
  }
  return OpenReadFile(path, file);
}

HRESULT AviOpenMidi(PAVIFILE* file, const std::string& path, const std::string& soundFont,
                    MidiFault* fault) {
  if (!file) return AVIERR_BADPARAM;
  *file = nullptr;
  return OpenMidiFile(path, soundFont, file, avi::kMaxMidiSeconds, fault);
}

HRESULT AVIFileInfo(PAVIFILE file, AVIFILEINFO* info, int32_t size) {
  if (!file) return AVIERR_BADHANDLE;
  if (!info || size < 0) return AVIERR_BADPARAM;
  AVIFILEINFO full;
  HRESULT hr = file->Info(full);
  std::memcpy(info, &full, std::min<size_t>(size_t(size), sizeof full));
  return hr;
}

HRESULT AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, uint32_t fccType, int32_t index) {
  if (!stream) return AVIERR_BADPARAM;
  *stream = nullptr;
  if (!file) return AVIERR_BADHANDLE;
  if (index < 0) return AVIERR_NODATA;
  int32_t seen = 0;
  for (auto& s : file->streams) {
    if (fccType != 0 && s->info.fccType != fccType) continue;
    if (seen++ == index) {
      StreamAddRef(s.get());
      *stream = s.get();
      return AVIERR_OK;
    }
  }
  return AVIERR_NODATA;
}

HRESULT AVIFileCreateStream(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFO* info) {
  if (!stream) return AVIERR_BADPARAM;
  *stream = nullptr;
  if (!file) return AVIERR_BADHANDLE;
  if (!info) return AVIERR_BADPARAM;
  return file->CreateStream(*info, stream);
}

HRESULT AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source,
                                const AVICOMPRESSOPTIONS* options, const void* handler) {
  if (!compressed) return AVIERR_BADPARAM;
  *compressed = nullptr;
  if (!source) return AVIERR_BADHANDLE;
  if (!options || handler) return AVIERR_BADPARAM;
  return MakeCompressedStream(source, *options, compressed);
}

HRESULT AVIStreamInfo(PAVISTREAM stream, AVISTREAMINFO* info, int32_t size) {
  if (!stream) return AVIERR_BADHANDLE;
  if (!info || size < 0) return AVIERR_BADPARAM;
  AVISTREAMINFO full = stream->info;
  full.dwLength = uint32_t(std::max(0, stream->Length()));
  std::memcpy(info, &full, std::min<size_t>(size_t(size), sizeof full));
  return AVIERR_OK;
}

int32_t AVIStreamStart(PAVISTREAM stream) { return stream ? int32_t(stream->info.dwStart) : -1; }
int32_t AVIStreamLength(PAVISTREAM stream) { return stream ? stream->Length() : -1; }

HRESULT AviStreamObject::ReadFormat(int32_t, void* buffer, int32_t* size) {
  if (!size) return AVIERR_BADPARAM;
  if (!buffer) {
    *size = int32_t(format.size());
    return AVIERR_OK;
  }
  if (*size < 0) return AVIERR_BADPARAM;
  int32_t n = std::min<int32_t>(*size, int32_t(format.size()));
  if (n > 0) std::memcpy(buffer, format.data(), size_t(n));
  *size = n;
  return AVIERR_OK;
}

HRESULT AVIStreamReadFormat(PAVISTREAM stream, int32_t pos, void* format, int32_t* size) {
  if (!stream) return AVIERR_BADHANDLE;
  return stream->ReadFormat(pos, format, size);
}

HRESULT AVIStreamSetFormat(PAVISTREAM stream, int32_t pos, const void* format, int32_t size) {
  if (!stream) return AVIERR_BADHANDLE;
  if (!format || size <= 0 || size > avi::kMaxFormatBytes) return AVIERR_BADPARAM;
  return stream->SetFormat(pos, format, size);
}

HRESULT AVIStreamRead(PAVISTREAM stream, int32_t start, int32_t samples, void* buffer,
                      int32_t bufferSize, int32_t* bytesRead, int32_t* samplesRead) {
  if (bytesRead) *bytesRead = 0;
  if (samplesRead) *samplesRead = 0;
  if (!stream) return AVIERR_BADHANDLE;
  if (start < 0 || samples < 0 || bufferSize < 0) return AVIERR_BADPARAM;
  return stream->Read(start, samples, buffer, bufferSize, bytesRead, samplesRead);
}

HRESULT AVIStreamWrite(PAVISTREAM stream, int32_t start, int32_t samples, const void* buffer,
                       int32_t bufferSize, uint32_t flags, int32_t* samplesWritten,
                       int32_t* bytesWritten) {
  if (samplesWritten) *samplesWritten = 0;
  if (bytesWritten) *bytesWritten = 0;
  if (!stream) return AVIERR_BADHANDLE;
  if (start < 0 || samples <= 0 || !buffer || bufferSize <= 0) return AVIERR_BADPARAM;
  return stream->Write(start, samples, buffer, bufferSize, flags, samplesWritten, bytesWritten);
}

PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM stream, const BitmapInfoHeader* wanted) {
  if (!stream) return nullptr;
  return stream->GetFrameOpen(wanted);
}

HRESULT AVISaveOptionsFree(int count, AVICOMPRESSOPTIONS** options) {
  if (count < 0 || (count > 0 && !options)) return AVIERR_BADPARAM;
  for (int i = 0; i < count; ++i) {
    AVICOMPRESSOPTIONS* o = options[i];
    if (!o) continue;
    AviFree(o->lpFormat);
    AviFree(o->lpParms);
    o->lpFormat = nullptr;
    o->cbFormat = 0;
    o->lpParms = nullptr;
    o->cbParms = 0;
  }
  return AVIERR_OK;
}

bool AVISaveOptions(Host& host, uint32_t, int streamCount, PAVISTREAM*,
                    AVICOMPRESSOPTIONS** options) {
  if (streamCount < 1 || !options || !options[0]) return false;
  return host.EditCompressOptions(*options[0]);
}

AVPixelFormat DibPixelFormat(const BitmapInfoHeader& h) {
  if (h.biCompression != BI_RGB) return AV_PIX_FMT_NONE;
  switch (h.biBitCount) {
    case 8: return AV_PIX_FMT_PAL8;
    case 16: return AV_PIX_FMT_RGB555LE;
    case 24: return AV_PIX_FMT_BGR24;
    case 32: return AV_PIX_FMT_BGR0;
    default: return AV_PIX_FMT_NONE;
  }
}

void PaletteFromRgbQuads(const RgbQuad* table, uint32_t count, uint32_t out[256]) {
  for (uint32_t i = 0; i < 256; ++i) {
    RgbQuad q = i < count ? table[i] : RgbQuad{};
    out[i] = 0xFF000000u | (uint32_t(q.red) << 16) | (uint32_t(q.green) << 8) | q.blue;
  }
}

}  // namespace zr
