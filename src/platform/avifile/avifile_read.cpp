// Reading AVI and WAV files through libavformat, with our own sample bookkeeping.
#include <algorithm>
#include <cstring>
#include <fstream>

#include "platform/avifile/avifile_internal.h"
#include "platform/paths.h"

namespace zr {

namespace avi {

bool SniffContainer(const uint8_t* head, size_t size, Container& kind) {
  if (size >= 12 && std::memcmp(head, "RIFF", 4) == 0) {
    if (std::memcmp(head + 8, "AVI ", 4) == 0) {
      kind = Container::Avi;
      return true;
    }
    if (std::memcmp(head + 8, "WAVE", 4) == 0) {
      kind = Container::Wav;
      return true;
    }
    // RIFF MIDI ("RMID") carries a standard MIDI file in its "data" chunk.
    if (std::memcmp(head + 8, "RMID", 4) == 0) {
      kind = Container::Midi;
      return true;
    }
    return false;
  }
  if (size >= 4 && std::memcmp(head, "MThd", 4) == 0) {
    kind = Container::Midi;
    return true;
  }
  return false;
}

HRESULT OpenDemuxer(const std::string& path, Container kind, InputPtr& out) {
  const AVInputFormat* fmt = av_find_input_format(kind == Container::Wav ? "wav" : "avi");
  if (!fmt) return AVIERR_INTERNAL;
  AVFormatContext* ctx = avformat_alloc_context();
  if (!ctx) return AVIERR_MEMORY;
  // Hostile files: no probing of other demuxers, bounded index reading.
  ctx->max_index_size = 64 << 20;
  ctx->flags |= AVFMT_FLAG_NOPARSE;
  int r = avformat_open_input(&ctx, path.c_str(), fmt, nullptr);
  if (r < 0) return r == AVERROR(ENOMEM) ? AVIERR_MEMORY : AVIERR_BADFORMAT;
  out.reset(ctx);
  return AVIERR_OK;
}

}  // namespace avi

namespace {

// The format tag a WAVEFORMATEX would carry for a codec without its own tag.
uint16_t FormatTagFor(const AVCodecParameters* p) {
  if (p->codec_tag) return uint16_t(p->codec_tag);
  switch (p->codec_id) {
    case AV_CODEC_ID_PCM_U8:
    case AV_CODEC_ID_PCM_S16LE:
    case AV_CODEC_ID_PCM_S24LE:
    case AV_CODEC_ID_PCM_S32LE: return WAVE_FORMAT_PCM;
    case AV_CODEC_ID_PCM_F32LE:
    case AV_CODEC_ID_PCM_F64LE: return 3;
    case AV_CODEC_ID_ADPCM_MS: return 2;
    case AV_CODEC_ID_ADPCM_IMA_WAV: return 0x11;
    case AV_CODEC_ID_MP3: return 0x55;
    default: return 0;
  }
}

int ChannelCount(const AVCodecParameters* p) { return p->ch_layout.nb_channels; }

void FillAudio(ReadStreamObject& s, const AVCodecParameters* p) {
  WAVEFORMATEX w;
  w.wFormatTag = FormatTagFor(p);
  w.nChannels = uint16_t(std::clamp(ChannelCount(p), 0, 65535));
  w.nSamplesPerSec = uint32_t(std::max(0, p->sample_rate));
  w.wBitsPerSample = uint16_t(std::clamp(p->bits_per_coded_sample, 0, 65535));
  int align = p->block_align;
  if (align <= 0) align = std::max(1, w.nChannels * w.wBitsPerSample / 8);
  w.nBlockAlign = uint16_t(std::min(align, 65535));
  int64_t avg = p->bit_rate / 8;
  if (w.wFormatTag == WAVE_FORMAT_PCM || avg <= 0) avg = int64_t(w.nSamplesPerSec) * w.nBlockAlign;
  w.nAvgBytesPerSec = uint32_t(std::min<int64_t>(avg, UINT32_MAX));
  int extra = std::clamp(p->extradata_size, 0, int(avi::kMaxFormatBytes));
  w.cbSize = uint16_t(std::min(extra, 65535));
  s.format.resize(sizeof w + w.cbSize);
  std::memcpy(s.format.data(), &w, sizeof w);
  if (w.cbSize) std::memcpy(s.format.data() + sizeof w, p->extradata, w.cbSize);
  s.blockAlign = w.nBlockAlign ? w.nBlockAlign : 1;
  s.info.fccType = streamtypeAUDIO;
  s.info.dwScale = uint32_t(s.blockAlign);
  s.info.dwRate = w.nAvgBytesPerSec;
  s.info.dwSampleSize = uint32_t(s.blockAlign);
  s.info.dwQuality = 0xFFFFFFFF;
}

void FillVideo(ReadStreamObject& s, const AVStream* st) {
  const AVCodecParameters* p = st->codecpar;
  BitmapInfoHeader h;
  h.biWidth = p->width;
  h.biHeight = p->height;
  h.biBitCount = uint16_t(std::clamp(p->bits_per_coded_sample, 0, 64));
  h.biCompression = p->codec_tag;
  // The demuxer marks bottom-up raw rows with a trailing "BottomUp" tag; the rest of the
  // extra data is what followed the header in the file (colour table or codec data).
  int extra = std::clamp(p->extradata_size, 0, int(avi::kMaxFormatBytes));
  if (extra >= 9 && std::memcmp(p->extradata + extra - 9, "BottomUp", 9) == 0) extra -= 9;
  if (h.biCompression == BI_RGB && h.biBitCount > 0 && h.biBitCount <= 32) {
    h.biSizeImage = uint32_t(std::min<int64_t>(
        int64_t(DibStride(h.biWidth, h.biBitCount)) * std::max(0, h.biHeight), UINT32_MAX));
    if (h.biBitCount <= 8) h.biClrUsed = uint32_t(extra / 4);
  }
  s.format.resize(sizeof h + size_t(extra));
  std::memcpy(s.format.data(), &h, sizeof h);
  if (extra) std::memcpy(s.format.data() + sizeof h, p->extradata, size_t(extra));
  s.info.fccType = streamtypeVIDEO;
  s.info.fccHandler = p->codec_tag ? p->codec_tag : kCompressorDib;
  AVRational tb = st->time_base;
  if (tb.num <= 0 || tb.den <= 0) tb = {1, 25};
  s.info.dwScale = uint32_t(tb.num);
  s.info.dwRate = uint32_t(tb.den);
  s.info.dwSuggestedBufferSize = h.biSizeImage;
  s.info.dwQuality = 0xFFFFFFFF;
  s.info.rcFrame = {0, 0, p->width, p->height};
}

}  // namespace

ReadStreamObject::~ReadStreamObject() { avcodec_parameters_free(&par); }

HRESULT ReadFileObject::Info(AVIFILEINFO& out) {
  out = AVIFILEINFO{};
  out.dwStreams = uint32_t(streams.size());
  std::strncpy(out.szFileType,
               kind == avi::Container::Avi   ? "AVI file"
               : kind == avi::Container::Wav ? "Wave file"
                                             : "MIDI file",
               sizeof out.szFileType - 1);
  for (auto& s : streams) {
    if (s->info.fccType != streamtypeVIDEO) continue;
    out.dwWidth = uint32_t(s->info.rcFrame.right);
    out.dwHeight = uint32_t(s->info.rcFrame.bottom);
    out.dwScale = s->info.dwScale;
    out.dwRate = s->info.dwRate;
    out.dwLength = uint32_t(std::max(0, s->Length()));
    out.dwSuggestedBufferSize = s->info.dwSuggestedBufferSize;
    break;
  }
  if (out.dwScale == 0) {  // sound only: the first stream's clock
    for (auto& s : streams) {
      out.dwScale = s->info.dwScale;
      out.dwRate = s->info.dwRate;
      out.dwLength = s->info.dwLength;
      break;
    }
  }
  return AVIERR_OK;
}

HRESULT OpenReadFile(const std::string& path, PAVIFILE* out) {
  uint8_t head[16] = {};
  size_t got = 0;
  {
    std::ifstream in(path, std::ios::binary);
    if (!in || FolderExists(path)) return AVIERR_FILEOPEN;
    in.read(reinterpret_cast<char*>(head), sizeof head);
    got = size_t(in.gcount());
  }
  avi::Container kind;
  if (!avi::SniffContainer(head, got, kind)) return AVIERR_BADFORMAT;
  if (kind == avi::Container::Midi) return OpenMidiFile(path, MidiSoundFont(), out);

  avi::InputPtr ctx;
  HRESULT hr = avi::OpenDemuxer(path, kind, ctx);
  if (hr != AVIERR_OK) return hr;

  auto file = std::make_unique<ReadFileObject>();
  file->path = path;
  file->kind = kind;
  std::vector<ReadStreamObject*> needsCount;
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    AVStream* st = ctx->streams[i];
    const AVCodecParameters* p = st->codecpar;
    if (p->codec_type != AVMEDIA_TYPE_VIDEO && p->codec_type != AVMEDIA_TYPE_AUDIO) {
      st->discard = AVDISCARD_ALL;
      continue;
    }
    auto s = std::make_unique<ReadStreamObject>();
    s->owner = file.get();
    s->file = file.get();
    s->ffIndex = int(i);
    s->par = avcodec_parameters_alloc();
    if (!s->par || avcodec_parameters_copy(s->par, p) < 0) return AVIERR_MEMORY;
    s->timeBase = st->time_base;
    s->startPts = st->start_time == AV_NOPTS_VALUE ? 0 : std::max<int64_t>(0, st->start_time);
    if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
      if (p->width <= 0 || p->height <= 0 || !DibSizeAllowed(p->width, p->height)) {
        return AVIERR_BADFORMAT;
      }
      FillVideo(*s, st);
      if (st->nb_frames > 0 && st->nb_frames <= INT32_MAX) {
        s->info.dwLength = uint32_t(st->nb_frames);
        st->discard = AVDISCARD_ALL;  // no need to walk its packets
      } else {
        needsCount.push_back(s.get());
      }
    } else {
      if (ChannelCount(p) <= 0 || p->sample_rate <= 0) return AVIERR_BADFORMAT;
      FillAudio(*s, p);
      needsCount.push_back(s.get());
    }
    file->streams.push_back(std::move(s));
  }

  // One walk over the packets gives the sound lengths in bytes and the frame count of
  // video streams whose header doesn't say.
  if (!needsCount.empty()) {
    std::vector<int64_t> bytes(ctx->nb_streams, 0), frames(ctx->nb_streams, 0);
    avi::PacketPtr pkt(av_packet_alloc());
    if (!pkt) return AVIERR_MEMORY;
    for (;;) {
      int r = av_read_frame(ctx.get(), pkt.get());
      if (r < 0) break;
      unsigned idx = unsigned(pkt->stream_index);
      if (idx < ctx->nb_streams) {
        bytes[idx] += pkt->size;
        int64_t t = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (t != AV_NOPTS_VALUE && t >= 0 && t < INT32_MAX) {
          frames[idx] = std::max(frames[idx], t + 1);
        } else {
          frames[idx] += 1;
        }
      }
      av_packet_unref(pkt.get());
    }
    for (ReadStreamObject* s : needsCount) {
      if (s->info.fccType == streamtypeAUDIO) {
        s->totalBytes = bytes[size_t(s->ffIndex)];
        s->info.dwLength = uint32_t(std::min<int64_t>(s->totalBytes / s->blockAlign, INT32_MAX));
        s->info.dwSuggestedBufferSize = uint32_t(std::min<int64_t>(s->totalBytes, 1 << 20));
      } else {
        s->info.dwLength = uint32_t(std::min<int64_t>(frames[size_t(s->ffIndex)], INT32_MAX));
      }
    }
  }
  *out = file.release();
  return AVIERR_OK;
}

