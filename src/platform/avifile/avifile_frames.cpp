// Frame decompression: any video stream libavcodec decodes, delivered as packed DIBs.
#include <algorithm>
#include <cstring>

#include "platform/avifile/avifile_internal.h"

namespace zr {

struct AviGetFrameObject {
  ReadStreamObject* stream = nullptr;  // holds a reference
  int wantedBits = 0;                  // 0: decided by the first frame
  avi::InputPtr input;
  avi::CodecPtr codec;
  avi::PacketPtr packet;
  avi::FramePtr current;  // the newest decoded frame with index <= the last asked
  int64_t currentIndex = -1;
  avi::FramePtr ahead;  // decoded but beyond the last asked index
  int64_t aheadIndex = -1;
  bool drained = false;
  avi::SwsPtr sws;
  // The delivered DIB: header, colour table, bottom-up rows.
  std::vector<uint8_t> dib;
  ptrdiff_t dibStride = 0;
  BitmapInfoHeader* header() { return reinterpret_cast<BitmapInfoHeader*>(dib.data()); }
  int64_t dibIndex = -1;

  ~AviGetFrameObject() {
    if (stream) StreamRelease(stream);
  }
  HRESULT Open();
  HRESULT Restart(int64_t target);
  // Decodes the next frame into `out`; false at the end or on a hard failure.
  bool DecodeNext(avi::FramePtr& out, int64_t& index);
  const BitmapInfoHeader* Get(int32_t pos);
  bool Convert(const AVFrame* frame);
};

HRESULT AviGetFrameObject::Open() {
  HRESULT hr = avi::OpenDemuxer(stream->owner->path, stream->owner->kind, input);
  if (hr != AVIERR_OK) return hr;
  if (stream->ffIndex < 0 || unsigned(stream->ffIndex) >= input->nb_streams) {
    return AVIERR_BADFORMAT;
  }
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    input->streams[i]->discard = int(i) == stream->ffIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  }
  const AVCodec* dec = avcodec_find_decoder(stream->par->codec_id);
  if (!dec) return AVIERR_NOCOMPRESSOR;
  codec.reset(avcodec_alloc_context3(dec));
  if (!codec) return AVIERR_MEMORY;
  if (avcodec_parameters_to_context(codec.get(), stream->par) < 0) return AVIERR_BADFORMAT;
  codec->max_pixels = kMaxImagePixels;
  codec->thread_count = 1;
  codec->pkt_timebase = stream->timeBase;
  if (avcodec_open2(codec.get(), dec, nullptr) < 0) return AVIERR_COMPRESSOR;
  packet.reset(av_packet_alloc());
  current.reset(av_frame_alloc());
  ahead.reset(av_frame_alloc());
  if (!packet || !current || !ahead) return AVIERR_MEMORY;
  return AVIERR_OK;
}

HRESULT AviGetFrameObject::Restart(int64_t target) {
  int64_t ts = target + stream->startPts;
  if (av_seek_frame(input.get(), stream->ffIndex, ts, AVSEEK_FLAG_BACKWARD) < 0) {
    // No index to seek by: start over from the beginning.
    input.reset();
    codec.reset();
    HRESULT hr = Open();
    if (hr != AVIERR_OK) return hr;
  } else {
    avcodec_flush_buffers(codec.get());
  }
  av_frame_unref(current.get());
  av_frame_unref(ahead.get());
  currentIndex = aheadIndex = -1;
  drained = false;
  return AVIERR_OK;
}

bool AviGetFrameObject::DecodeNext(avi::FramePtr& out, int64_t& index) {
  for (int guard = 0; guard < 1 << 20; ++guard) {
    int r = avcodec_receive_frame(codec.get(), out.get());
    if (r == 0) {
      int64_t t = out->best_effort_timestamp;
      if (t == AV_NOPTS_VALUE) t = out->pts;
      index = t == AV_NOPTS_VALUE ? currentIndex + 1 : t - stream->startPts;
      return true;
    }
    if (r == AVERROR_EOF || drained) return false;
    if (r != AVERROR(EAGAIN)) return false;
    r = av_read_frame(input.get(), packet.get());
    if (r < 0) {
      drained = true;
      avcodec_send_packet(codec.get(), nullptr);
      continue;
    }
    if (packet->stream_index == stream->ffIndex && packet->size > 0 &&
        packet->size <= avi::kMaxPacketBytes) {
      // A frame that won't decode is dropped; its neighbours may still be fine.
      avcodec_send_packet(codec.get(), packet.get());
    }
    av_packet_unref(packet.get());
  }
  return false;
}

