// AVISave: copies read streams, packet by packet and unconverted, into a new AVI or WAV
// file, interleaved by time so no stream has to be held in memory.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/avifile/avifile_internal.h"
#include "platform/paths.h"

namespace zr {

namespace {

// The packets of one stream in order: from its own demuxer, or cut from rendered PCM.
struct PacketSource {
  ReadStreamObject* stream = nullptr;
  AVStream* out = nullptr;
  avi::InputPtr input;
  avi::PacketPtr pkt;
  bool have = false;
  bool done = false;
  int64_t pcmOffset = 0;

  HRESULT Open() {
    pkt.reset(av_packet_alloc());
    if (!pkt) return AVIERR_MEMORY;
    if (stream->owner->kind == avi::Container::Midi) return AVIERR_OK;
    HRESULT hr = avi::OpenDemuxer(stream->owner->path, stream->owner->kind, input);
    if (hr != AVIERR_OK) return AVIERR_FILEREAD;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
      input->streams[i]->discard = int(i) == stream->ffIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    return AVIERR_OK;
  }

  // Makes the next packet current (have) or sets done.
  void Advance() {
    have = false;
    if (done) return;
    av_packet_unref(pkt.get());
    if (!input) {
      const std::vector<uint8_t>& pcm = stream->owner->pcm;
      int64_t left = int64_t(pcm.size()) - pcmOffset;
      int64_t chunk = std::min<int64_t>(left, int64_t(stream->blockAlign) * 4410);
      chunk -= chunk % stream->blockAlign;
      if (chunk <= 0 || av_new_packet(pkt.get(), int(chunk)) < 0) {
        done = true;
        return;
      }
      std::memcpy(pkt->data, pcm.data() + pcmOffset, size_t(chunk));
      pkt->pts = pkt->dts = pcmOffset / stream->blockAlign;
      pkt->duration = chunk / stream->blockAlign;
      pkt->flags |= AV_PKT_FLAG_KEY;
      pcmOffset += chunk;
      have = true;
      return;
    }
    while (av_read_frame(input.get(), pkt.get()) >= 0) {
      if (pkt->stream_index == stream->ffIndex) {
        have = true;
        return;
      }
      av_packet_unref(pkt.get());
    }
    done = true;
  }

  int64_t Time() const {
    if (pkt->dts != AV_NOPTS_VALUE) return pkt->dts;
    return pkt->pts;
  }
};

// True when an options record asks for this stream as it is.
bool AsStored(const ReadStreamObject& s, const AVICOMPRESSOPTIONS* o) {
  if (!o) return true;
  if (s.info.fccType == streamtypeAUDIO) {
    if (!o->lpFormat || o->cbFormat == 0) return true;
    if (o->cbFormat < 16 || s.format.size() < 16) return false;
    WAVEFORMATEX a, b;
    std::memcpy(static_cast<void*>(&a), o->lpFormat, 16);
    std::memcpy(static_cast<void*>(&b), s.format.data(), 16);
    return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels &&
           a.nSamplesPerSec == b.nSamplesPerSec && a.nBlockAlign == b.nBlockAlign &&
           a.wBitsPerSample == b.wBitsPerSample;
  }
  if (s.info.fccType == streamtypeVIDEO) {
    return o->fccHandler == 0 || o->fccHandler == s.info.fccHandler;
  }
  return true;
}

// Reports the share of the longest stream copied so far, at most every 50 ms.
class SaveProgress {
 public:
  SaveProgress(AVISAVECALLBACK callback, const std::vector<ReadStreamObject*>& streams)
      : callback_(callback) {
    for (const ReadStreamObject* s : streams) {
      if (s->info.dwRate > 0)
        seconds_ = std::max(seconds_, double(s->info.dwLength) * s->info.dwScale / s->info.dwRate);
    }
  }
  // True when the callback asks to stop.
  bool At(int64_t time, AVRational timeBase, bool force = false) {
    if (!callback_) return false;
    auto now = std::chrono::steady_clock::now();
    if (!force && now - last_ < std::chrono::milliseconds(50)) return false;
    last_ = now;
    int percent = 0;
    if (seconds_ > 0 && time != AV_NOPTS_VALUE)
      percent = int(std::clamp(time * av_q2d(timeBase) / seconds_ * 100.0, 0.0, 100.0));
    return callback_(percent);
  }
  void Done() {
    if (callback_) callback_(100);
  }

