#include "mpeg/mux.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

namespace zr::mpeg {

namespace {

// Streams past this size are refused before anything is sized from them.
constexpr uint64_t kMaxStreamBytes = uint64_t(1) << 40;
// A single access unit longer than this is no picture or audio frame we can model.
constexpr uint64_t kMaxUnitBytes = uint64_t(1) << 30;
constexpr uint64_t kTimestampMask = (uint64_t(1) << 33) - 1;

using u128 = unsigned __int128;

uint64_t CeilDiv(u128 a, u128 b) { return uint64_t((a + b - 1) / b); }

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool StreamSize(std::FILE* f, uint64_t& size) {
  if (std::fseek(f, 0, SEEK_END) != 0) return false;
  long end = std::ftell(f);
  if (end < 0 || std::fseek(f, 0, SEEK_SET) != 0) return false;
  size = uint64_t(end);
  return true;
}

// Access unit records live in an unnamed temporary file, so a long stream costs no
// memory and nothing is ever left behind or written into the user's folders.
struct Unit {
  uint32_t length = 0;
  uint32_t type = 0;  // picture_coding_type for video, 0 for audio
  Timestamp dts = 0, pts = 0;
};

class RecordFile {
 public:
  bool Open() {
    file_.reset(std::tmpfile());
    return file_ != nullptr;
  }
  bool Append(const Unit& u) {
    uint8_t rec[24];
    Put32(rec, u.length);
    Put32(rec + 4, u.type);
    Put32(rec + 8, uint32_t(u.dts >> 32));
    Put32(rec + 12, uint32_t(u.dts));
    Put32(rec + 16, uint32_t(u.pts >> 32));
    Put32(rec + 20, uint32_t(u.pts));
    ++count_;
    return std::fwrite(rec, sizeof rec, 1, file_.get()) == 1;
  }
  bool Rewind() {
    return std::fflush(file_.get()) == 0 && std::fseek(file_.get(), 0, SEEK_SET) == 0;
  }
  bool Read(Unit& u) {
    uint8_t rec[24];
    if (std::fread(rec, sizeof rec, 1, file_.get()) != 1) return false;
    u.length = Get32(rec);
    u.type = Get32(rec + 4);
    u.dts = (uint64_t(Get32(rec + 8)) << 32) | Get32(rec + 12);
    u.pts = (uint64_t(Get32(rec + 16)) << 32) | Get32(rec + 20);
    return true;
  }
  uint64_t count() const { return count_; }

 private:
  static void Put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
  }
  static uint32_t Get32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
  }
  FilePtr file_;
  uint64_t count_ = 0;
};

class ByteReader {
 public:
  explicit ByteReader(std::FILE* f) : f_(f) {}
  // Next byte, or -1 at the end.
  int Get() {
    if (at_ == end_) {
      end_ = std::fread(buf_, 1, sizeof buf_, f_);
      at_ = 0;
      if (end_ == 0) return -1;
    }
    ++pos_;
    return buf_[at_++];
  }
  uint64_t pos() const { return pos_; }

 private:
  std::FILE* f_;
  uint8_t buf_[65536];
  size_t at_ = 0, end_ = 0;
  uint64_t pos_ = 0;
};

// Ticks of `count` picture periods, exact for the 1001-based rates.
Timestamp PictureTicks(uint64_t count, unsigned num, unsigned den) {
  return Timestamp(u128(count) * 90000u * den / num);
}

bool Fail(ConvertLog& log, const std::string& text) {
  log.Line("Error: " + text);
  return false;
}

