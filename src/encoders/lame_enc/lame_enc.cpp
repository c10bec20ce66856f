// lame_enc.so: the BladeEnc encoder interface (LAME layout) over libmp3lame. The MP3 writer loads it at
// run time; any program that speaks this interface can use it.
//
// Presets: LQP_NOPRESET, LQP_NORMAL_QUALITY, LQP_LOW_QUALITY, LQP_HIGH_QUALITY, LQP_R3MIX and
// LQP_VERYHIGH_QUALITY choose LAME's algorithm quality and never the rate control, so a CBR
// configuration stays CBR at its bit rate; the other presets are refused. Dual channel is refused
// (LAME has none). dwPsyModel is ignored: LAME has one psychoacoustic model.

#include <fcntl.h>
#include <lame/lame.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "encoders/lame_enc/blade_enc.h"

using namespace korvi::blade;

namespace {

constexpr uint8_t kModuleMajor = 1;
constexpr uint8_t kModuleMinor = 0;
constexpr uint8_t kReleaseDay = 7;
constexpr uint8_t kReleaseMonth = 12;
constexpr uint16_t kReleaseYear = 2026;

// What LAME's own documentation gives as the worst case of one encoder call, per channel's samples.
uint32_t WorstCaseOutput(uint32_t samplesPerChannel) { return (samplesPerChannel * 5 + 3) / 4 + 7200; }

struct Stream {
  lame_t lame = nullptr;
  int channels = 2;
  uint32_t chunkSamples = 0;  // of all channels
  uint32_t outputBytes = 0;
  bool writeTag = false;
  bool flushed = false;
  std::vector<uint8_t> tag;  // the final Info/Xing frame, once flushed

  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  ~Stream() {
    if (lame) lame_close(lame);
  }
};

// The streams that are open, so that a stale or made-up handle is refused rather than followed, and
// the tag frame of the last flushed stream for beWriteVBRHeader, which takes no handle.
class Streams {
 public:
  HBE_STREAM Add(Stream* stream) {
    std::lock_guard lock(m_mutex);
    m_live.insert(stream);
    return reinterpret_cast<HBE_STREAM>(stream);
  }
  Stream* Find(HBE_STREAM handle) {
    std::lock_guard lock(m_mutex);
    const auto it = m_live.find(reinterpret_cast<Stream*>(handle));
    return it == m_live.end() ? nullptr : *it;
  }
  bool Remove(HBE_STREAM handle) {
    std::lock_guard lock(m_mutex);
    return m_live.erase(reinterpret_cast<Stream*>(handle)) > 0;
  }
  void SetLastTag(const std::vector<uint8_t>& tag) {
    std::lock_guard lock(m_mutex);
    m_lastTag = tag;
  }
  std::vector<uint8_t> LastTag() {
    std::lock_guard lock(m_mutex);
    return m_lastTag;
  }

