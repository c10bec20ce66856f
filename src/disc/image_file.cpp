#include "disc/image_file.h"

#include <FLAC/stream_decoder.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "common/fs_util.h"
#include "common/little_endian.h"
#include "common/riff_chunks.h"
#include "disc/cdrom_toc.h"

namespace korvi {
namespace {

constexpr int64_t kSampleBytes = 4;  // one stereo sample: two 16-bit words

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

// "byte 190000 (sector 80 + 1840 bytes)": the sector is what a user can find in the cue sheet.
std::string BytePosition(int64_t byte) {
  std::string text = "byte " + std::to_string(byte) + " (sector " + std::to_string(byte / kRawSectorBytes);
  if (byte % kRawSectorBytes != 0) text += " + " + std::to_string(byte % kRawSectorBytes) + " bytes";
  return text + ")";
}

// A read that does not fit in size bytes: the cause, or empty when it fits.
std::string OutOfRange(const std::string& name, int64_t size, int64_t offset, size_t length) {
  if (offset >= 0 && offset <= size && length <= uint64_t(size - offset)) return {};
  return name + ": cannot read " + std::to_string(length) + " bytes at byte " + std::to_string(offset) +
         ": the audio ends at " + BytePosition(size);
}

std::string Layout(uint32_t rate, uint32_t channels, uint32_t bits) {
  return std::to_string(rate) + " Hz, " + std::to_string(channels) +
         (channels == 1 ? " channel, " : " channels, ") + std::to_string(bits) + " bits";
}

// A regular file opened for reading, with its size then; a pipe or a device there is refused at
// once rather than waited on.
bool OpenDataFile(const std::string& name, UniqueFd* fd, int64_t* size, std::string* error) {
  uint64_t bytes = 0;
  *fd = OpenRegularFile(name, error, &bytes);
  *size = int64_t(bytes);
  return fd->Valid();
}

// A stretch of a file that holds CD audio as it is (a bin, a WAVE file's data chunk) or with the
// bytes of each 16-bit word swapped (a big-endian bin).
class RawAudioFile final : public ImageDataFile {
 public:
  RawAudioFile(std::string name, UniqueFd fd, int64_t start, int64_t size, bool swapWords)
      : m_name(std::move(name)), m_fd(std::move(fd)), m_start(start), m_size(size), m_swapWords(swapWords) {}

  int64_t Size() const override { return m_size; }

  bool Read(int64_t offset, uint8_t* out, size_t length, std::string* error) override {
    if (std::string cause = OutOfRange(m_name, m_size, offset, length); !cause.empty())
      return Fail(error, std::move(cause));
    if (!m_swapWords) return ReadSpan(offset, out, length, error);
    // Swapped, output byte i is file byte i ^ 1 within whole words; m_size is even, so the words a
    // range touches are all in the file. Aligned ranges (whole sectors) are swapped in place.
    const int64_t first = offset & ~int64_t(1);
    const int64_t end = (offset + int64_t(length) + 1) & ~int64_t(1);
    if (first == offset && end == offset + int64_t(length)) {
      if (!ReadSpan(offset, out, length, error)) return false;
      for (size_t i = 0; i + 1 < length; i += 2) std::swap(out[i], out[i + 1]);
      return true;
    }
    std::vector<uint8_t> words(size_t(end - first));
    if (!ReadSpan(first, words.data(), words.size(), error)) return false;
    for (size_t i = 0; i < length; ++i) out[i] = words[size_t(offset - first + int64_t(i)) ^ 1];
    return true;
  }

 private:
  bool ReadSpan(int64_t offset, uint8_t* out, size_t length, std::string* error) {
    const int64_t n = ReadFull(m_fd.Get(), out, length, m_start + offset);
    if (n < 0)
      return Fail(error,
                  "cannot read " + m_name + " at " + BytePosition(offset) + ": " + std::strerror(errno));
    if (size_t(n) < length) {
      // The file was cut short since it was opened.
      return Fail(error, m_name + ": the audio now ends at " + BytePosition(offset + n) + ", not at " +
                             BytePosition(m_size) + " as when it was opened");
    }
    return true;
  }