 private:
  AVISAVECALLBACK callback_;
  double seconds_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace

HRESULT WriteFailed(int averror, int& systemError) {
  if (averror < 0 && averror > -4096) systemError = -averror;
  return AVIERR_FILEWRITE;
}

HRESULT AVISaveV(const std::string& path, const void* handler, AVISAVECALLBACK callback,
                 int streamCount, PAVISTREAM* streams, AVICOMPRESSOPTIONS** options,
                 int* systemError) {
  int unused = 0;
  int& error = systemError ? *systemError : unused;
  error = 0;
  if (handler) return AVIERR_UNSUPPORTED;
  std::string ext = ExtensionKey(path);
  bool wav = ext == "WAV";
  if (!wav && ext != "AVI") return REGDB_E_CLASSNOTREG;
  if (streamCount < 1 || !streams) return AVIERR_BADPARAM;

  std::vector<ReadStreamObject*> chosen;
  for (int i = 0; i < streamCount; ++i) {
    if (!streams[i]) return AVIERR_BADHANDLE;
    auto* rs = dynamic_cast<ReadStreamObject*>(streams[i]);
    if (!rs || !rs->IsReadable()) return AVIERR_UNSUPPORTED;  // only read streams are copied
    if (!AsStored(*rs, options ? options[i] : nullptr)) return AVIERR_UNSUPPORTED;
    if (wav && rs->info.fccType != streamtypeAUDIO) continue;
    chosen.push_back(rs);
    if (wav) break;  // a wave file holds one sound
  }
  if (chosen.empty()) return AVIERR_NODATA;
  if (FolderExists(path)) {
    error = EISDIR;
    return AVIERR_FILEOPEN;
  }

  AtomicFile atomic(path);
  AVFormatContext* ocRaw = nullptr;
  if (avformat_alloc_output_context2(&ocRaw, nullptr, wav ? "wav" : "avi",
                                     atomic.tempPath().c_str()) < 0 ||
      !ocRaw) {
    return AVIERR_MEMORY;
  }
  struct OutCloser {
    void operator()(AVFormatContext* c) const {
      if (c->pb) avio_closep(&c->pb);
      avformat_free_context(c);
    }
  };
  std::unique_ptr<AVFormatContext, OutCloser> oc(ocRaw);

  bool bottomUp = true;
  std::vector<PacketSource> sources(chosen.size());
  for (size_t i = 0; i < chosen.size(); ++i) {
    ReadStreamObject* rs = chosen[i];
    AVStream* st = avformat_new_stream(oc.get(), nullptr);
    if (!st || avcodec_parameters_copy(st->codecpar, rs->par) < 0) return AVIERR_MEMORY;
    AVCodecParameters* p = st->codecpar;
    // The reader's bottom-up marker is not part of the stored format.
    if (p->extradata_size >= 9 &&
        std::memcmp(p->extradata + p->extradata_size - 9, "BottomUp", 9) == 0) {
      p->extradata_size -= 9;
    } else if (p->codec_type == AVMEDIA_TYPE_VIDEO && p->codec_id == AV_CODEC_ID_RAWVIDEO) {
      bottomUp = false;
    }
    if (p->codec_id == AV_CODEC_ID_RAWVIDEO && p->bits_per_coded_sample <= 8) {
      p->extradata_size = 0;  // the colour table travels with the first packet
    }
    if (wav) p->codec_tag = 0;
    st->time_base = rs->timeBase;
    if (rs->info.fccType == streamtypeVIDEO) {
      st->avg_frame_rate = av_inv_q(rs->timeBase);
      st->r_frame_rate = st->avg_frame_rate;
    }
    sources[i].stream = rs;
    sources[i].out = st;
    HRESULT hr = sources[i].Open();
    if (hr != AVIERR_OK) return hr;
  }

  SaveProgress progress(callback, chosen);
  if (progress.At(0, {1, 1}, true)) return AVIERR_USERABORT;
  if (int e = avio_open(&oc->pb, atomic.tempPath().c_str(), AVIO_FLAG_WRITE); e < 0) {
    WriteFailed(e, error);
    return AVIERR_FILEOPEN;
  }
  AVDictionary* opts = nullptr;
  if (!wav) av_dict_set(&opts, "flipped_raw_rgb", bottomUp ? "1" : "0", 0);
  int r = avformat_write_header(oc.get(), &opts);
  av_dict_free(&opts);
  if (r < 0) return WriteFailed(r, error);

  for (auto& s : sources) s.Advance();
  for (;;) {
    PacketSource* best = nullptr;
    for (auto& s : sources) {
      if (!s.have) continue;
      if (!best) {
        best = &s;
        continue;
      }
      int64_t ta = s.Time(), tb = best->Time();
      if (ta == AV_NOPTS_VALUE ||
          (tb != AV_NOPTS_VALUE &&
           av_compare_ts(ta, s.stream->timeBase, tb, best->stream->timeBase) < 0)) {
        best = &s;
      }
    }
    if (!best) break;
    AVPacket* pkt = best->pkt.get();
    pkt->stream_index = best->out->index;
    pkt->pos = -1;
    if (progress.At(best->Time(), best->stream->timeBase)) return AVIERR_USERABORT;
    av_packet_rescale_ts(pkt, best->stream->timeBase, best->out->time_base);
    if (int e = av_interleaved_write_frame(oc.get(), pkt); e < 0) return WriteFailed(e, error);
    if (oc->pb->error < 0) return WriteFailed(oc->pb->error, error);
    best->Advance();
  }
  if (int e = av_write_trailer(oc.get()); e < 0) return WriteFailed(e, error);
  if (oc->pb->error < 0) return WriteFailed(oc->pb->error, error);
  if (int e = avio_closep(&oc->pb); e < 0) return WriteFailed(e, error);
  if (!atomic.Commit()) {
    error = atomic.error();
    return AVIERR_FILEWRITE;
  }
  progress.Done();
  return AVIERR_OK;
}

HRESULT AVISave(const std::string& path, const void* handler, AVISAVECALLBACK callback,
                PAVISTREAM stream, AVICOMPRESSOPTIONS* options, int* systemError) {
  AVICOMPRESSOPTIONS* list[1] = {options};
  return AVISaveV(path, handler, callback, 1, &stream, list, systemError);
}

}  // namespace zr