bool ScanVideo(std::FILE* f, uint64_t size, RecordFile& records, VideoStreamInfo& info,
               ConvertLog& log) {
  if (size > kMaxStreamBytes) return Fail(log, "MPEG Video stream is too large.");
  uint8_t h[12];
  if (size < sizeof h || std::fread(h, 1, sizeof h, f) != sizeof h ||
      !(h[0] == 0 && h[1] == 0 && h[2] == 1 && h[3] == kSequenceHeaderCode))
    return Fail(log, "Invalid MPEG Video stream header.");
  info.horizontal_size = (unsigned(h[4]) << 4) | (h[5] >> 4);
  info.vertical_size = (unsigned(h[5] & 15) << 8) | h[6];
  info.pel_aspect_ratio = h[7] >> 4;
  info.picture_rate = h[7] & 15;
  info.bit_rate = (unsigned(h[8]) << 10) | (unsigned(h[9]) << 2) | (h[10] >> 6);
  if (!(h[10] & 0x20))
    return Fail(log, "error in MPEG stream at offset (bits) 82: supposed marker bit not found.");
  info.vbv_buffer_size = (unsigned(h[10] & 0x1F) << 5) | (h[11] >> 3);
  info.constrained = (h[11] >> 2) & 1;
  unsigned num, den;
  if (!PictureRate(info.picture_rate, num, den))
    return Fail(log, "Invalid MPEG Video stream header.");
  if (std::fseek(f, 0, SEEK_SET) != 0) return Fail(log, "cannot read the MPEG Video stream.");

  ByteReader in(f);
  uint64_t spanStart = 0;  // where the next record begins
  uint64_t n = 0, g = 0;   // decoding number, pictures since the last GOP header
  bool pending = false;    // a picture whose record is still open
  Unit pend;
  bool held = false;  // the last completed record, written late so trailing bytes can join it
  Unit last;
  uint64_t sums[4] = {};
  int zeros = 0;
  int headerWanted = 0;  // bytes of temporal_reference/picture_coding_type still to come
  uint8_t header[2] = {};

  auto finishHeader = [&]() {
    unsigned tr = (unsigned(header[0]) << 2) | (header[1] >> 6);
    unsigned type = (header[1] >> 3) & 7;
    pend.type = type;
    pend.dts = PictureTicks(n, num, den);
    pend.pts = PictureTicks(tr + n - g + 1, num, den);
    if (info.pictureCount == 0 || pend.pts < info.firstPts) info.firstPts = pend.pts;
    ++info.pictureCount;
    ++info.pictures[type < 4 ? type : 0];
    ++n, ++g;
    headerWanted = 0;
  };
  auto cutHeader = [&]() {  // a picture header cut short: stamp it as far as it goes
    if (headerWanted == 0) return;
    if (headerWanted == 2) header[0] = 0;
    header[1] = 0;
    finishHeader();
  };
  auto complete = [&](uint64_t end) {
    cutHeader();
    uint64_t length = end - spanStart;
    if (length == 0 || length > kMaxUnitBytes) return false;
    if (held && !records.Append(last)) return false;
    last = pend;
    last.length = uint32_t(length);
    if (!held) info.firstUnitLength = last.length;
    held = true;
    sums[pend.type < 4 ? pend.type : 0] += length;
    spanStart = end;
    pending = false;
    return true;
  };

  for (int b; (b = in.Get()) >= 0;) {
    if (b == 1 && zeros >= 2) {
      uint64_t codeStart = in.pos() - 3;
      int code = in.Get();
      zeros = 0;
      if (code < 0) break;
      if (code == kPictureStartCode) {
        if (pending && !complete(codeStart)) return Fail(log, "MPEG Video picture is too large.");
        pending = true;
        pend = Unit{};
        headerWanted = 2;
      } else {
        cutHeader();
        if (code == kGroupStartCode) {
          ++info.gops;
          g = 0;
        } else if (code == kSequenceHeaderCode) {
          ++info.sequenceHeaders;
        } else if (code == kSequenceEndCode) {
          ++info.sequenceEnds;
          if (pending && !complete(in.pos())) return Fail(log, "MPEG Video picture is too large.");
        }
      }
      continue;
    }
    if (headerWanted > 0) {
      header[2 - headerWanted] = uint8_t(b);
      if (headerWanted == 1)
        finishHeader();
      else
        headerWanted = 1;
    }
    zeros = b == 0 ? zeros + 1 : 0;
  }
  uint64_t end = in.pos();
  if (pending && !complete(end)) return Fail(log, "MPEG Video picture is too large.");
  if (!held) return Fail(log, "MPEG Video stream holds no pictures.");
  if (end > spanStart) {  // bytes after the last picture travel with it
    if (last.length + (end - spanStart) > kMaxUnitBytes)
      return Fail(log, "MPEG Video picture is too large.");
    sums[last.type < 4 ? last.type : 0] += end - spanStart;
    last.length += uint32_t(end - spanStart);
  }
  if (!records.Append(last)) return Fail(log, "cannot write the multiplexer's records.");
  info.bytes = end;
  for (int t = 0; t < 4; ++t)
    info.averageSize[t] = info.pictures[t] ? sums[t] / info.pictures[t] : 0;
  // Bytes per picture over the period, in units of 400 bit/s rounded up to 10 kbit/s.
  info.comp_bit_rate =
      unsigned(CeilDiv(u128(info.bytes) * num * 8, u128(info.pictureCount) * den * 10000) * 25);
  return true;
}