  std::string m_name;
  UniqueFd m_fd;
  int64_t m_start;
  int64_t m_size;
  bool m_swapWords;
};

std::unique_ptr<ImageDataFile> OpenRaw(const std::string& name, bool swapWords, std::string* error) {
  UniqueFd fd;
  int64_t size = 0;
  if (!OpenDataFile(name, &fd, &size, error)) return nullptr;
  // Swapped files are read in whole words; a last odd byte is half a sample, not audio.
  if (swapWords) size &= ~int64_t(1);
  return std::make_unique<RawAudioFile>(name, std::move(fd), 0, size, swapWords);
}

// ---- RIFF WAVE ----

constexpr uint16_t kWaveFormatPcm = 0x0001;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
// KSDATAFORMAT_SUBTYPE_PCM, as it is stored.
constexpr std::array<uint8_t, 16> kPcmSubFormat = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                   0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr size_t kExtensibleFormatBytes = 40;

std::string WaveRefusal(const std::string& name, const std::string& what) {
  return name + ": " + what + ": only 44100 Hz 16-bit stereo PCM can be read as CD audio";
}

// Checks a fmt chunk of size bytes whose body starts at offset.
bool CheckWaveFormat(const ByteSource& source, int64_t fileSize, int64_t offset, uint32_t size,
                     const std::string& name, std::string* error) {
  if (size < 16)
    return Fail(error, name + ": the fmt chunk has " + std::to_string(size) + " bytes, too few for a format");
  std::array<uint8_t, kExtensibleFormatBytes> fmt{};
  const size_t wanted = std::min<size_t>(size, fmt.size());
  if (offset + int64_t(wanted) > fileSize || source(uint64_t(offset), fmt.data(), wanted) != int64_t(wanted))
    return Fail(error, name + ": the fmt chunk runs past the end of the file");
  const uint16_t tag = GetLe16(&fmt[0]);
  if (tag == kWaveFormatExtensible) {
    if (size < kExtensibleFormatBytes)
      return Fail(error, name + ": the fmt chunk has " + std::to_string(size) +
                             " bytes, too few for WAVE_FORMAT_EXTENSIBLE");
    if (!std::equal(kPcmSubFormat.begin(), kPcmSubFormat.end(), fmt.begin() + 24))
      return Fail(error, WaveRefusal(name, "WAVE_FORMAT_EXTENSIBLE with a sub-format other than PCM"));
  } else if (tag != kWaveFormatPcm) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%04X", tag);
    return Fail(error, WaveRefusal(name, std::string("WAVE format ") + hex + ", not integer PCM"));
  }
  const uint16_t channels = GetLe16(&fmt[2]);
  const uint32_t rate = GetLe32(&fmt[4]);
  const uint16_t blockAlign = GetLe16(&fmt[12]);
  const uint16_t bits = GetLe16(&fmt[14]);
  if (channels != 2 || rate != 44100 || bits != 16)
    return Fail(error, WaveRefusal(name, Layout(rate, channels, bits)));
  if (blockAlign != kSampleBytes) {
    return Fail(error, WaveRefusal(name, Layout(rate, channels, bits) + " in blocks of " +
                                             std::to_string(blockAlign) + " bytes"));
  }
  return true;
}

}  // namespace