const BitmapInfoHeader* AviGetFrameObject::Get(int32_t pos) {
  if (pos < 0 || pos >= stream->Length()) return nullptr;
  if (!dib.empty() && dibIndex == pos) return header();
  // Backwards, or far ahead: seek to the key frame before `pos`.
  if ((currentIndex >= 0 && pos < currentIndex) ||
      pos > std::max<int64_t>(currentIndex, aheadIndex) + 64) {
    if (Restart(pos) != AVIERR_OK) return nullptr;
  }
  if (aheadIndex >= 0 && aheadIndex <= pos) {
    std::swap(current, ahead);
    currentIndex = aheadIndex;
    av_frame_unref(ahead.get());
    aheadIndex = -1;
  }
  while (aheadIndex < 0 && currentIndex < pos) {
    int64_t index = -1;
    if (!DecodeNext(ahead, index)) break;
    if (index <= pos) {
      std::swap(current, ahead);
      currentIndex = index;
      av_frame_unref(ahead.get());
    } else {
      aheadIndex = index;
    }
  }
  // A frame missing from the file shows the one before it, as players do.
  if (currentIndex < 0) return nullptr;
  if (!Convert(current.get())) return nullptr;
  dibIndex = pos;
  return header();
}

bool AviGetFrameObject::Convert(const AVFrame* frame) {
  int w = frame->width, h = frame->height;
  if (w <= 0 || h <= 0 || !DibSizeAllowed(w, h)) return false;
  AVPixelFormat src = AVPixelFormat(frame->format);
  if (wantedBits == 0) {
    int stored = stream->par->bits_per_coded_sample;
    if (src == AV_PIX_FMT_PAL8) wantedBits = 8;
    else if (stored == 16 || src == AV_PIX_FMT_RGB555LE) wantedBits = 16;
    else if (stored == 32) wantedBits = 32;
    else wantedBits = 24;
  }
  if (wantedBits == 8 && src != AV_PIX_FMT_PAL8) return false;
  uint32_t colors = wantedBits == 8 ? 256 : 0;
  if (dib.empty() || header()->biWidth != w || header()->biHeight != h) {
    dibStride = ptrdiff_t(DibStride(w, wantedBits));  // small: the size is within the caps
    dib.assign(sizeof(BitmapInfoHeader) + 4 * colors + size_t(dibStride) * size_t(h), 0);
    BitmapInfoHeader hd;
    hd.biWidth = w;
    hd.biHeight = h;
    hd.biBitCount = uint16_t(wantedBits);
    hd.biSizeImage = uint32_t(dibStride * h);
    hd.biClrUsed = colors;
    std::memcpy(dib.data(), &hd, sizeof hd);
  }
  uint8_t* bits = dib.data() + sizeof(BitmapInfoHeader) + 4 * colors;
  uint8_t* bottom = bits + ptrdiff_t(h - 1) * dibStride;
  int negStride = -int(dibStride);
  if (wantedBits == 8) {
    const uint32_t* pal = reinterpret_cast<const uint32_t*>(frame->data[1]);
    RgbQuad* table = reinterpret_cast<RgbQuad*>(dib.data() + sizeof(BitmapInfoHeader));
    for (int i = 0; i < 256; ++i) {
      uint32_t c = pal ? pal[i] : 0;
      table[i] = RgbQuad{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0};
    }
    for (int y = 0; y < h; ++y) {
      // Signed: decoders hand out bottom-up pictures with a negative line size.
      std::memcpy(bottom - ptrdiff_t(y) * dibStride,
                  frame->data[0] + ptrdiff_t(y) * frame->linesize[0], size_t(w));
    }
    return true;
  }
  AVPixelFormat dst = wantedBits == 16   ? AV_PIX_FMT_RGB555LE
                      : wantedBits == 32 ? AV_PIX_FMT_BGR0
                                         : AV_PIX_FMT_BGR24;
  sws.reset(sws_getCachedContext(sws.release(), w, h, src, w, h, dst, SWS_POINT, nullptr,
                                 nullptr, nullptr));
  if (!sws) return false;
  uint8_t* dstData[4] = {bottom, nullptr, nullptr, nullptr};
  int dstStride[4] = {negStride, 0, 0, 0};
  sws_scale(sws.get(), frame->data, frame->linesize, 0, h, dstData, dstStride);
  return true;
}

PGETFRAME ReadStreamObject::GetFrameOpen(const BitmapInfoHeader* wanted) {
  if (info.fccType != streamtypeVIDEO) return nullptr;
  int bits = 0;
  if (wanted) {
    if (wanted->biCompression != BI_RGB) return nullptr;
    bits = wanted->biBitCount;
    if (bits != 0 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return nullptr;
  }
  auto g = std::make_unique<AviGetFrameObject>();
  StreamAddRef(this);
  g->stream = this;
  g->wantedBits = bits;
  if (g->Open() != AVIERR_OK) return nullptr;
  return g.release();
}

const BitmapInfoHeader* AVIStreamGetFrame(PGETFRAME getFrame, int32_t pos) {
  if (!getFrame) return nullptr;
  return getFrame->Get(pos);
}

HRESULT AVIStreamGetFrameClose(PGETFRAME getFrame) {
  if (!getFrame) return AVIERR_BADHANDLE;
  delete getFrame;
  return AVIERR_OK;
}

}  // namespace zr