struct AudioHeader {
  unsigned id, layer, protection, bitrate_index, sampling_frequency, padding;
  unsigned mode, mode_extension, copyright, original, emphasis;
};

bool ParseAudioHeader(const uint8_t* p, AudioHeader& h) {
  if (p[0] != 0xFF || (p[1] & 0xF0) != 0xF0) return false;
  h.id = (p[1] >> 3) & 1;
  h.layer = 4 - ((p[1] >> 1) & 3);  // '10' is layer II
  h.protection = p[1] & 1;
  h.bitrate_index = p[2] >> 4;
  h.sampling_frequency = (p[2] >> 2) & 3;
  h.padding = (p[2] >> 1) & 1;
  h.mode = p[3] >> 6;
  h.mode_extension = (p[3] >> 4) & 3;
  h.copyright = (p[3] >> 3) & 1;
  h.original = (p[3] >> 2) & 1;
  h.emphasis = p[3] & 3;
  // Only MPEG-1 layer II with a tabled rate can be timed and sized here.
  return h.id == 1 && h.layer == 2 && Layer2BitRate(h.bitrate_index) != 0 &&
         h.sampling_frequency < 3;
}

constexpr unsigned kSampleRates[3] = {44100, 48000, 32000};
constexpr unsigned kSamplesPerFrame = 1152;

bool ScanAudio(std::FILE* f, uint64_t size, Timestamp firstVideoPts, RecordFile& records,
               AudioStreamInfo& info, ConvertLog& log) {
  if (size > kMaxStreamBytes) return Fail(log, "MPEG Audio stream is too large.");
  uint8_t p[4];
  AudioHeader h;
  if (size < 4 || std::fread(p, 1, 4, f) != 4 || !ParseAudioHeader(p, h))
    return Fail(log, "Invalid MPEG Audio stream header.");
  info.id = h.id, info.layer = h.layer, info.protection = h.protection;
  info.bitrate_index = h.bitrate_index, info.sampling_frequency = h.sampling_frequency;
  info.mode = h.mode, info.mode_extension = h.mode_extension, info.copyright = h.copyright;
  info.original = h.original, info.emphasis = h.emphasis;
  info.kbitRate = unsigned(Layer2BitRate(h.bitrate_index));
  info.sampleRate = kSampleRates[h.sampling_frequency];
  info.frameLength = info.kbitRate * 144000 / info.sampleRate;
  info.paddedFrameLength = info.frameLength + 1;

  uint64_t pos = 0;
  for (uint64_t k = 0;; ++k) {
    unsigned length = info.kbitRate * 144000 / info.sampleRate + h.padding;
    (h.padding ? info.framesPadded : info.framesUnpadded)++;
    Unit u;
    u.length = unsigned(std::min<uint64_t>(length, size - pos));
    u.pts = Timestamp(u128(k) * kSamplesPerFrame * 90000 / info.sampleRate) + firstVideoPts;
    if (k == 0) info.firstUnitLength = u.length;
    if (!records.Append(u)) return Fail(log, "cannot write the multiplexer's records.");
    pos += u.length;
    if (size - pos < 4) break;
    AudioHeader next;
    if (std::fseek(f, long(pos), SEEK_SET) != 0 || std::fread(p, 1, 4, f) != 4 ||
        !ParseAudioHeader(p, next) || next.sampling_frequency != h.sampling_frequency)
      break;
    h = next;
  }
  info.bytes = pos;
  return true;
}

// One elementary stream as the output loop sees it.
class StreamFeed {
 public:
  StreamFeed(RecordFile& records, std::FILE* data, Timestamp delay, bool video)
      : records_(records), data_(data), delay_(delay), video_(video) {}

  bool Start(uint64_t totalBytes) {
    left_ = totalBytes;
    return records_.Rewind() && std::fseek(data_, 0, SEEK_SET) == 0 && Load(cur_) &&
           (haveNext_ = Load(next_), true);
  }
  bool remains() const { return left_ > 0; }
  uint64_t unitLeft() const { return unitLeft_; }
  Timestamp dts() const { return cur_.dts; }
  Timestamp pts() const { return cur_.pts; }
  // When the decoder takes the current unit out of its buffer.
  Timestamp removal() const { return video_ ? cur_.dts : cur_.pts; }