// Lenient: the chunks are walked to the end of the file as it is, and a data chunk's size is
// taken with a grain of salt.
bool FindWaveImageData(const ByteSource& source, int64_t fileSize, const std::string& name,
                       WaveImageData* data, std::string* error) {
  bool haveFormat = false;
  bool failed = false;
  const RiffWalk walk =
      WalkRiffChunks(source, uint64_t(fileSize), RiffRule::kLenient, [&](const RiffChunk& chunk) {
        if (IsChunk(chunk, "fmt ")) {
          failed = !CheckWaveFormat(source, fileSize, int64_t(chunk.body), chunk.size, name, error);
          haveFormat = true;
          return !failed;
        }
        if (!IsChunk(chunk, "data")) return true;
        if (!haveFormat) {
          failed = !Fail(error, name + ": the data chunk comes before any fmt chunk");
          return false;
        }
        // Writers that stream (to a pipe, or while recording) leave the size at 0 or 0xFFFFFFFF, or
        // the file was cut short: then the audio is what the file holds, in whole samples.
        const int64_t present = fileSize - int64_t(chunk.body);
        const int64_t bytes = (chunk.size == 0 || chunk.size == 0xFFFFFFFF || int64_t(chunk.size) > present)
                                  ? present
                                  : int64_t(chunk.size);
        data->start = int64_t(chunk.body);
        data->size = bytes - bytes % kSampleBytes;
        return false;
      });
  switch (walk.status) {
    case RiffWalk::Status::kStopped:
      return !failed;
    case RiffWalk::Status::kShortHeader:
      return Fail(error, name + ": " + std::to_string(fileSize) + " bytes, too short for a WAVE file");
    case RiffWalk::Status::kNotRiffWave:
      return Fail(error, name + ": not a RIFF WAVE file");
    case RiffWalk::Status::kReadFailed:
      return Fail(error, "cannot read " + name + " at byte " + std::to_string(walk.at) + ": " +
                             (walk.read < 0 ? std::strerror(walk.error) : "the file got shorter"));
    case RiffWalk::Status::kEnded:
    case RiffWalk::Status::kChunkPastEnd:
      break;
  }
  return Fail(error, name + (haveFormat ? ": no data chunk" : ": no fmt chunk"));
}

namespace {

std::unique_ptr<ImageDataFile> OpenWave(const std::string& name, std::string* error) {
  UniqueFd fd;
  int64_t fileSize = 0;
  if (!OpenDataFile(name, &fd, &fileSize, error)) return nullptr;
  WaveImageData data;
  if (!FindWaveImageData(FileSource(fd.Get()), fileSize, name, &data, error)) return nullptr;
  return std::make_unique<RawAudioFile>(name, std::move(fd), data.start, data.size, false);
}

// ---- FLAC ----

struct DecoderDeleter {
  void operator()(FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete(decoder); }
};
using DecoderPtr = std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter>;

const char* DecodeErrorText(FLAC__StreamDecoderErrorStatus status) {
  switch (status) {
    case FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC:
      return "lost sync";
    case FLAC__STREAM_DECODER_ERROR_STATUS_BAD_HEADER:
      return "a bad frame header";
    case FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH:
      return "a frame that fails its CRC check";
    case FLAC__STREAM_DECODER_ERROR_STATUS_UNPARSEABLE_STREAM:
      return "a frame that cannot be parsed";
    case FLAC__STREAM_DECODER_ERROR_STATUS_BAD_METADATA:
      return "bad metadata";
    default:
      return "an error it has no name for";  // newer libFLACs report more
  }
}

// A stretch of decoded samples, or of samples the decoder could not give.
struct DecodedFrame {
  int64_t start = 0;
  int64_t samples = 0;
  std::vector<uint8_t> bytes;  // little-endian CD audio; empty when damage is set
  std::string damage;          // why these samples cannot be used, when they cannot
};

// Decodes a FLAC file a frame at a time, keeping what it decoded last so that sequential reads go
// on where the last one stopped.
//
// What libFLAC writes is not always what the file holds. It reports no errors while seeking, not
// even for the frame it seeks to. After a damaged frame, versions before 1.4 write it zeroed just
// after reporting the error; 1.4 skips it and, before the next good frame, writes silence for the
// gap, all in one call (and 1.4.2 zeroes that good frame too). So a frame written after an error
// is not used, nor is anything written after it in the same call; a read never takes samples
// from a seek, but seeks a block before them and decodes forward with errors reported; and each
// frame must start where the one before it ended. This errs on the side of a failed read: a good
// frame after lost sync is refused with the damaged ones.
class FlacAudioFile final : public ImageDataFile {
 public:
  static std::unique_ptr<ImageDataFile> Open(const std::string& name, std::string* error) {
    std::unique_ptr<FlacAudioFile> file(new FlacAudioFile(name));
    if (!file->Init(error)) return nullptr;
    return file;
  }