 private:
  std::mutex m_mutex;
  std::set<Stream*> m_live;
  std::vector<uint8_t> m_lastTag;
};

Streams& OpenStreams() {
  static Streams streams;
  return streams;
}

bool IsMpeg1Rate(uint32_t hz) { return hz == 32000 || hz == 44100 || hz == 48000; }
bool IsMpeg2Rate(uint32_t hz) { return hz == 16000 || hz == 22050 || hz == 24000; }

// The caller's record, zero-extended when it is an older, shorter one.
bool ReadConfig(const BE_CONFIG* in, BE_CONFIG& out, BE_ERR& error) {
  error = BE_ERR_INVALID_FORMAT_PARAMETERS;
  if (!in) return false;
  if (in->dwConfig != BE_CONFIG_LAME) {
    error = BE_ERR_INVALID_FORMAT;
    return false;
  }
  const size_t size = in->dwStructSize;
  if (size < offsetof(BE_CONFIG, nQuality) + sizeof(in->nQuality)) return false;
  std::memset(&out, 0, sizeof out);
  std::memcpy(&out, in, std::min(size, sizeof out));
  return true;
}

bool SetChannels(lame_t lame, const BE_CONFIG& c, int& channels) {
  MPEG_mode mode;
  switch (c.nMode) {
    case BE_MP3_MODE_STEREO:
      mode = STEREO;
      channels = 2;
      break;
    case BE_MP3_MODE_JSTEREO:
      mode = JOINT_STEREO;
      channels = 2;
      break;
    case BE_MP3_MODE_MONO:
      mode = MONO;
      channels = 1;
      break;
    default:
      return false;
  }
  return lame_set_num_channels(lame, channels) == 0 && lame_set_mode(lame, mode) == 0;
}

bool SetRateControl(lame_t lame, const BE_CONFIG& c) {
  bool ok = true;
  vbr_mode vbr = vbr_off;
  if (c.bEnableVBR) {
    switch (c.nVbrMethod) {
      case VBR_METHOD_NONE:
        vbr = vbr_off;
        break;
      case VBR_METHOD_DEFAULT:
        vbr = vbr_default;
        break;
      case VBR_METHOD_OLD:
        vbr = vbr_rh;
        break;
      case VBR_METHOD_NEW:
      case VBR_METHOD_MTRH:
        vbr = vbr_mtrh;
        break;
      case VBR_METHOD_ABR:
        vbr = vbr_abr;
        break;
      default:
        return false;
    }
  }
  if (c.dwVbrAbr_bps > 0) vbr = vbr_abr;
  ok &= lame_set_VBR(lame, vbr) == 0;
  if (vbr == vbr_off) {
    if (c.dwBitrate > 0) ok &= lame_set_brate(lame, int(c.dwBitrate)) == 0;
    return ok;
  }
  ok &= lame_set_VBR_q(lame, std::clamp(c.nVBRQuality, 0, 9)) == 0;
  if (c.dwBitrate > 0) ok &= lame_set_VBR_min_bitrate_kbps(lame, int(c.dwBitrate)) == 0;
  if (c.dwMaxBitrate > 0) ok &= lame_set_VBR_max_bitrate_kbps(lame, int(c.dwMaxBitrate)) == 0;
  if (vbr == vbr_abr) {
    const uint32_t mean = c.dwVbrAbr_bps > 0 ? (c.dwVbrAbr_bps + 500) / 1000 : c.dwBitrate;
    ok &= lame_set_VBR_mean_bitrate_kbps(lame, int(std::clamp<uint32_t>(mean, 8, 320))) == 0;
  }
  return ok;
}

// LAME's algorithm quality, 0 (best) to 9 (fastest).
bool SetQuality(lame_t lame, const BE_CONFIG& c) {
  int quality = -1;  // LAME's default
  switch (c.nPreset) {
    case LQP_NOPRESET:
    case LQP_NORMAL_QUALITY:
      break;
    case LQP_LOW_QUALITY:
      quality = 9;
      break;
    case LQP_HIGH_QUALITY:
    case LQP_R3MIX:  // a high-quality preset: LAME's "-h"
      quality = 2;
      break;
    case LQP_VERYHIGH_QUALITY:
      quality = 0;
      break;
    default:
      return false;
  }
  // An explicit quality counts only with its complement in the high byte, so that a zero-filled
  // record means "not set".
  const int low = c.nQuality & 0xFF, high = c.nQuality >> 8;
  if (low == (~high & 0xFF)) quality = std::min(low, 9);
  return quality < 0 || lame_set_quality(lame, quality) == 0;
}

// The output rate that keeps the requested MPEG version, or 0 to let LAME choose.
bool SetOutputRate(lame_t lame, const BE_CONFIG& c) {
  uint32_t out = c.dwReSampleRate;
  if (out == 0 && c.dwMpegVersion == MPEG1 && IsMpeg1Rate(c.dwSampleRate)) out = c.dwSampleRate;
  if (out == 0 && c.dwMpegVersion == MPEG2) {
    if (IsMpeg2Rate(c.dwSampleRate))
      out = c.dwSampleRate;
    else if (IsMpeg1Rate(c.dwSampleRate))
      out = c.dwSampleRate / 2;
  }
  return out == 0 || lame_set_out_samplerate(lame, int(out)) == 0;
}

bool SetFlags(lame_t lame, const BE_CONFIG& c) {
  bool ok = lame_set_emphasis(lame, int(c.dwEmphasis)) == 0;
  ok &= lame_set_extension(lame, c.bPrivate ? 1 : 0) == 0;
  ok &= lame_set_error_protection(lame, c.bCRC ? 1 : 0) == 0;
  ok &= lame_set_copyright(lame, c.bCopyright ? 1 : 0) == 0;
  ok &= lame_set_original(lame, c.bOriginal ? 1 : 0) == 0;
  ok &= lame_set_strict_ISO(lame, c.bStrictIso ? 1 : 0) == 0;
  ok &= lame_set_disable_reservoir(lame, c.bNoRes ? 1 : 0) == 0;
  ok &= lame_set_bWriteVbrTag(lame, c.bWriteVBRHeader ? 1 : 0) == 0;
  // The caller writes its own tags.
  lame_set_write_id3tag_automatic(lame, 0);
  return ok;
}

bool Configure(Stream& stream, const BE_CONFIG& c) {
  lame_t lame = stream.lame;
  if (c.dwSampleRate == 0 || lame_set_in_samplerate(lame, int(c.dwSampleRate)) != 0) return false;
  if (c.dwMpegVersion != MPEG1 && c.dwMpegVersion != MPEG2) return false;
  if (!SetChannels(lame, c, stream.channels) || !SetRateControl(lame, c) || !SetQuality(lame, c) ||
      !SetOutputRate(lame, c) || !SetFlags(lame, c))
    return false;
  if (lame_init_params(lame) < 0) return false;
  // lame_get_version: 1 for MPEG-1, 0 for MPEG-2, 2 for MPEG-2.5.
  if ((c.dwMpegVersion == MPEG1) != (lame_get_version(lame) == 1)) return false;
  stream.writeTag = c.bWriteVBRHeader != 0;
  const uint32_t frame = uint32_t(lame_get_framesize(lame));
  stream.chunkSamples = frame * uint32_t(stream.channels);
  stream.outputBytes = WorstCaseOutput(frame);
  return true;
}

// Closes a file descriptor on every way out.
class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }

 private:
  int m_fd;
};

