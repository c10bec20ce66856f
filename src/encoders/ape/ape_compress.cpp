#include "encoders/ape/ape_compress.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "common/fs_util.h"
#include "common/little_endian.h"
#include "encoders/ape/checksums.h"
#include "encoders/ape/frame_encoder.h"
#include "encoders/ape/frame_stream.h"
#include "text/utf16_text.h"

namespace korvi {
namespace {

constexpr uint16_t kFileVersion = 3990;
constexpr uint32_t kDescriptorBytes = 52;
constexpr uint32_t kHeaderBytes = 24;
constexpr uint16_t kFlagCreateWavHeader = 32;
constexpr uint16_t kFormatPcm = 1;

std::string SystemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool ReadAt(int fd, int64_t offset, uint8_t* data, size_t size) {
  const int64_t got = ReadFull(fd, data, size, offset);
  if (got >= 0 && size_t(got) < size) errno = EIO;  // the file ended early
  return got >= 0 && size_t(got) == size;
}

// Moves length bytes within the file from one offset to another; the ranges may overlap.
bool MoveWithinFile(int fd, int64_t from, int64_t to, int64_t length) {
  if (from == to || length == 0) return true;
  std::vector<uint8_t> buffer(size_t(length < (1 << 20) ? length : (1 << 20)));
  const int64_t piece = int64_t(buffer.size());
  for (int64_t done = 0; done < length;) {
    const int64_t size = length - done < piece ? length - done : piece;
    // Toward the start: front to back; toward the end: back to front, so nothing is overwritten unread.
    const int64_t at = to < from ? done : length - done - size;
    if (!ReadAt(fd, from + at, buffer.data(), size_t(size))) return false;
    if (!WriteAll(fd, buffer.data(), size_t(size), to + at)) return false;
    done += size;
  }
  return true;
}

// The frame data goes to the file in order, and into the MD5.
class FileSink : public ape::IWordSink {
 public:
  FileSink(const UniqueFd& fd, ape::Md5& md5) : m_fd(fd), m_md5(md5) {}
  void SetOffset(int64_t offset) { m_offset = offset; }
  int64_t Offset() const { return m_offset; }
  const std::string& Error() const { return m_error; }

  bool Consume(const uint8_t* bytes, size_t size) override {
    if (size == 0) return true;
    m_md5.Update(bytes, size);
    if (!WriteAll(m_fd.Get(), bytes, size, m_offset)) {
      m_error = SystemError("cannot write the file");
      return false;
    }
    m_offset += int64_t(size);
    return true;
  }

 private:
  const UniqueFd& m_fd;
  ape::Md5& m_md5;
  int64_t m_offset = 0;
  std::string m_error;
};

class ApeCompressor final : public IAPECompress {
 public:
  ApeCompressor() : m_sink(m_fd, m_md5), m_stream(m_sink) {}
  ~ApeCompressor() override = default;

  int Start(const char16_t* outputFileName, const WaveFormatEx* inputFormat, int64_t maxAudioBytes, int level,
            const void* headerData, int64_t headerBytes) override;
  // No exception leaves the compressor: running out of memory is a result like any other.
  int AddData(const uint8_t* data, int64_t bytes) override {
    try {
      return Add(data, bytes);
    } catch (const std::bad_alloc&) {
      return Break(kApeErrorInsufficientMemory, "not enough memory to compress");
    }
  }
  int Finish(const uint8_t* terminatingData, int64_t terminatingBytes, int64_t wavTerminatingBytes) override {
    try {
      return Complete(terminatingData, terminatingBytes, wavTerminatingBytes);
    } catch (const std::bad_alloc&) {
      return Break(kApeErrorInsufficientMemory, "not enough memory to finish the file");
    }
  }
  const std::string& ErrorText() const override { return m_error; }

 private:
  enum class State { kIdle, kStarted, kFinished, kFailed };

  int Refuse(int code, std::string text);
  // Fails for good: later calls give the same code.
  int Break(int code, std::string text);
  int CheckFormat(const WaveFormatEx* format, int level);
  int Add(const uint8_t* data, int64_t bytes);
  int Complete(const uint8_t* terminatingData, int64_t terminatingBytes, int64_t wavTerminatingBytes);
  int EncodeFrame(int blocks);
  int64_t DataStart(uint64_t frames) const {
    return kDescriptorBytes + kHeaderBytes + 4 * frames + m_headerDataBytes;
  }
  std::vector<uint8_t> Headers(uint64_t frames, uint64_t frameDataBytes, uint32_t terminatingBytes,
                               const std::array<uint8_t, 16>& md5) const;

