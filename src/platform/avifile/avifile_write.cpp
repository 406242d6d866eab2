// Writing AVI files: streams of raw DIB rows or PCM, and compressed streams that run
// frames through a libavcodec encoder first. The file is written under a temporary name
// and renamed over the target when it is complete.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/atomic_file.h"
#include "platform/avifile/avifile_internal.h"
#include "platform/paths.h"

namespace zr {

namespace {

struct WriteStreamObject;

struct WriteFileObject : AviFileObject {
  std::unique_ptr<AtomicFile> atomic;
  AVFormatContext* oc = nullptr;
  bool headerWritten = false;
  bool headerFailed = false;
  HRESULT writeError = AVIERR_OK;
  bool abandoned = false;

  ~WriteFileObject() override {
    if (oc) {
      if (oc->pb) avio_closep(&oc->pb);
      avformat_free_context(oc);
    }
  }
  HRESULT Info(AVIFILEINFO& info) override;
  HRESULT CreateStream(const AVISTREAMINFO& info, PAVISTREAM* out) override;
  HRESULT EnsureHeader();
  HRESULT Finish() override;
  void Abandon() override { abandoned = true; }
};

struct WriteStreamObject : AviStreamObject {
  WriteFileObject* wfile = nullptr;
  AVStream* st = nullptr;
  AVRational ourTimeBase{1, 1};  // dwScale / dwRate: one sample per tick
  bool hasFormat = false;
  int64_t next = 0;         // next sample index
  int64_t written = 0;      // samples stored (the stream's length)
  int blockAlign = 1;       // audio
  uint32_t frameBytes = 0;  // raw video: bytes of one frame
  bool paletted = false;
  uint32_t palette[256] = {};
  bool paletteSent = false;
  avi::PacketPtr pkt{av_packet_alloc()};  // reused for every sample
  AVBufferPool* pool = nullptr;           // packet data when the muxer may hold it back
  int poolBytes = 0;

