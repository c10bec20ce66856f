// A FLAC file that a cue sheet names, opened from arbitrary bytes and read: libFLAC parses the
// header and the frames, this program checks the stream's layout and keeps the frames in order.
// An opened file is CD audio of a known length; reads past its end fail, and every failure says
// why, naming the file. A read that succeeds gives the same bytes each time, however the decoder
// got there (forward, by a seek, after a failed read). A whole and sound file, as libFLAC decodes
// it from start to end without a word, reads exactly as that decoding wherever it is read.
#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "disc/image_file.h"
#include "fuzz_checks.h"

using korvi::fuzz::Require;

namespace {

constexpr int64_t kSector = 2352;

const std::string& FilePath() {
  static const korvi::fuzz::RunFolder folder("flac");
  static const std::string path = folder.Path() + "/image.flac";
  return path;
}

struct Range {
  int64_t at = 0;  // bytes of CD audio
  int64_t length = 0;
  std::vector<uint8_t> read;      // what the image file gave; empty when the read failed
  std::vector<uint8_t> again;     // the same, read once more after the others
  std::vector<uint8_t> expected;  // what libFLAC decoded there, from start to end
};

// libFLAC on the file's bytes, start to end, with the decoded samples of the ranges kept.
class ReferenceDecode {
 public:
  ReferenceDecode(const uint8_t* data, size_t size, std::vector<Range>& ranges)
      : m_data(data), m_size(size), m_ranges(ranges) {
    for (Range& range : m_ranges) range.expected.assign(size_t(range.length), 0);
  }

  // True when the stream decoded without an error, every frame CD audio following the one before
  // from sample 0, as many samples as the header announces.
  bool Sound() {
    std::unique_ptr<FLAC__StreamDecoder, void (*)(FLAC__StreamDecoder*)> decoder(FLAC__stream_decoder_new(),
                                                                                 FLAC__stream_decoder_delete);
    Require(decoder != nullptr);
    if (FLAC__stream_decoder_init_stream(decoder.get(), OnRead, nullptr, nullptr, nullptr, nullptr, OnWrite,
                                         OnMetadata, OnError, this) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
      return false;
    const bool decoded = FLAC__stream_decoder_process_until_end_of_stream(decoder.get());
    return decoded && m_sound && m_total > 0 && m_next == m_total;
  }

 private:
  static FLAC__StreamDecoderReadStatus OnRead(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                              void* client) {
    auto* self = static_cast<ReferenceDecode*>(client);
    const size_t n = std::min(*bytes, self->m_size - self->m_used);
    std::memcpy(buffer, self->m_data + self->m_used, n);
    self->m_used += n;
    *bytes = n;
    return n == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                  : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
  }

  static FLAC__StreamDecoderWriteStatus OnWrite(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                const FLAC__int32* const buffer[], void* client) {
    auto* self = static_cast<ReferenceDecode*>(client);
    const FLAC__FrameHeader& header = frame->header;
    if (header.channels != 2 || header.bits_per_sample != 16 ||
        int64_t(header.number.sample_number) != self->m_next ||
        self->m_next + header.blocksize > self->m_total) {
      self->m_sound = false;
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    const int64_t from = self->m_next * 4;
    const int64_t to = from + int64_t(header.blocksize) * 4;
    for (Range& range : self->m_ranges) {
      for (int64_t byte = std::max(from, range.at); byte < std::min(to, range.at + range.length); ++byte) {
        const int64_t sample = (byte - from) / 4;
        const int channel = int((byte - from) / 2 % 2);
        const auto word = static_cast<uint16_t>(buffer[channel][sample]);
        range.expected[size_t(byte - range.at)] = uint8_t(byte % 2 == 0 ? word & 0xFF : word >> 8);
      }
    }
    self->m_next += header.blocksize;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }

  static void OnMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* client) {
    if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO)
      static_cast<ReferenceDecode*>(client)->m_total = int64_t(metadata->data.stream_info.total_samples);
  }

  static void OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* client) {
    static_cast<ReferenceDecode*>(client)->m_sound = false;
  }

  const uint8_t* m_data;
  size_t m_size;
  size_t m_used = 0;
  std::vector<Range>& m_ranges;
  int64_t m_total = 0;
  int64_t m_next = 0;
  bool m_sound = true;
};

// The range's bytes from the file, or empty after a failure that named the file.
std::vector<uint8_t> Read(korvi::ImageDataFile& file, const Range& range) {
  std::vector<uint8_t> bytes(size_t(range.length));
  std::string error;
  if (file.Read(range.at, bytes.data(), bytes.size(), &error)) return bytes;
  Require(error.find(FilePath()) != std::string::npos);
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream out(FilePath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    Require(bool(out));
  }
  std::string error;
  std::unique_ptr<korvi::ImageDataFile> file =
      korvi::OpenImageDataFile(FilePath(), korvi::ImageFileType::kFlac, &error);
  if (!file) {
    Require(error.starts_with(FilePath() + ": "));
    return 0;
  }
  const int64_t bytes = file->Size();
  Require(bytes > 0 && bytes % 4 == 0);
  // A few places, not every sector: a header may announce hours of audio that the file lacks. The
  // first sector, the last, and a stretch from the middle that starts inside a sample.
  const int64_t sector = std::min(bytes, kSector);
  const int64_t middle = bytes / 2 + 1;
  std::vector<Range> ranges = {{0, sector, {}, {}, {}},
                               {bytes - sector, sector, {}, {}, {}},
                               {middle, std::min(bytes - middle, 3 * kSector + 3), {}, {}, {}}};
  for (Range& range : ranges) range.read = Read(*file, range);
  std::vector<uint8_t> past(size_t(sector) + 1);
  Require(!file->Read(bytes, past.data(), 1, &error) && error.find(FilePath()) != std::string::npos);
  Require(!file->Read(bytes - sector, past.data(), past.size(), &error));
  // Again, backwards: what was read is what is read.
  for (auto range = ranges.rbegin(); range != ranges.rend(); ++range) {
    range->again = Read(*file, *range);
    if (!range->read.empty() && !range->again.empty()) Require(range->again == range->read);
  }
  if (ReferenceDecode(data, size, ranges).Sound()) {
    for (const Range& range : ranges) Require(range.read == range.expected && range.again == range.expected);
  }
  return 0;
}