  State m_state = State::kIdle;
  int m_brokenCode = kApeSuccess;
  std::string m_error;
  std::string m_path;
  UniqueFd m_fd;
  ape::Md5 m_md5;
  FileSink m_sink;
  ape::FrameStream m_stream;
  std::unique_ptr<ape::FrameEncoder> m_encoder;

  WaveFormatEx m_format;
  int m_level = 0;
  int m_blocksPerFrame = 0;
  bool m_storesWavHeader = false;
  uint32_t m_headerDataBytes = 0;
  int64_t m_maxFrames = -1;       // from Start's maximum, or -1: no limit
  uint64_t m_reservedFrames = 0;  // seek-table entries the provisional layout leaves room for
  std::vector<uint8_t> m_frame;   // the PCM of the frame being filled
  size_t m_frameFill = 0;
  std::vector<uint64_t> m_frameStarts;  // each frame's first byte in the frame data
  int m_lastFrameBlocks = 0;
};

int ApeCompressor::Refuse(int code, std::string text) {
  m_error = std::move(text);
  return code;
}

int ApeCompressor::Break(int code, std::string text) {
  m_state = State::kFailed;
  m_brokenCode = code;
  return Refuse(code, std::move(text));
}

int ApeCompressor::CheckFormat(const WaveFormatEx* format, int level) {
  if (!format) return Refuse(kApeErrorInvalidFunctionParameter, "no input format");
  if (format->formatTag != kFormatPcm) return Refuse(kApeErrorUnsupportedFormat, "the input is not PCM");
  if (format->channels != 1 && format->channels != 2)
    return Refuse(kApeErrorUnsupportedChannelCount,
                  std::to_string(format->channels) + " channels (only 1 or 2 can be compressed)");
  if (format->bitsPerSample != 16)
    return Refuse(kApeErrorUnsupportedBitDepth,
                  std::to_string(format->bitsPerSample) + "-bit samples (only 16-bit can be compressed)");
  if (format->samplesPerSec == 0) return Refuse(kApeErrorUnsupportedSampleRate, "a sample rate of 0");
  if (format->blockAlign != format->channels * 2)
    return Refuse(kApeErrorInvalidFunctionParameter, "a block align that does not fit the format");
  if (ape::BlocksPerFrame(level) == 0)
    return Refuse(kApeErrorBadParameter, "compression level " + std::to_string(level) +
                                             " is not one of 1000, 2000, 3000, 4000 and 5000");
  return kApeSuccess;
}

int ApeCompressor::Start(const char16_t* outputFileName, const WaveFormatEx* inputFormat,
                         int64_t maxAudioBytes, int level, const void* headerData, int64_t headerBytes) {
  if (m_state != State::kIdle) return Refuse(kApeErrorUndefined, "the compressor has been started already");
  if (const int result = CheckFormat(inputFormat, level); result != kApeSuccess) return result;
  if (maxAudioBytes < kApeMaxAudioBytesUnknown)
    return Refuse(kApeErrorInvalidFunctionParameter, "a negative maximum of audio bytes");
  if (headerBytes < kApeCreateWavHeaderOnDecompression || headerBytes > 0xFFFFFFFF ||
      (headerBytes > 0 && !headerData))
    return Refuse(kApeErrorInvalidFunctionParameter, "WAV header data that does not fit its byte count");
  std::optional<std::string> path = outputFileName ? Utf16ToUtf8(outputFileName) : std::nullopt;
  if (!path || path->empty())
    return Refuse(kApeErrorInvalidOutputFile, "the file name is empty or not valid UTF-16");
  m_path = std::move(*path);

  m_format = *inputFormat;
  m_level = level;
  m_blocksPerFrame = ape::BlocksPerFrame(level);
  m_storesWavHeader = headerBytes != kApeCreateWavHeaderOnDecompression;
  m_headerDataBytes = m_storesWavHeader ? uint32_t(headerBytes) : 0;
  if (maxAudioBytes >= 0) {
    const int64_t blocks = maxAudioBytes / m_format.blockAlign;
    m_maxFrames = (blocks + m_blocksPerFrame - 1) / m_blocksPerFrame;
    m_reservedFrames = uint64_t(m_maxFrames);
  }
  try {
    m_frame.resize(size_t(m_blocksPerFrame) * m_format.blockAlign);
    m_encoder = std::make_unique<ape::FrameEncoder>(level, m_format.channels);
    m_stream.Reserve(ape::FrameStream::kFlushBytes + (1 << 18));
  } catch (const std::bad_alloc&) {
    return Refuse(kApeErrorInsufficientMemory, "not enough memory to compress");
  }

  m_fd = UniqueFd(::open(m_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (m_fd.Get() < 0) return Refuse(kApeErrorInvalidOutputFile, SystemError("cannot create the file"));
  // A provisional header with no frames; Finish writes the real one.
  const std::vector<uint8_t> provisional = Headers(0, 0, 0, {});
  const int64_t headerDataAt = DataStart(m_reservedFrames) - m_headerDataBytes;
  if (!WriteAll(m_fd.Get(), provisional.data(), provisional.size(), 0) ||
      !WriteAll(m_fd.Get(), static_cast<const uint8_t*>(headerData), m_headerDataBytes, headerDataAt)) {
    std::string text = SystemError("cannot write the file");
    m_fd.Reset();
    ::unlink(m_path.c_str());
    return Refuse(kApeErrorIoWrite, std::move(text));
  }
  m_md5.Update(headerData, m_headerDataBytes);
  m_sink.SetOffset(DataStart(m_reservedFrames));
  m_state = State::kStarted;
  m_error.clear();
  return kApeSuccess;
}

int ApeCompressor::Add(const uint8_t* data, int64_t bytes) {
  if (m_state == State::kFailed) return m_brokenCode;
  if (m_state != State::kStarted) return Refuse(kApeErrorUndefined, "the compressor is not started");
  if (bytes < 0 || (bytes > 0 && !data)) return Refuse(kApeErrorInvalidFunctionParameter, "no data to add");
  while (bytes > 0) {
    const size_t room = m_frame.size() - m_frameFill;
    const size_t take = uint64_t(bytes) < room ? size_t(bytes) : room;
    std::memcpy(m_frame.data() + m_frameFill, data, take);
    m_frameFill += take;
    data += take;
    bytes -= int64_t(take);
    if (m_frameFill == m_frame.size()) {
      m_frameFill = 0;
      if (const int result = EncodeFrame(m_blocksPerFrame); result != kApeSuccess) return result;
    }
  }
  return kApeSuccess;
}

int ApeCompressor::EncodeFrame(int blocks) {
  if (m_maxFrames >= 0 && int64_t(m_frameStarts.size()) >= m_maxFrames)
    return Break(kApeErrorTooMuchData, "more audio than the maximum given at the start");
  const uint64_t start = m_stream.Position();
  // Seek-table entries are 32-bit file offsets.
  if (uint64_t(DataStart(m_frameStarts.size() + 1)) + start > 0xFFFFFFFFu)
    return Break(kApeErrorTooMuchData, "the file would outgrow the 4 GiB that its seek table can address");
  m_frameStarts.push_back(start);
  m_encoder->Encode(m_frame.data(), blocks, m_stream);
  m_lastFrameBlocks = blocks;
  m_stream.MaybeFlush();
  if (m_stream.Failed()) return Break(kApeErrorIoWrite, m_sink.Error());
  return kApeSuccess;
}

std::vector<uint8_t> ApeCompressor::Headers(uint64_t frames, uint64_t frameDataBytes,
                                            uint32_t terminatingBytes,
                                            const std::array<uint8_t, 16>& md5) const {
  std::vector<uint8_t> bytes(kDescriptorBytes + kHeaderBytes);
  uint8_t* d = bytes.data();
  std::memcpy(d, "MAC ", 4);
  PutLe16(d + 4, kFileVersion);
  PutLe16(d + 6, 0);
  PutLe32(d + 8, kDescriptorBytes);
  PutLe32(d + 12, kHeaderBytes);
  PutLe32(d + 16, uint32_t(4 * frames));
  PutLe32(d + 20, m_headerDataBytes);
  PutLe32(d + 24, uint32_t(frameDataBytes));
  PutLe32(d + 28, uint32_t(frameDataBytes >> 32));
  PutLe32(d + 32, terminatingBytes);
  std::memcpy(d + 36, md5.data(), 16);
  uint8_t* h = d + kDescriptorBytes;
  PutLe16(h, uint32_t(m_level));
  PutLe16(h + 2, m_storesWavHeader ? 0 : kFlagCreateWavHeader);
  PutLe32(h + 4, uint32_t(m_blocksPerFrame));
  PutLe32(h + 8, frames > 0 ? uint32_t(m_lastFrameBlocks) : 0);
  PutLe32(h + 12, uint32_t(frames));
  PutLe16(h + 16, m_format.bitsPerSample);
  PutLe16(h + 18, m_format.channels);
  PutLe32(h + 20, m_format.samplesPerSec);
  return bytes;
}

int ApeCompressor::Complete(const uint8_t* terminatingData, int64_t terminatingBytes,
                            int64_t wavTerminatingBytes) {
  if (m_state == State::kFailed) return m_brokenCode;
  if (m_state != State::kStarted) return Refuse(kApeErrorUndefined, "the compressor is not started");
  if (terminatingBytes < 0 || terminatingBytes > 0xFFFFFFFF || (terminatingBytes > 0 && !terminatingData) ||
      wavTerminatingBytes < 0 || wavTerminatingBytes > terminatingBytes)
    return Refuse(kApeErrorInvalidFunctionParameter, "terminating data that does not fit its byte counts");

  // An incomplete last sample cannot be coded and is dropped.
  if (const int blocks = int(m_frameFill / m_format.blockAlign); blocks > 0)
    if (const int result = EncodeFrame(blocks); result != kApeSuccess) return result;
  m_frameFill = 0;
  m_stream.Close();
  if (m_stream.Failed()) return Break(kApeErrorIoWrite, m_sink.Error());
  const uint64_t frameDataBytes = m_stream.Position();
  if (!m_sink.Consume(terminatingData, size_t(terminatingBytes)))
    return Break(kApeErrorIoWrite, m_sink.Error());

  // Now the seek table's size is known: the header data, frames and terminating data move to
  // follow it directly.
  const uint64_t frames = m_frameStarts.size();
  const int64_t oldBodyStart = DataStart(m_reservedFrames) - m_headerDataBytes;
  const int64_t newBodyStart = DataStart(frames) - m_headerDataBytes;
  const int64_t bodyBytes = m_sink.Offset() - oldBodyStart;
  if (!MoveWithinFile(m_fd.Get(), oldBodyStart, newBodyStart, bodyBytes))
    return Break(kApeErrorIoWrite, SystemError("cannot move the frames within the file"));

  std::vector<uint8_t> seekTable(4 * frames);
  for (uint64_t i = 0; i < frames; ++i)
    PutLe32(seekTable.data() + 4 * i, uint32_t(DataStart(frames) + m_frameStarts[i]));
  // The MD5 covers the stored data, then the header and the seek table.
  std::vector<uint8_t> headers = Headers(frames, frameDataBytes, uint32_t(terminatingBytes), {});
  m_md5.Update(headers.data() + kDescriptorBytes, kHeaderBytes);
  m_md5.Update(seekTable.data(), seekTable.size());
  const std::array<uint8_t, 16> md5 = m_md5.Final();
  std::memcpy(headers.data() + 36, md5.data(), md5.size());
  headers.insert(headers.end(), seekTable.begin(), seekTable.end());

  if (!WriteAll(m_fd.Get(), headers.data(), headers.size(), 0) ||
      ::ftruncate(m_fd.Get(), newBodyStart + bodyBytes) != 0)
    return Break(kApeErrorIoWrite, SystemError("cannot write the file"));
  if (!m_fd.Close()) return Break(kApeErrorIoWrite, SystemError("cannot close the file"));
  m_state = State::kFinished;
  m_frame = {};
  m_error.clear();
  return kApeSuccess;
}

}  // namespace

std::unique_ptr<IAPECompress> CreateIAPECompress(int* errorCode) {
  std::unique_ptr<IAPECompress> compressor(new (std::nothrow) ApeCompressor);
  if (errorCode) *errorCode = compressor ? kApeSuccess : kApeErrorInsufficientMemory;
  return compressor;
}

int FillWaveFormatEx(WaveFormatEx* format, int sampleRate, int bitsPerSample, int channels) {
  if (!format || sampleRate <= 0 || bitsPerSample <= 0 || bitsPerSample > 32 || channels <= 0 || channels > 8)
    return kApeErrorBadParameter;
  format->formatTag = kFormatPcm;
  format->channels = uint16_t(channels);
  format->samplesPerSec = uint32_t(sampleRate);
  format->bitsPerSample = uint16_t(bitsPerSample);
  format->blockAlign = uint16_t(channels * bitsPerSample / 8);
  format->avgBytesPerSec = format->blockAlign * format->samplesPerSec;
  format->extraSize = 0;
  return kApeSuccess;
}


}  // namespace korvi