  ~WriteStreamObject() override { av_buffer_pool_uninit(&pool); }
  int32_t Length() override { return int32_t(std::min<int64_t>(written, INT32_MAX)); }
  HRESULT SetFormat(int32_t pos, const void* format, int32_t size) override;
  HRESULT Write(int32_t start, int32_t samples, const void* buffer, int32_t bufferSize,
                uint32_t flags, int32_t* samplesWritten, int32_t* bytesWritten) override;
  // Stores one packet whose pts/dts count samples of this stream.
  HRESULT WritePacket(AVPacket* pkt);
  // The packet's data: the caller's own bytes when nothing can hold them past the call.
  HRESULT FillPacket(const void* buffer, int bytes);
};

HRESULT WriteFileObject::Info(AVIFILEINFO& info) {
  info = AVIFILEINFO{};
  info.dwStreams = uint32_t(streams.size());
  std::strncpy(info.szFileType, "AVI file", sizeof info.szFileType - 1);
  for (auto& s : streams) {
    if (s->info.fccType != streamtypeVIDEO) continue;
    info.dwWidth = uint32_t(s->info.rcFrame.right - s->info.rcFrame.left);
    info.dwHeight = uint32_t(s->info.rcFrame.bottom - s->info.rcFrame.top);
    info.dwScale = s->info.dwScale;
    info.dwRate = s->info.dwRate;
    info.dwLength = uint32_t(s->Length());
    break;
  }
  return AVIERR_OK;
}

HRESULT WriteFileObject::CreateStream(const AVISTREAMINFO& in, PAVISTREAM* out) {
  if (headerWritten) return AVIERR_UNSUPPORTED;
  if (in.fccType != streamtypeVIDEO && in.fccType != streamtypeAUDIO) return AVIERR_UNSUPPORTED;
  // A zero or negative rate (a wrapped frames-per-second value) has no clock.
  if (in.dwScale == 0 || in.dwRate == 0 || in.dwScale > INT32_MAX || in.dwRate > INT32_MAX) {
    return AVIERR_BADPARAM;
  }
  if (streams.size() >= 100) return AVIERR_UNSUPPORTED;
  AVStream* st = avformat_new_stream(oc, nullptr);
  if (!st) return AVIERR_MEMORY;
  auto s = std::make_unique<WriteStreamObject>();
  s->file = this;
  s->wfile = this;
  s->st = st;
  s->info = in;
  s->info.dwLength = 0;
  s->ourTimeBase = AVRational{int(in.dwScale), int(in.dwRate)};
  st->time_base = s->ourTimeBase;
  if (in.fccType == streamtypeVIDEO) {
    st->avg_frame_rate = AVRational{int(in.dwRate), int(in.dwScale)};
    st->r_frame_rate = st->avg_frame_rate;
  }
  StreamAddRef(s.get());
  *out = s.get();
  streams.push_back(std::move(s));
  return AVIERR_OK;
}

HRESULT WriteFileObject::EnsureHeader() {
  if (headerWritten) return AVIERR_OK;
  if (headerFailed) return writeError != AVIERR_OK ? writeError : AVIERR_FILEWRITE;
  for (auto& s : streams) {
    if (!static_cast<WriteStreamObject*>(s.get())->hasFormat) return AVIERR_BADFORMAT;
  }
  AVDictionary* opts = nullptr;
  // DIB rows arrive bottom-up and are stored as they come.
  av_dict_set(&opts, "flipped_raw_rgb", "1", 0);
  int r = avformat_write_header(oc, &opts);
  av_dict_free(&opts);
  if (r < 0) {
    headerFailed = true;
    writeError = WriteFailed(r, systemError);
    return writeError;
  }
  headerWritten = true;
  return AVIERR_OK;
}

HRESULT WriteFileObject::Finish() {
  HRESULT result = writeError;
  if (!abandoned && result == AVIERR_OK) {
    if (!headerWritten && EnsureHeader() != AVIERR_OK) result = AVIERR_NODATA;
    if (headerWritten) {
      if (int e = av_write_trailer(oc); e < 0) result = WriteFailed(e, systemError);
    }
  }
  if (oc && oc->pb) {
    if (oc->pb->error < 0 && result == AVIERR_OK) result = WriteFailed(oc->pb->error, systemError);
    if (int e = avio_closep(&oc->pb); e < 0 && result == AVIERR_OK)
      result = WriteFailed(e, systemError);
  }
  if (abandoned || result != AVIERR_OK) {
    atomic->Discard();
    return abandoned ? AVIERR_OK : result;
  }
  if (atomic->Commit()) return AVIERR_OK;
  systemError = atomic->error();
  return AVIERR_FILEWRITE;
}

// The video format both stream kinds accept: a DIB header of a depth we can store, within
// the caps, then the colour table it announces (8 bits only).
HRESULT ReadVideoFormat(const void* format, int32_t size, BitmapInfoHeader& h, AVPixelFormat& pf,
                        uint32_t palette[256], uint32_t& frameBytes) {
  if (size < int32_t(sizeof(BitmapInfoHeader))) return AVIERR_BADSIZE;
  std::memcpy(&h, format, sizeof h);
  pf = DibPixelFormat(h);
  if (pf == AV_PIX_FMT_NONE || !DibSizeAllowed(h.biWidth, h.biHeight)) return AVIERR_BADFORMAT;
  uint32_t colors = h.biBitCount == 8 ? (h.biClrUsed ? h.biClrUsed : 256) : 0;
  if (colors > 256 || uint32_t(size) < sizeof h + 4 * colors) return AVIERR_BADSIZE;
  if (colors) {
    PaletteFromRgbQuads(
        reinterpret_cast<const RgbQuad*>(static_cast<const uint8_t*>(format) + sizeof h), colors,
        palette);
  }
  frameBytes = uint32_t(DibStride(h.biWidth, h.biBitCount) * uint32_t(h.biHeight));
  return AVIERR_OK;
}

HRESULT WriteStreamObject::SetFormat(int32_t, const void* format, int32_t size) {
  if (wfile->headerWritten) return hasFormat ? AVIERR_OK : AVIERR_UNSUPPORTED;
  AVCodecParameters* p = st->codecpar;
  if (info.fccType == streamtypeVIDEO) {
    BitmapInfoHeader h;
    AVPixelFormat pf;
    if (HRESULT hr = ReadVideoFormat(format, size, h, pf, palette, frameBytes); hr != AVIERR_OK)
      return hr;
    paletted = h.biBitCount == 8;
    p->codec_type = AVMEDIA_TYPE_VIDEO;
    p->codec_id = AV_CODEC_ID_RAWVIDEO;
    p->codec_tag = 0;
    p->width = h.biWidth;
    p->height = h.biHeight;
    p->format = pf;
    p->bits_per_coded_sample = h.biBitCount;
    info.rcFrame = {0, 0, h.biWidth, h.biHeight};
  } else {
    if (size < int32_t(sizeof(WAVEFORMATEX)) - 2) return AVIERR_BADSIZE;
    WAVEFORMATEX w;
    std::memcpy(&w, format, std::min<size_t>(size_t(size), sizeof w));
    if (w.wFormatTag != WAVE_FORMAT_PCM || w.nChannels == 0 || w.nSamplesPerSec == 0 ||
        w.nSamplesPerSec > 1000000) {
      return AVIERR_BADFORMAT;
    }
    AVCodecID id = w.wBitsPerSample == 8    ? AV_CODEC_ID_PCM_U8
                   : w.wBitsPerSample == 16 ? AV_CODEC_ID_PCM_S16LE
                   : w.wBitsPerSample == 24 ? AV_CODEC_ID_PCM_S24LE
                   : w.wBitsPerSample == 32 ? AV_CODEC_ID_PCM_S32LE
                                            : AV_CODEC_ID_NONE;
    if (id == AV_CODEC_ID_NONE) return AVIERR_BADFORMAT;
    p->codec_type = AVMEDIA_TYPE_AUDIO;
    p->codec_id = id;
    p->codec_tag = WAVE_FORMAT_PCM;
    p->sample_rate = int(w.nSamplesPerSec);
    av_channel_layout_default(&p->ch_layout, w.nChannels);
    p->bits_per_coded_sample = w.wBitsPerSample;
    blockAlign = w.nChannels * w.wBitsPerSample / 8;
    p->block_align = blockAlign;
    p->bit_rate = int64_t(w.nSamplesPerSec) * blockAlign * 8;
    // Audio ticks are sample frames whatever the header said.
    ourTimeBase = AVRational{1, int(w.nSamplesPerSec)};
    st->time_base = ourTimeBase;
    info.dwSampleSize = uint32_t(blockAlign);
  }
  this->format.assign(static_cast<const uint8_t*>(format),
                      static_cast<const uint8_t*>(format) + size);
  hasFormat = true;
  return AVIERR_OK;
}

HRESULT WriteStreamObject::WritePacket(AVPacket* pkt) {
  if (wfile->writeError != AVIERR_OK) return wfile->writeError;
  HRESULT hr = wfile->EnsureHeader();
  if (hr != AVIERR_OK) return hr;
  pkt->stream_index = st->index;
  av_packet_rescale_ts(pkt, ourTimeBase, st->time_base);
  // A lone stream needs no interleaving, and av_write_frame neither copies nor keeps
  // the data, so the caller's buffer can be written as it is.
  const bool lone = wfile->oc->nb_streams == 1;
  if (int e = lone ? av_write_frame(wfile->oc, pkt) : av_interleaved_write_frame(wfile->oc, pkt);
      e < 0) {
    wfile->writeError = WriteFailed(e, wfile->systemError);
    return wfile->writeError;
  }
  // A full disk may show only in the I/O context's own error.
  if (wfile->oc->pb && wfile->oc->pb->error < 0) {
    wfile->writeError = WriteFailed(wfile->oc->pb->error, wfile->systemError);
    return wfile->writeError;
  }
  return AVIERR_OK;
}

HRESULT WriteStreamObject::FillPacket(const void* buffer, int bytes) {
  av_packet_unref(pkt.get());
  if (wfile->oc->nb_streams == 1) {
    pkt->data = static_cast<uint8_t*>(const_cast<void*>(buffer));
    pkt->size = bytes;
    return AVIERR_OK;
  }
  // Interleaving queues packets, so they get buffers of their own, from a pool rather
  // than a fresh allocation of a whole frame each time.
  if (!pool || poolBytes < bytes) {
    av_buffer_pool_uninit(&pool);
    poolBytes = bytes;
    pool = av_buffer_pool_init(size_t(bytes) + AV_INPUT_BUFFER_PADDING_SIZE, nullptr);
    if (!pool) return AVIERR_MEMORY;
  }
  pkt->buf = av_buffer_pool_get(pool);
  if (!pkt->buf) return AVIERR_MEMORY;
  pkt->data = pkt->buf->data;
  pkt->size = bytes;
  std::memcpy(pkt->data, buffer, size_t(bytes));
  std::memset(pkt->data + bytes, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  return AVIERR_OK;
}

HRESULT WriteStreamObject::Write(int32_t start, int32_t samples, const void* buffer,
                                 int32_t bufferSize, uint32_t flags, int32_t* samplesWritten,
                                 int32_t* bytesWritten) {
  if (!hasFormat) return AVIERR_BADFORMAT;
  if (start < next) return AVIERR_BADPARAM;  // samples go in order
  if (!pkt) return AVIERR_MEMORY;
  int64_t bytes;
  if (info.fccType == streamtypeVIDEO) {
    if (samples != 1) return AVIERR_BADPARAM;
    if (uint32_t(bufferSize) < frameBytes) return AVIERR_BADSIZE;
    bytes = frameBytes;
  } else {
    bytes = int64_t(samples) * blockAlign;
    if (bytes > bufferSize) return AVIERR_BADSIZE;
  }
  if (bytes > INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE) return AVIERR_BADSIZE;
  if (HRESULT hr = FillPacket(buffer, int(bytes)); hr != AVIERR_OK) return hr;
  if (paletted && !paletteSent) {
    uint8_t* side = av_packet_new_side_data(pkt.get(), AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
    if (!side) return AVIERR_MEMORY;
    std::memcpy(side, palette, AVPALETTE_SIZE);
    paletteSent = true;
  }
  pkt->pts = pkt->dts = start;
  pkt->duration = samples;
  // Raw frames stand on their own whatever the caller says.
  if ((flags & AVIIF_KEYFRAME) || info.fccType == streamtypeVIDEO) pkt->flags |= AV_PKT_FLAG_KEY;
  HRESULT hr = WritePacket(pkt.get());
  av_packet_unref(pkt.get());
  if (hr != AVIERR_OK) return hr;
  next = int64_t(start) + samples;
  written = next;
  if (samplesWritten) *samplesWritten = samples;
  if (bytesWritten) *bytesWritten = int32_t(bytes);
  return AVIERR_OK;
}

// ---- compressed streams ----

struct CompressorSpec {
  uint32_t fourcc;
  const char* name;
  const char* encoder;  // libavcodec encoder name; null = stored as it comes
  bool quality, keyFrames, dataRate;
  std::vector<int> depths;
};

const std::vector<CompressorSpec>& Specs() {
  static const std::vector<CompressorSpec> specs = {
      {kCompressorVideo1, "Video 1", "msvideo1", false, true, false, {16}},
      {kCompressorDib,
       "Uncompressed (stored as it comes)",
       nullptr,
       false,
       false,
       false,
       {8, 16, 24}},
      {MakeFourCC('M', 'J', 'P', 'G'), "Motion JPEG", "mjpeg", true, false, true, {24}},
      {MakeFourCC('c', 'v', 'i', 'd'), "Cinepak", "cinepak", false, true, false, {24}},
      {MakeFourCC('Z', 'M', 'B', 'V'),
       "Zip Motion Blocks Video",
       "zmbv",
       false,
       true,
       false,
       {8, 16, 24}},
      {MakeFourCC('F', 'F', 'V', '1'), "FFV1 (lossless)", "ffv1", false, true, false, {8, 16, 24}},
      {MakeFourCC('H', 'F', 'Y', 'U'),
       "HuffYUV (lossless)",
       "huffyuv",
       false,
       false,
       false,
       {8, 16, 24}},
      {MakeFourCC('H', '2', '6', '4'), "H.264 (x264)", "libx264", true, true, true, {24}},
  };
  return specs;
}

const CompressorSpec* FindSpec(uint32_t fourcc) {
  // FOURCCs compare without case, as compressor handlers do.
  auto lower = [](uint32_t f) {
    uint32_t r = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t c = uint8_t(f >> (8 * i));
      if (c >= 'A' && c <= 'Z') c = uint8_t(c + 32);
      r |= uint32_t(c) << (8 * i);
    }
    return r;
  };
  if (fourcc == 0) fourcc = kCompressorDib;
  for (auto& s : Specs()) {
    if (lower(s.fourcc) == lower(fourcc)) return &s;
  }
  return nullptr;
}

struct CompressedStreamObject : AviStreamObject {
  WriteStreamObject* target = nullptr;  // holds a reference
  const CompressorSpec* spec = nullptr;
  AVICOMPRESSOPTIONS options;
  avi::CodecPtr enc;
  avi::FramePtr frame;
  avi::PacketPtr pkt;
  avi::SwsPtr sws;
  BitmapInfoHeader input;
  uint32_t inputPalette[256] = {};
  uint32_t frameBytes = 0;
  int64_t next = 0;
  bool hasFormat = false;

  ~CompressedStreamObject() override {
    // Encoders that hold frames back give them up now; a failure here still spoils
    // the file, so it is recorded where finishing the file will see it.
    if (enc && hasFormat && avcodec_send_frame(enc.get(), nullptr) == 0) {
      HRESULT hr = Drain();
      if (hr != AVIERR_OK && target->wfile->writeError == AVIERR_OK) target->wfile->writeError = hr;
    }
    if (target) StreamRelease(target);
  }
  int32_t Length() override { return target->Length(); }
  HRESULT SetFormat(int32_t pos, const void* format, int32_t size) override;
  HRESULT Write(int32_t start, int32_t samples, const void* buffer, int32_t bufferSize,
                uint32_t flags, int32_t* samplesWritten, int32_t* bytesWritten) override;
  HRESULT Drain();
  AVPixelFormat ChooseInputFormat(const AVCodec* codec) const;
};

AVPixelFormat CompressedStreamObject::ChooseInputFormat(const AVCodec* codec) const {
  AVPixelFormat own = DibPixelFormat(input);
  const AVPixelFormat* list = codec->pix_fmts;
  if (!list) return own;
  for (const AVPixelFormat* p = list; *p != AV_PIX_FMT_NONE; ++p) {
    if (*p == own) return own;
  }
  // Prefer a true-colour format the encoder takes, so nothing is lost on the way.
  static const AVPixelFormat preferred[] = {AV_PIX_FMT_BGR0, AV_PIX_FMT_RGB24, AV_PIX_FMT_BGR24,
                                            AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV420P};
  for (AVPixelFormat want : preferred) {
    for (const AVPixelFormat* p = list; *p != AV_PIX_FMT_NONE; ++p) {
      if (*p == want) return want;
    }
  }
  return list[0];
}

HRESULT CompressedStreamObject::SetFormat(int32_t pos, const void* format, int32_t size) {
  if (!spec->encoder) {
    HRESULT hr = target->SetFormat(pos, format, size);
    if (hr == AVIERR_OK) hasFormat = true;
    return hr;
  }
  if (hasFormat) return AVIERR_UNSUPPORTED;  // the frame format is fixed once
  if (target->wfile->headerWritten) return AVIERR_UNSUPPORTED;
  AVPixelFormat own;
  if (HRESULT hr = ReadVideoFormat(format, size, input, own, inputPalette, frameBytes);
      hr != AVIERR_OK)
    return hr;

  const AVCodec* codec = avcodec_find_encoder_by_name(spec->encoder);
  if (!codec) return AVIERR_NOCOMPRESSOR;
  enc.reset(avcodec_alloc_context3(codec));
  if (!enc) return AVIERR_MEMORY;
  AVPixelFormat pf = ChooseInputFormat(codec);
  int w = input.biWidth, h = input.biHeight;
  // 4:2:0 needs even sizes; odd ones go through 4:4:4 rather than losing an edge.
  if (pf == AV_PIX_FMT_YUV420P && ((w | h) & 1)) pf = AV_PIX_FMT_YUV444P;
  if (pf == AV_PIX_FMT_YUVJ420P && ((w | h) & 1)) pf = AV_PIX_FMT_YUVJ444P;
  enc->width = w;
  enc->height = h;
  enc->pix_fmt = pf;
  enc->time_base = target->ourTimeBase;
  enc->framerate = AVRational{target->ourTimeBase.den, target->ourTimeBase.num};
  enc->sample_aspect_ratio = AVRational{1, 1};
  enc->thread_count = 1;
  enc->max_b_frames = 0;  // one sample per frame, in order
  if (pf == AV_PIX_FMT_YUVJ420P || pf == AV_PIX_FMT_YUVJ444P) enc->color_range = AVCOL_RANGE_JPEG;
  AVDictionary* opts = nullptr;
  uint32_t q = options.dwQuality;
  bool haveQuality = q != 0xFFFFFFFF;
  if (haveQuality) q = std::min<uint32_t>(q, 10000);
  uint32_t key = (options.dwFlags & AVICOMPRESSF_KEYFRAMES) ? options.dwKeyFrameEvery : 0;
  if (key > 0 && spec->keyFrames) {
    enc->gop_size = int(std::min<uint32_t>(key, 100000));
    // Video 1 starts a key frame once more than keyint_min frames have passed.
    enc->keyint_min = spec->fourcc == kCompressorVideo1 ? enc->gop_size - 1 : 1;
  }
  bool rate = (options.dwFlags & AVICOMPRESSF_DATARATE) && options.dwBytesPerSecond > 0;
  if (spec->fourcc == MakeFourCC('M', 'J', 'P', 'G')) {
    if (rate) {
      enc->bit_rate = int64_t(options.dwBytesPerSecond) * 8;
    } else {
      // Quality 10000 is the finest quantiser (2), 0 the coarsest (31).
      int qscale = haveQuality ? 2 + int((10000 - q) * 29 / 10000) : 4;
      enc->flags |= AV_CODEC_FLAG_QSCALE;
      enc->global_quality = qscale * FF_QP2LAMBDA;
    }
  } else if (spec->fourcc == MakeFourCC('H', '2', '6', '4')) {
    av_dict_set(&opts, "preset", "veryfast", 0);
    if (rate) {
      enc->bit_rate = int64_t(options.dwBytesPerSecond) * 8;
    } else {
      int crf = haveQuality ? int((10000 - q) * 51 / 10000) : 23;
      av_dict_set_int(&opts, "crf", crf, 0);
    }
    av_dict_set(&opts, "x264-params", "bframes=0:rc-lookahead=0:sync-lookahead=0", 0);
  } else if (spec->fourcc == MakeFourCC('F', 'F', 'V', '1')) {
    av_dict_set(&opts, "level", "3", 0);
    av_dict_set(&opts, "slicecrc", "0", 0);
  }
  int r = avcodec_open2(enc.get(), codec, &opts);
  av_dict_free(&opts);
  if (r < 0) return AVIERR_COMPRESSOR;
  AVCodecParameters* p = target->st->codecpar;
  if (avcodec_parameters_from_context(p, enc.get()) < 0) return AVIERR_MEMORY;
  p->codec_tag = 0;  // the muxer's own tag for this codec
  target->hasFormat = true;
  target->info.rcFrame = {0, 0, w, h};
  target->format.assign(static_cast<const uint8_t*>(format),
                        static_cast<const uint8_t*>(format) + size);
  frame.reset(av_frame_alloc());
  pkt.reset(av_packet_alloc());
  if (!frame || !pkt) return AVIERR_MEMORY;
  frame->format = pf;
  frame->width = w;
  frame->height = h;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return AVIERR_MEMORY;
  if (pf != own) {
    sws.reset(sws_getContext(w, h, own, w, h, pf, SWS_POINT, nullptr, nullptr, nullptr));
    if (!sws) return AVIERR_CANTCOMPRESS;
  }
  hasFormat = true;
  return AVIERR_OK;
}

HRESULT CompressedStreamObject::Drain() {
  for (;;) {
    int r = avcodec_receive_packet(enc.get(), pkt.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return AVIERR_OK;
    if (r < 0) return AVIERR_CANTCOMPRESS;
    // Encoders time packets in their own time base, which is the stream's; writing
    // rescales them (and may take the packet), so the time is read first.
    const int64_t pts = pkt->pts;
    HRESULT hr = target->WritePacket(pkt.get());
    if (pts != AV_NOPTS_VALUE) target->written = std::max<int64_t>(target->written, pts + 1);
    av_packet_unref(pkt.get());
    if (hr != AVIERR_OK) return hr;
  }
}

HRESULT CompressedStreamObject::Write(int32_t start, int32_t samples, const void* buffer,
                                      int32_t bufferSize, uint32_t flags, int32_t* samplesWritten,
                                      int32_t* bytesWritten) {
  if (!spec->encoder) {
    return target->Write(start, samples, buffer, bufferSize, flags, samplesWritten, bytesWritten);
  }
  if (!hasFormat) return AVIERR_BADFORMAT;
  if (samples != 1 || start < next) return AVIERR_BADPARAM;
  if (uint32_t(bufferSize) < frameBytes) return AVIERR_BADSIZE;
  if (av_frame_make_writable(frame.get()) < 0) return AVIERR_MEMORY;
  const ptrdiff_t stride = ptrdiff_t(DibStride(input.biWidth, input.biBitCount));
  // Bottom-up rows: start at the last row and walk upwards.
  const uint8_t* bottom =
      static_cast<const uint8_t*>(buffer) + ptrdiff_t(input.biHeight - 1) * stride;
  const uint8_t* srcData[4] = {bottom, nullptr, nullptr, nullptr};
  int srcStride[4] = {-int(stride), 0, 0, 0};
  if (input.biBitCount == 8) {
    srcData[1] = reinterpret_cast<const uint8_t*>(inputPalette);
    srcStride[1] = 0;
  }
  if (!sws) {
    // The encoder takes the DIB's own pixel format: only the row order changes.
    const size_t rowBytes = size_t(input.biWidth) * size_t(input.biBitCount / 8);
    for (int y = 0; y < input.biHeight; ++y) {
      std::memcpy(frame->data[0] + ptrdiff_t(y) * frame->linesize[0],
                  bottom - ptrdiff_t(y) * stride, rowBytes);
    }
    if (enc->pix_fmt == AV_PIX_FMT_PAL8) std::memcpy(frame->data[1], inputPalette, AVPALETTE_SIZE);
  } else {
    sws_scale(sws.get(), srcData, srcStride, 0, input.biHeight, frame->data, frame->linesize);
  }
  frame->pts = start;
  int r = avcodec_send_frame(enc.get(), frame.get());
  if (r < 0) return AVIERR_CANTCOMPRESS;
  HRESULT hr = Drain();
  if (hr != AVIERR_OK) return hr;
  next = int64_t(start) + 1;
  target->written = std::max<int64_t>(target->written, next);
  if (samplesWritten) *samplesWritten = 1;
  if (bytesWritten) *bytesWritten = int32_t(frameBytes);
  return AVIERR_OK;
}

}  // namespace

const std::vector<AviCompressor>& AviCompressors() {
  static const std::vector<AviCompressor> list = [] {
    std::vector<AviCompressor> out;
    for (auto& s : Specs()) {
      bool available = !s.encoder || avcodec_find_encoder_by_name(s.encoder) != nullptr;
      out.push_back({s.fourcc, s.name, available, s.quality, s.keyFrames, s.dataRate, s.depths});
    }
    return out;
  }();
  return list;
}

HRESULT OpenWriteFile(const std::string& path, PAVIFILE* out, int* systemError) {
  if (ExtensionKey(path) != "AVI") return REGDB_E_CLASSNOTREG;
  auto file = std::make_unique<WriteFileObject>();
  file->writing = true;
  file->atomic = std::make_unique<AtomicFile>(path);
  if (avformat_alloc_output_context2(&file->oc, nullptr, "avi", file->atomic->tempPath().c_str()) <
          0 ||
      !file->oc) {
    return AVIERR_MEMORY;
  }
  if (FolderExists(path)) {
    *systemError = EISDIR;
    return AVIERR_FILEOPEN;
  }
  if (int e = avio_open(&file->oc->pb, file->atomic->tempPath().c_str(), AVIO_FLAG_WRITE); e < 0) {
    WriteFailed(e, *systemError);
    return AVIERR_FILEOPEN;
  }
  *out = file.release();
  return AVIERR_OK;
}

HRESULT MakeCompressedStream(PAVISTREAM source, const AVICOMPRESSOPTIONS& options,
                             PAVISTREAM* out) {
  auto* target = dynamic_cast<WriteStreamObject*>(source);
  if (!target) return AVIERR_UNSUPPORTED;
  if (target->info.fccType != streamtypeVIDEO) return AVIERR_UNSUPPORTED;
  const CompressorSpec* spec = FindSpec(options.fccHandler);
  if (!spec) return AVIERR_NOCOMPRESSOR;
  if (spec->encoder && !avcodec_find_encoder_by_name(spec->encoder)) return AVIERR_NOCOMPRESSOR;
  auto s = std::make_unique<CompressedStreamObject>();
  StreamAddRef(target);
  s->target = target;
  s->spec = spec;
  s->options = options;
  s->info = target->info;
  s->info.fccHandler = spec->fourcc;
  StreamAddRef(s.get());
  *out = s.release();
  return AVIERR_OK;
}

}  // namespace zr