bool IsFrameSync(const uint8_t* b) { return b[0] == 0xFF && (b[1] & 0xE0) == 0xE0; }

// Where the audio starts: after an ID3v2 tag, if the file has one.
off_t AudioStart(int fd) {
  uint8_t head[10];
  if (::pread(fd, head, sizeof head, 0) != ssize_t(sizeof head) || std::memcmp(head, "ID3", 3) != 0) return 0;
  const off_t size = off_t(head[6] & 0x7F) << 21 | off_t(head[7] & 0x7F) << 14 | off_t(head[8] & 0x7F) << 7 |
                     off_t(head[9] & 0x7F);
  const bool footer = (head[5] & 0x10) != 0;
  return size + 10 + (footer ? 10 : 0);
}

// Replaces the placeholder frame that LAME put first with the final tag frame. The placeholder is
// found where the audio starts and must be followed by another frame, an ID3v1 tag or the end.
BE_ERR WriteTagFrame(const char* fileName, const std::vector<uint8_t>& tag) {
  if (!fileName || tag.empty()) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  Fd fd(::open(fileName, O_RDWR | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  const off_t start = AudioStart(fd.get());
  uint8_t here[4], next[4];
  if (::pread(fd.get(), here, 4, start) != 4 || !IsFrameSync(here)) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  const ssize_t after = ::pread(fd.get(), next, 4, start + off_t(tag.size()));
  const bool nextOk =
      after == 0 || (after >= 3 && std::memcmp(next, "TAG", 3) == 0) || (after == 4 && IsFrameSync(next));
  if (!nextOk) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  if (::pwrite(fd.get(), tag.data(), tag.size(), start) != ssize_t(tag.size()))
    return BE_ERR_INVALID_FORMAT_PARAMETERS;
  return BE_ERR_SUCCESSFUL;
}

}  // namespace

#define KORVI_EXPORT extern "C" __attribute__((visibility("default")))

KORVI_EXPORT BE_ERR beInitStream(BE_CONFIG* config, uint32_t* samplesPerChunk, uint32_t* outputBufferBytes,
                                 HBE_STREAM* handle) {
  if (!samplesPerChunk || !outputBufferBytes || !handle) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  BE_CONFIG c;
  BE_ERR error;
  if (!ReadConfig(config, c, error)) return error;
  auto* stream = new Stream;
  stream->lame = lame_init();
  if (!stream->lame) {
    delete stream;
    return BE_ERR_NO_MORE_HANDLES;
  }
  if (!Configure(*stream, c)) {
    delete stream;
    return BE_ERR_INVALID_FORMAT_PARAMETERS;
  }
  *samplesPerChunk = stream->chunkSamples;
  *outputBufferBytes = stream->outputBytes;
  *handle = OpenStreams().Add(stream);
  return BE_ERR_SUCCESSFUL;
}

// Takes any whole number of sample frames up to one chunk; the output buffer holds the size that
// beInitStream reported.
KORVI_EXPORT BE_ERR beEncodeChunk(HBE_STREAM handle, uint32_t nSamples, const int16_t* samples,
                                  uint8_t* output, uint32_t* outputBytes) {
  if (!outputBytes) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  *outputBytes = 0;
  Stream* stream = OpenStreams().Find(handle);
  if (!stream) return BE_ERR_INVALID_HANDLE;
  if (!output || (nSamples > 0 && !samples) || stream->flushed || nSamples % uint32_t(stream->channels) != 0)
    return BE_ERR_INVALID_FORMAT_PARAMETERS;
  if (nSamples > stream->chunkSamples) return BE_ERR_BUFFER_TOO_SMALL;
  const int frames = int(nSamples / uint32_t(stream->channels));
  // LAME only reads the samples; its signature lacks the const.
  short* pcm = const_cast<short*>(reinterpret_cast<const short*>(samples));
  const int size = int(stream->outputBytes);
  const int n = stream->channels == 2
                    ? lame_encode_buffer_interleaved(stream->lame, pcm, frames, output, size)
                    : lame_encode_buffer(stream->lame, pcm, pcm, frames, output, size);
  if (n == -1) return BE_ERR_BUFFER_TOO_SMALL;
  if (n < 0) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  *outputBytes = uint32_t(n);
  return BE_ERR_SUCCESSFUL;
}

KORVI_EXPORT BE_ERR beDeinitStream(HBE_STREAM handle, uint8_t* output, uint32_t* outputBytes) {
  if (!outputBytes) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  *outputBytes = 0;
  Stream* stream = OpenStreams().Find(handle);
  if (!stream) return BE_ERR_INVALID_HANDLE;
  if (!output || stream->flushed) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  const int n = lame_encode_flush(stream->lame, output, int(stream->outputBytes));
  if (n < 0) return BE_ERR_BUFFER_TOO_SMALL;
  stream->flushed = true;
  *outputBytes = uint32_t(n);
  if (stream->writeTag) {
    stream->tag.resize(lame_get_lametag_frame(stream->lame, nullptr, 0));
    const size_t got = lame_get_lametag_frame(stream->lame, stream->tag.data(), stream->tag.size());
    if (got > stream->tag.size()) stream->tag.clear();
    OpenStreams().SetLastTag(stream->tag);
  }
  return BE_ERR_SUCCESSFUL;
}

KORVI_EXPORT BE_ERR beCloseStream(HBE_STREAM handle) {
  if (!OpenStreams().Remove(handle)) return BE_ERR_INVALID_HANDLE;
  delete reinterpret_cast<Stream*>(handle);
  return BE_ERR_SUCCESSFUL;
}

KORVI_EXPORT void beVersion(BE_VERSION* version) {
  if (!version) return;
  std::memset(version, 0, sizeof *version);
  version->byDLLMajorVersion = kModuleMajor;
  version->byDLLMinorVersion = kModuleMinor;
  lame_version_t engine;
  get_lame_version_numerical(&engine);
  version->byMajorVersion = uint8_t(engine.major);
  version->byMinorVersion = uint8_t(engine.minor);
  version->byAlphaLevel = uint8_t(engine.alpha);
  version->byBetaLevel = uint8_t(engine.beta);
  version->byDay = kReleaseDay;
  version->byMonth = kReleaseMonth;
  version->wYear = kReleaseYear;
  std::strncpy(version->zHomepage, get_lame_url(), BE_MAX_HOMEPAGE);
}

// Writes the final tag frame of the last stream flushed with bWriteVBRHeader into the file.
KORVI_EXPORT BE_ERR beWriteVBRHeader(const char* fileName) {
  return WriteTagFrame(fileName, OpenStreams().LastTag());
}

// Writes the stream's final tag frame into the file (when its configuration asked for one) and closes
// the stream: it takes the place of beCloseStream.
KORVI_EXPORT BE_ERR beWriteInfoTag(HBE_STREAM handle, const char* fileName) {
  Stream* stream = OpenStreams().Find(handle);
  if (!stream) return BE_ERR_INVALID_HANDLE;
  BE_ERR result = BE_ERR_SUCCESSFUL;
  // At the lowest bit rates a frame cannot hold the tag: LAME then neither keeps a frame for it nor
  // gives one, and there is nothing to write.
  if (stream->writeTag && !stream->flushed)
    result = BE_ERR_INVALID_FORMAT_PARAMETERS;
  else if (stream->writeTag && !stream->tag.empty())
    result = WriteTagFrame(fileName, stream->tag);
  if (OpenStreams().Remove(handle)) delete stream;
  return result;
}