  uint64_t bufferUsed() const { return used_; }
  void Drain(Timestamp scr) {
    while (!queue_.empty() && queue_.front().second <= scr) {
      used_ -= queue_.front().first;
      queue_.pop_front();
    }
  }

  // Fills `out` with the next packet's payload (at most `max` bytes) and says which
  // unit's stamps it carries; false when the data cannot be read.
  bool Take(uint8_t* out, size_t max, size_t& got, bool& stamped, Unit& stamps) {
    size_t want = size_t(std::min<uint64_t>(max, left_));
    stamped = false;
    if (!sentAny_) {
      stamped = true, stamps = cur_;
    } else if (unitLeft_ < want && haveNext_) {
      stamped = true, stamps = next_;
    }
    if (std::fread(out, 1, want, data_) != want) return false;
    got = want;
    left_ -= want;
    while (want > 0) {
      uint64_t part = std::min<uint64_t>(want, unitLeft_);
      queue_.emplace_back(part, removal());
      used_ += part;
      unitLeft_ -= part;
      want -= size_t(part);
      sentAny_ = true;
      if (unitLeft_ == 0) {
        if (!haveNext_) {
          // Records ran out before the data: only possible if the file changed.
          if (left_ > 0 || want > 0) return false;
          break;
        }
        cur_ = next_;
        unitLeft_ = cur_.length;
        sentAny_ = false;
        haveNext_ = Load(next_);
      }
    }
    return true;
  }

 private:
  bool Load(Unit& u) {
    if (!records_.Read(u)) return false;
    u.dts += delay_;
    u.pts += delay_;
    if (&u == &cur_) unitLeft_ = u.length;
    return true;
  }

  RecordFile& records_;
  std::FILE* data_;
  Timestamp delay_;
  bool video_;
  Unit cur_, next_;
  bool haveNext_ = false, sentAny_ = false;
  uint64_t unitLeft_ = 0, left_ = 0, used_ = 0;
  std::deque<std::pair<uint64_t, Timestamp>> queue_;
};

void PutTimestamp(uint8_t* p, unsigned prefix, Timestamp t) {
  t &= kTimestampMask;
  p[0] = uint8_t((prefix << 4) | ((t >> 29) & 0x0E) | 1);
  p[1] = uint8_t(t >> 22);
  p[2] = uint8_t(((t >> 14) & 0xFE) | 1);
  p[3] = uint8_t(t >> 7);
  p[4] = uint8_t(((t << 1) & 0xFE) | 1);
}

void PutPackHeader(uint8_t* p, Timestamp scr, uint32_t muxRate) {
  p[0] = 0, p[1] = 0, p[2] = 1, p[3] = kPackStartCode;
  PutTimestamp(p + 4, 0x2, scr);
  p[9] = uint8_t(0x80 | (muxRate >> 15));
  p[10] = uint8_t(muxRate >> 7);
  p[11] = uint8_t((muxRate << 1) | 1);
}

void PutSystemHeader(uint8_t* p, uint32_t rateBound) {
  p[0] = 0, p[1] = 0, p[2] = 1, p[3] = kSystemHeaderStartCode;
  p[4] = 0, p[5] = 12;
  p[6] = uint8_t(0x80 | (rateBound >> 15));
  p[7] = uint8_t(rateBound >> 7);
  p[8] = uint8_t((rateBound << 1) | 1);
  p[9] = (1 << 2) | (1 << 1) | 1;  // audio_bound 1, fixed_flag, CSPS_flag
  p[10] = 0x80 | 0x40 | 0x20 | 1;  // audio and video locked, marker, video_bound 1
  p[11] = 0xFF;
  // Audio first: scale 0 × 128 bytes; video: scale 1 × 1024 bytes.
  p[12] = kAudioStreamId, p[13] = 0xC0 | 0x00, p[14] = kAudioStdBuffer / 128;
  p[15] = kVideoStreamId, p[16] = 0xC0 | 0x20, p[17] = kVideoStdBuffer / 1024;
}