  int64_t Size() const override { return m_totalSamples * kSampleBytes; }

  bool Read(int64_t offset, uint8_t* out, size_t length, std::string* error) override {
    if (std::string cause = OutOfRange(m_name, Size(), offset, length); !cause.empty())
      return Fail(error, std::move(cause));
    while (length > 0) {
      const DecodedFrame* frame = Hold(offset / kSampleBytes, error);
      if (!frame) return false;
      const size_t from = size_t(offset - frame->start * kSampleBytes);
      const size_t n = std::min(length, frame->bytes.size() - from);
      std::memcpy(out, frame->bytes.data() + from, n);
      out += n;
      offset += int64_t(n);
      length -= n;
    }
    return true;
  }

 private:
  explicit FlacAudioFile(std::string name) : m_name(std::move(name)) {}

  bool Init(std::string* error) {
    // Opened here rather than by libFLAC, which would wait on a pipe for a writer.
    UniqueFd fd;
    int64_t size = 0;
    if (!OpenDataFile(m_name, &fd, &size, error)) return false;
    m_decoder.reset(FLAC__stream_decoder_new());
    if (!m_decoder) return Fail(error, m_name + ": out of memory for a FLAC decoder");
    FILE* file = fdopen(fd.Get(), "rb");
    if (!file) return Fail(error, "cannot open " + m_name + ": " + std::strerror(errno));
    fd.Release();
    // The decoder owns the stream from here on, and closes it even when it fails to start.
    const FLAC__StreamDecoderInitStatus status =
        FLAC__stream_decoder_init_FILE(m_decoder.get(), file, &FlacAudioFile::OnWrite,
                                       &FlacAudioFile::OnMetadata, &FlacAudioFile::OnError, this);
    if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK)
      return Fail(error, m_name + ": the FLAC decoder cannot start (" +
                             FLAC__StreamDecoderInitStatusString[status] + ")");
    if (!FLAC__stream_decoder_process_until_end_of_metadata(m_decoder.get()) || !m_haveStreamInfo) {
      return Fail(error, m_name + ": not a FLAC file, or its header is damaged" +
                             (m_errors.empty() ? std::string() : " (the decoder found " + m_errors + ")"));
    }
    if (m_rate != 44100 || m_channels != 2 || m_bits != 16) {
      return Fail(error, m_name + ": " + Layout(m_rate, m_channels, m_bits) +
                             ": only 44100 Hz 16-bit stereo FLAC can be read as CD audio");
    }
    if (m_totalSamples == 0)
      return Fail(error,
                  m_name + ": its header does not say how many samples it holds, so its length is not known");
    m_next = 0;  // the decoder stands at the first frame
    m_errors.clear();
    return true;
  }

  // The decoded stretch with the given sample, or null with the cause.
  const DecodedFrame* Hold(int64_t sample, std::string* error) {
    const DecodedFrame* frame = Find(sample);
    // Past where the stream was found to end, no seek or decoding can help: each such read would
    // otherwise decode the file up to its end again.
    if (!frame && m_streamEnd && sample >= *m_streamEnd) {
      Fail(error, StreamEndsText(*m_streamEnd));
      return nullptr;
    }
    if (!frame) {
      // Decoding forward is cheaper than seeking while the sample is within a few blocks.
      if (m_next < 0 || sample < m_next || sample - m_next >= 4 * int64_t(m_maxBlock)) {
        if (!Reposition(sample, error)) return Abandon();
      }
      while (m_next <= sample) {
        // What ends before the sample is not needed again by reads that go forward.
        while (!m_frames.empty() && m_frames.front().start + m_frames.front().samples <= sample)
          m_frames.pop_front();
        if (!DecodeMore(error)) return Abandon();
      }
      frame = Find(sample);
      if (!frame) {
        Fail(error, m_name + ": the decoder skipped sample " + std::to_string(sample));
        return Abandon();
      }
    }
    if (!frame->damage.empty()) {
      Fail(error, frame->damage);
      return nullptr;
    }
    return frame;
  }

