#include "rip/flac_output_media.h"

#include <algorithm>

namespace korvi {
namespace {

constexpr uint32_t kSampleRate = 44100;
constexpr uint32_t kSamplesPerSector = 588;
constexpr uint32_t kSeekPointSpacing = 10 * kSampleRate;
constexpr uint32_t kPaddingBytes = 8192;  // as the flac tool leaves

}  // namespace

CFlacOutputMedia::CFlacOutputMedia(int level, int64_t expectedSectors, std::string fileName)
    : COutputMediaFile(std::move(fileName)),
      m_level(std::clamp(level, kFlacLevelMin, kFlacLevelMax)),
      m_expectedSectors(std::max<int64_t>(expectedSectors, 0)) {}

// Without Close the encoder is deleted unfinished: the header keeps its provisional values.
CFlacOutputMedia::~CFlacOutputMedia() = default;

void CFlacOutputMedia::Fail(const std::string& what) {
  if (m_failure.empty()) m_failure = what;
}

void CFlacOutputMedia::FailFromEncoder(const char* what) {
  // A failed write stopped the encoder; the file's own reason says more.
  if (m_stream.Failed()) return;
  Fail(std::string(what) + ": " + FLAC__stream_encoder_get_resolved_state_string(m_encoder.get()));
}

void CFlacOutputMedia::FailFromVerifier() {
  if (!Failed()) m_failure = m_verifier->FailureText();
}

void CFlacOutputMedia::Open() {
  if (m_encoder || Failed()) return;
  m_stream.Open(m_fileName);
  if (m_stream.Failed()) return;
  m_encoder.reset(FLAC__stream_encoder_new());
  if (!m_encoder) {
    Fail("cannot create the FLAC encoder");
    return;
  }
  FLAC__StreamEncoder* encoder = m_encoder.get();
  const uint64_t expectedSamples = uint64_t(m_expectedSectors) * kSamplesPerSector;
  // libFLAC's own verification would decode on this thread; the verifier does it on another.
  bool set = FLAC__stream_encoder_set_verify(encoder, false) &&
             FLAC__stream_encoder_set_channels(encoder, 2) &&
             FLAC__stream_encoder_set_bits_per_sample(encoder, 16) &&
             FLAC__stream_encoder_set_sample_rate(encoder, kSampleRate) &&
             FLAC__stream_encoder_set_compression_level(encoder, uint32_t(m_level)) &&
             FLAC__stream_encoder_set_total_samples_estimate(encoder, expectedSamples);
  // Room for the tags, written once the file is closed: without it the tag writer has to move
  // all of the audio to make room, which costs as much again as writing the file.
  m_padding.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
  if (m_padding) m_padding->length = kPaddingBytes;
  std::vector<FLAC__StreamMetadata*> blocks;
  if (set && expectedSamples > 0) {
    // Template points: the encoder fills in each one's frame as it passes it.
    m_seekTable.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE));
    blocks.push_back(m_seekTable.get());
    set = m_seekTable &&
          FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(
              m_seekTable.get(), kSeekPointSpacing, expectedSamples) &&
          FLAC__metadata_object_seektable_template_sort(m_seekTable.get(), true);
  }
  blocks.push_back(m_padding.get());
  set =
      set && m_padding && FLAC__stream_encoder_set_metadata(encoder, blocks.data(), uint32_t(blocks.size()));
  if (!set) {
    Fail("cannot set up the FLAC encoder");
    m_encoder.reset();
    return;
  }
  m_verifier = std::make_unique<FlacFrameVerifier>();
  if (m_verifier->Failed()) {
    FailFromVerifier();
    m_encoder.reset();
    return;
  }
  const FLAC__StreamEncoderInitStatus status =
      FLAC__stream_encoder_init_stream(encoder, &WriteCallback, &SeekCallback, &TellCallback, nullptr, this);
  if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
    if (status == FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR)
      FailFromEncoder("cannot start the FLAC encoder");
    else
      Fail(std::string("cannot start the FLAC encoder: ") + FLAC__StreamEncoderInitStatusString[status]);
    m_encoder.reset();
  }
}

int CFlacOutputMedia::Write(const uint8_t* data, int count) {
  if (!m_encoder || Failed() || count < 4) return 0;
  // Whole stereo frames; raw CD audio comes in sectors, so nothing is ever left over.
  const uint32_t frames = uint32_t(count) / 4;
  m_samples.resize(size_t(frames) * 2);
  for (size_t i = 0; i < m_samples.size(); ++i)
    m_samples[i] = static_cast<int16_t>(uint16_t(data[2 * i]) | uint16_t(data[2 * i + 1]) << 8);
  // The verifier has the audio before the encoder writes any frame of it.
  if (!m_verifier->Given(data, size_t(frames) * 4)) {
    FailFromVerifier();
    return 0;
  }
  if (!FLAC__stream_encoder_process_interleaved(m_encoder.get(), m_samples.data(), frames)) {
    FailFromEncoder("cannot encode the audio");
    return 0;
  }
  m_framesWritten += frames;
  return count;
}

void CFlacOutputMedia::DropPointsBeyondEnd() {
  if (!m_seekTable) return;
  FLAC__StreamMetadata_SeekTable& table = m_seekTable->data.seek_table;
  for (uint32_t i = 0; i < table.num_points; ++i) {
    FLAC__StreamMetadata_SeekPoint& point = table.points[i];
    if (point.sample_number != FLAC__STREAM_METADATA_SEEKPOINT_PLACEHOLDER &&
        point.sample_number >= m_framesWritten) {
      point.sample_number = FLAC__STREAM_METADATA_SEEKPOINT_PLACEHOLDER;
      point.stream_offset = 0;
      point.frame_samples = 0;
    }
  }
}

void CFlacOutputMedia::Close() {
  if (m_encoder) {
    // A stopped track ends early; its header must not point past its end.
    DropPointsBeyondEnd();
    if (!FLAC__stream_encoder_finish(m_encoder.get())) FailFromEncoder("cannot finish the FLAC file");
    m_encoder.reset();
    if (!m_verifier->Finish()) FailFromVerifier();
  }
  m_seekTable.reset();
  m_padding.reset();
  COutputMediaFile::Close();
}

FLAC__StreamEncoderWriteStatus CFlacOutputMedia::WriteCallback(const FLAC__StreamEncoder*,
                                                               const FLAC__byte buffer[], size_t bytes,
                                                               uint32_t, uint32_t, void* self) {
  auto* media = static_cast<CFlacOutputMedia*>(self);
  // Only the header is written out of order, once the audio is through; the verifier has decoded
  // its first version already, and takes the stream in order only.
  if (media->m_position == media->m_streamEnd) {
    media->m_stream.Write(buffer, bytes);
    media->m_verifier->Encoded(buffer, bytes);
  } else {
    media->m_stream.WriteAt(int64_t(media->m_position), buffer, bytes);
  }
  media->m_position += bytes;
  media->m_streamEnd = std::max(media->m_streamEnd, media->m_position);
  return media->m_stream.Failed() ? FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR
                                  : FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus CFlacOutputMedia::SeekCallback(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                                             void* self) {
  auto* media = static_cast<CFlacOutputMedia*>(self);
  if (media->m_stream.Failed()) return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
  media->m_position = offset;
  return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus CFlacOutputMedia::TellCallback(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                                             void* self) {
  *offset = static_cast<CFlacOutputMedia*>(self)->m_position;
  return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

}  // namespace korvi