// ---- sound samples ----

HRESULT ReadStreamObject::SeekAudio(int64_t byte) {
  if (owner->kind == avi::Container::Midi) {  // rendered PCM in memory: go straight there
    cursorByte = std::clamp<int64_t>(byte, 0, int64_t(owner->pcm.size()));
    return AVIERR_OK;
  }
  if (!cursor || byte < cursorByte) {
    cursor.reset();
    HRESULT hr = avi::OpenDemuxer(owner->path, owner->kind, cursor);
    if (hr != AVIERR_OK) return AVIERR_FILEREAD;
    for (unsigned i = 0; i < cursor->nb_streams; ++i) {
      cursor->streams[i]->discard = int(i) == ffIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    cursorByte = 0;
    pending.clear();
    pendingOffset = 0;
  }
  // Skip forward through whole packets, then within one.
  std::vector<uint8_t> sink;
  while (cursorByte < byte) {
    int64_t step = std::min<int64_t>(byte - cursorByte, 1 << 16);
    sink.resize(size_t(step));
    int64_t got = PullAudio(sink.data(), step);
    if (got <= 0) break;
  }
  return AVIERR_OK;
}

int64_t ReadStreamObject::PullAudio(uint8_t* out, int64_t count) {
  int64_t done = 0;
  if (owner->kind == avi::Container::Midi) {
    int64_t avail = int64_t(owner->pcm.size()) - cursorByte;
    done = std::clamp<int64_t>(avail, 0, count);
    if (done) std::memcpy(out, owner->pcm.data() + cursorByte, size_t(done));
    cursorByte += done;
    return done;
  }
  avi::PacketPtr pkt;
  while (done < count) {
    if (pendingOffset >= pending.size()) {
      if (!cursor) break;
      if (!pkt) pkt.reset(av_packet_alloc());
      if (!pkt) break;
      int r = av_read_frame(cursor.get(), pkt.get());
      if (r < 0) break;
      if (pkt->stream_index == ffIndex && pkt->size > 0) {
        pending.assign(pkt->data, pkt->data + pkt->size);
        pendingOffset = 0;
      }
      av_packet_unref(pkt.get());
      continue;
    }
    int64_t n = std::min<int64_t>(count - done, int64_t(pending.size() - pendingOffset));
    std::memcpy(out + done, pending.data() + pendingOffset, size_t(n));
    pendingOffset += size_t(n);
    done += n;
  }
  cursorByte += done;
  return done;
}

HRESULT ReadStreamObject::Read(int32_t start, int32_t samples, void* buffer, int32_t bufferSize,
                               int32_t* bytesRead, int32_t* samplesRead) {
  if (info.fccType != streamtypeAUDIO) return AVIERR_UNSUPPORTED;
  int64_t length = Length();
  int64_t n = std::clamp<int64_t>(length - start, 0, samples);
  if (!buffer) {
    if (bytesRead) *bytesRead = int32_t(std::min<int64_t>(n * blockAlign, INT32_MAX));
    if (samplesRead) *samplesRead = int32_t(n);
    return AVIERR_OK;
  }
  n = std::min<int64_t>(n, bufferSize / blockAlign);
  if (n == 0) return samples > 0 && start < length ? AVIERR_BUFFERTOOSMALL : AVIERR_OK;
  HRESULT hr = SeekAudio(int64_t(start) * blockAlign);
  if (hr != AVIERR_OK) return hr;
  if (cursorByte != int64_t(start) * blockAlign) return AVIERR_FILEREAD;
  int64_t got = PullAudio(static_cast<uint8_t*>(buffer), n * blockAlign);
  int64_t whole = got / blockAlign;
  if (bytesRead) *bytesRead = int32_t(whole * blockAlign);
  if (samplesRead) *samplesRead = int32_t(whole);
  return AVIERR_OK;
}

}  // namespace zr