// A media packet: 21-byte header then the payload already placed after it.
void PutMediaPacket(uint8_t* p, uint8_t id, size_t payload, bool stamped, const Unit& s,
                    bool video) {
  size_t length = kPacketHeaderSize - 6 + payload;
  p[0] = 0, p[1] = 0, p[2] = 1, p[3] = id;
  p[4] = uint8_t(length >> 8), p[5] = uint8_t(length);
  bool dts = stamped && video && s.type != 3;  // B pictures are presented as decoded
  size_t stampBytes = !stamped ? 1 : dts ? 10 : 5;
  size_t stuffing = kPacketHeaderSize - 6 - 2 - stampBytes;
  std::memset(p + 6, 0xFF, stuffing);
  uint8_t* q = p + 6 + stuffing;
  if (video) {
    q[0] = 0x40 | 0x20 | 0x00, q[1] = kVideoStdBuffer / 1024;
  } else {
    q[0] = 0x40, q[1] = kAudioStdBuffer / 128;
  }
  q += 2;
  if (!stamped) {
    q[0] = 0x0F;
  } else if (dts) {
    PutTimestamp(q, 0x3, s.pts);
    PutTimestamp(q + 5, 0x1, s.dts);
  } else {
    PutTimestamp(q, 0x2, s.pts);
  }
}

}  // namespace