  const DecodedFrame* Find(int64_t sample) const {
    for (const DecodedFrame& frame : m_frames)
      if (sample >= frame.start && sample < frame.start + frame.samples) return &frame;
    return nullptr;
  }

  // Leaves the decoder at a frame boundary at or before sample, with m_next set to it.
  bool Reposition(int64_t sample, std::string* error) {
    m_frames.clear();
    const int64_t block = int64_t(m_maxBlock);
    // libFLAC gives up a seek that lands in a damaged frame: then a block further back.
    std::string seekError;
    for (int64_t before = sample - block, tries = 0; before > 0; before -= block, ++tries) {
      if (tries == 4) {
        // Past a cut or into damage: decoding from the start tells which (and where the stream
        // ends), once for each sample further on than any decoded before.
        if (sample > m_decodedTo) break;
        return Fail(error, m_name + ": cannot seek to sample " + std::to_string(sample - block) +
                               ": the file is damaged or shorter than its header says (" + seekError + ")");
      }
      m_next = -1;  // what the seek writes is not checked against what came before
      if (FLAC__stream_decoder_seek_absolute(m_decoder.get(), FLAC__uint64(before)) && !m_frames.empty()) {
        // The frame holding `before` ends at or before sample unless blocks are longer than the
        // header says; then only decoding from the start is safe.
        const bool fits = m_next <= sample;
        m_frames.clear();
        m_errors.clear();
        if (fits) return true;
        break;
      }
      seekError = StateText();
      m_frames.clear();
      if (!FLAC__stream_decoder_flush(m_decoder.get())) break;
    }
    return Rewind(error);
  }

  bool Rewind(std::string* error) {
    m_frames.clear();
    m_next = -1;
    if (!FLAC__stream_decoder_reset(m_decoder.get()) ||
        !FLAC__stream_decoder_process_until_end_of_metadata(m_decoder.get())) {
      return Fail(error, m_name + ": cannot go back to the start (" + StateText() + ")");
    }
    m_next = 0;
    m_errors.clear();
    return true;
  }

  // Decodes until the decoder has written past m_next.
  bool DecodeMore(std::string* error) {
    const int64_t from = m_next;
    m_writeError.clear();
    while (m_next == from) {
      m_damageInCall = false;
      const bool ok = FLAC__stream_decoder_process_single(m_decoder.get());
      if (!m_writeError.empty()) return Fail(error, m_writeError);
      if (!ok)
        return Fail(error,
                    m_name + ": cannot decode sample " + std::to_string(from) + " (" + StateText() + ")");
      if (m_next == from &&
          FLAC__stream_decoder_get_state(m_decoder.get()) == FLAC__STREAM_DECODER_END_OF_STREAM) {
        m_streamEnd = std::min(from, m_streamEnd.value_or(from));
        return Fail(error, StreamEndsText(from) + Found());
      }
    }
    return true;
  }

  // After the decoder failed: where it stands is no longer known, and a failed seek or an aborted
  // write leaves it unusable until flushed.
  const DecodedFrame* Abandon() {
    m_frames.clear();
    m_next = -1;
    if (!FLAC__stream_decoder_flush(m_decoder.get())) FLAC__stream_decoder_reset(m_decoder.get());
    return nullptr;
  }

  std::string StateText() const { return FLAC__stream_decoder_get_resolved_state_string(m_decoder.get()); }

  std::string StreamEndsText(int64_t end) const {
    return m_name + ": the stream ends at sample " + std::to_string(end) + ", before the " +
           std::to_string(m_totalSamples) + " samples its header announces";
  }

  std::string Found() const {
    return m_errors.empty() ? std::string() : " (the decoder found " + m_errors + ")";
  }

  std::string Samples(int64_t first, int64_t count) const {
    return m_name + ": samples " + std::to_string(first) + " to " + std::to_string(first + count - 1);
  }