bool MultiplexStreams(std::FILE* video, std::FILE* audio, std::FILE* output, ConvertLog& log,
                      MuxReport& report, const MuxLimits& limits) {
  report = MuxReport{};
  uint64_t videoSize = 0, audioSize = 0;
  if (!StreamSize(video, videoSize)) return Fail(log, "cannot read the MPEG Video stream.");
  if (!StreamSize(audio, audioSize)) return Fail(log, "cannot read the MPEG Audio stream.");
  RecordFile videoRecords, audioRecords;
  if (!videoRecords.Open() || !audioRecords.Open())
    return Fail(log, "cannot create the multiplexer's records.");
  if (!ScanVideo(video, videoSize, videoRecords, report.video, log)) return false;
  if (!ScanAudio(audio, audioSize, report.video.firstPts, audioRecords, report.audio, log))
    return false;

  report.video_rate = 50 * uint64_t(std::max(report.video.bit_rate, report.video.comp_bit_rate));
  report.audio_rate = uint64_t(report.audio.kbitRate) * 128;
  uint64_t dmux =
      CeilDiv(u128(report.video_rate + report.audio_rate) * kSectorSize, kPacketPayload);
  uint64_t muxRate = CeilDiv(dmux, 50);
  if (muxRate == 0 || muxRate >= (1u << 22)) return Fail(log, "MPEG stream rate is too high.");
  report.mux_rate = uint32_t(muxRate);
  report.dmux_rate = muxRate * 50;
  const uint64_t rate = report.dmux_rate;
  uint64_t startSectors = 8 + CeilDiv(report.video.firstUnitLength, kPacketPayload) +
                          CeilDiv(report.audio.firstUnitLength, kPacketPayload);
  report.startupDelay = Timestamp(u128(startSectors) * kSectorSize * 90000 / rate);

  uint64_t cap = limits.maxOutputBytes ? limits.maxOutputBytes
                                       : 64 * (videoSize + audioSize) + (uint64_t(64) << 20);
  StreamFeed v(videoRecords, video, report.startupDelay, true);
  StreamFeed a(audioRecords, audio, report.startupDelay, false);
  if (!v.Start(report.video.bytes) || !a.Start(report.audio.bytes))
    return Fail(log, "cannot read the multiplexer's records.");

  auto ticks = [rate](uint64_t bytes) { return Timestamp(u128(bytes) * 90000 / rate); };
  // When the rest of the current unit could have arrived if sent from now on.
  auto nextTime = [&](const StreamFeed& s) {
    uint64_t len = s.unitLeft();
    uint64_t bytes = report.bytesWritten + (len / kPacketPayload + 2) * kSectorSize +
                     len % kPacketPayload - kPacketPayload;
    return ticks(bytes);
  };

  alignas(16) uint8_t sector[4096];
  const uint64_t inputBytes = std::max<uint64_t>(1, report.video.bytes + report.audio.bytes);
  auto lastReport = std::chrono::steady_clock::now();
  uint64_t sectors = 0;
  while (v.remains() || a.remains()) {
    if ((++sectors & 15) == 0) {
      auto now = std::chrono::steady_clock::now();
      if (now - lastReport >= std::chrono::milliseconds(50)) {
        lastReport = now;
        uint64_t sent = report.bytesWritten * kPacketPayload / kSectorSize;
        log.Percent(int(std::min<uint64_t>(99, sent * 100 / inputBytes)));
        if (log.CancelRequested()) {
          report.cancelled = true;
          return false;
        }
      }
    }
    if (report.bytesWritten > cap)
      return Fail(log,
                  "multiplexing makes no progress (the stream's time stamps and rates disagree).");
    Timestamp scr = ticks(report.bytesWritten + 9);
    Timestamp videoNext = nextTime(v), audioNext = nextTime(a);
    v.Drain(scr);
    a.Drain(scr);
    bool videoRoom = kVideoStdBuffer - v.bufferUsed() >= uint64_t(kPacketPayload);
    bool audioRoom = kAudioStdBuffer - a.bufferUsed() >= uint64_t(kPacketPayload);
    bool videoLate = v.remains() && v.dts() < videoNext;
    bool audioLate = a.remains() && a.pts() < audioNext;
    enum { kVideo, kAudio, kPadding } choice;
    if (videoRoom && v.remains() && !audioLate) {
      choice = kVideo;
    } else if (audioRoom && a.remains() && !videoLate) {
      choice = kAudio;
    } else if (audioRoom && audioLate) {
      choice = kAudio;
      report.audioTimedOut = true;
    } else if (!videoRoom) {
      choice = kPadding;
    } else if (videoLate) {
      choice = kVideo;
      report.videoTimedOut = true;
    } else {
      choice = kPadding;
    }

    PutPackHeader(sector, scr, report.mux_rate);
    PutSystemHeader(sector + kPackHeaderSize, report.mux_rate);
    uint8_t* packet = sector + kPackHeaderSize + kSystemHeaderSize;
    size_t sectorBytes = kSectorSize;
    if (choice == kPadding) {
      size_t length = kSectorSize - kPackHeaderSize - kSystemHeaderSize - 6;
      packet[0] = 0, packet[1] = 0, packet[2] = 1, packet[3] = kPaddingStreamId;
      packet[4] = uint8_t(length >> 8), packet[5] = uint8_t(length);
      std::memset(packet + 6, 0xFF, length);
      ++report.paddingPackets;
    } else {
      bool isVideo = choice == kVideo;
      StreamFeed& s = isVideo ? v : a;
      size_t got = 0;
      bool stamped = false;
      Unit stamps;
      if (!s.Take(packet + kPacketHeaderSize, kPacketPayload, got, stamped, stamps))
        return Fail(log, isVideo ? "the MPEG Video stream changed while multiplexing."
                                 : "the MPEG Audio stream changed while multiplexing.");
      PutMediaPacket(packet, isVideo ? kVideoStreamId : kAudioStreamId, got, stamped, stamps,
                     isVideo);
      sectorBytes = kSectorSize - kPacketPayload + got;
      ++(isVideo ? report.videoPackets : report.audioPackets);
    }
    if (std::fwrite(sector, 1, sectorBytes, output) != sectorBytes) {
      report.writeError = errno;
      return Fail(log, "cannot write the MPEG output.");
    }
    report.bytesWritten += sectorBytes;
  }
  const uint8_t end[4] = {0, 0, 1, kIsoEndCode};
  if (std::fwrite(end, 1, 4, output) != 4 || std::fflush(output) != 0) {
    report.writeError = errno;
    return Fail(log, "cannot write the MPEG output.");
  }
  report.bytesWritten += 4;
  log.Percent(100);
  return true;
}

bool Multiplex(const std::string& videoPath, const std::string& audioPath,
               const std::string& outputPath, ConvertLog& log, MuxReport& report,
               const MuxLimits& limits) {
  report = MuxReport{};
  FilePtr video(std::fopen(videoPath.c_str(), "rb"));
  if (!video) return Fail(log, "File " + videoPath + " not found.");
  FilePtr audio(std::fopen(audioPath.c_str(), "rb"));
  if (!audio) return Fail(log, "File " + audioPath + " not found.");
  FilePtr out(std::fopen(outputPath.c_str(), "wb"));
  if (!out) {
    report.writeError = errno;
    return Fail(log, "cannot create " + outputPath + ".");
  }
  std::vector<char> buffer(1 << 16);
  std::setvbuf(out.get(), buffer.data(), _IOFBF, buffer.size());
  bool ok = MultiplexStreams(video.get(), audio.get(), out.get(), log, report, limits);
  if (std::fclose(out.release()) != 0 && ok) {
    report.writeError = errno;
    ok = Fail(log, "cannot write " + outputPath + ".");
  }
  return ok;
}

}  // namespace zr::mpeg