  FLAC__StreamDecoderWriteStatus Write(const FLAC__FrameHeader& header, const FLAC__int32* const buffer[]) {
    const int64_t start = int64_t(header.number.sample_number);
    if (header.channels != 2 || header.bits_per_sample != 16) {
      m_writeError = m_name + ": the frame at sample " + std::to_string(start) + " has " +
                     std::to_string(header.channels) + " channels of " +
                     std::to_string(header.bits_per_sample) + " bits, unlike the stream";
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    if (m_next >= 0 && start < m_next) {
      m_writeError = m_name + ": a frame at sample " + std::to_string(start) + " where sample " +
                     std::to_string(m_next) + " should follow" + Found();
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    if (m_next >= 0 && start > m_next)
      m_frames.push_back(
          {m_next, start - m_next, {}, Samples(m_next, start - m_next) + " are missing" + Found()});
    DecodedFrame& frame = m_frames.emplace_back();
    frame.start = start;
    frame.samples = header.blocksize;
    if (!m_errors.empty()) m_callErrors = m_errors;
    if (!m_errors.empty() || m_damageInCall) {
      frame.damage = Samples(start, frame.samples) + " are damaged (the decoder found " + m_callErrors + ")";
      m_damageInCall = true;
    } else {
      frame.bytes.resize(size_t(header.blocksize) * kSampleBytes);
      uint8_t* out = frame.bytes.data();
      for (uint32_t i = 0; i < header.blocksize; ++i) {
        for (int c = 0; c < 2; ++c) {
          const auto word = static_cast<uint16_t>(buffer[c][i]);
          *out++ = uint8_t(word & 0xFF);
          *out++ = uint8_t(word >> 8);
        }
      }
    }
    m_errors.clear();
    m_next = start + frame.samples;
    m_decodedTo = std::max(m_decodedTo, m_next);
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }

  static FLAC__StreamDecoderWriteStatus OnWrite(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                const FLAC__int32* const buffer[], void* client) {
    return static_cast<FlacAudioFile*>(client)->Write(frame->header, buffer);
  }

  static void OnMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* client) {
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO) return;
    auto* self = static_cast<FlacAudioFile*>(client);
    const FLAC__StreamMetadata_StreamInfo& info = metadata->data.stream_info;
    self->m_haveStreamInfo = true;
    self->m_rate = info.sample_rate;
    self->m_channels = info.channels;
    self->m_bits = info.bits_per_sample;
    self->m_totalSamples = int64_t(info.total_samples);
    self->m_maxBlock = std::max(info.max_blocksize, 16u);
  }

  static void OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* client) {
    std::string& errors = static_cast<FlacAudioFile*>(client)->m_errors;
    const std::string text = DecodeErrorText(status);
    if (errors.find(text) != std::string::npos) return;
    errors += (errors.empty() ? "" : ", then ") + text;
  }

  std::string m_name;
  DecoderPtr m_decoder;

  bool m_haveStreamInfo = false;
  uint32_t m_rate = 0;
  uint32_t m_channels = 0;
  uint32_t m_bits = 0;
  int64_t m_totalSamples = 0;
  uint32_t m_maxBlock = 0;

  std::optional<int64_t> m_streamEnd;  // where the stream was found to end, short of its header's count
  int64_t m_decodedTo = 0;             // the furthest sample the decoder has written up to
  std::deque<DecodedFrame> m_frames;   // what was decoded last, in order, without gaps
  int64_t m_next = -1;                // the sample the decoder writes next; -1 when unknown
  std::string m_errors;               // what the decoder reported since it last wrote
  std::string m_writeError;           // why the write callback stopped the decoder
  bool m_damageInCall = false;        // a damaged frame was written during this call into libFLAC
  std::string m_callErrors;           // what the decoder reported before that frame
};

}  // namespace

std::unique_ptr<ImageDataFile> OpenImageDataFile(const std::filesystem::path& path, ImageFileType type,
                                                 std::string* error) {
  const std::string name = path.string();
  switch (type) {
    case ImageFileType::kBinary:
      return OpenRaw(name, false, error);
    case ImageFileType::kMotorola:
      return OpenRaw(name, true, error);
    case ImageFileType::kWave:
      return OpenWave(name, error);
    case ImageFileType::kFlac:
      return FlacAudioFile::Open(name, error);
  }
  Fail(error, name + ": unknown image file type");
  return nullptr;
}

}  // namespace korvi
