#include "rip/opus_output_media.h"

#include <opus/opus_defines.h>

#include <algorithm>

namespace korvi {
namespace {

constexpr opus_int32 kSampleRate = 44100;
constexpr int kChannels = 2;
constexpr int kStereoFamily = 0;

}  // namespace

COpusOutputMedia::COpusOutputMedia(int bitrate, std::string fileName)
    : COutputMediaFile(std::move(fileName)), m_bitrate(std::clamp(bitrate, kOpusBitrateMin, kOpusBitrateMax)) {}

// Without Close the encoder is destroyed undrained: the file ends at the last whole page.
COpusOutputMedia::~COpusOutputMedia() = default;

void COpusOutputMedia::Fail(const std::string& what, int error) {
  if (m_failure.empty()) m_failure = what + ": " + ope_strerror(error);
}

void COpusOutputMedia::Open() {
  if (m_encoder || Failed()) return;
  m_stream.Open(m_fileName);
  if (m_stream.Failed()) return;
  // The tags are written over the file once it is closed; the header only names the encoder.
  const std::unique_ptr<OggOpusComments, CommentsDeleter> comments(ope_comments_create());
  if (!comments) {
    m_failure = "cannot create the Opus encoder";
    return;
  }
  static const OpusEncCallbacks callbacks = {&WritePage, &CloseStream};
  int error = OPE_OK;
  m_encoder.reset(ope_encoder_create_callbacks(&callbacks, this, comments.get(), kSampleRate, kChannels,
                                               kStereoFamily, &error));
  if (!m_encoder) {
    Fail("cannot create the Opus encoder", error);
    return;
  }
  error = ope_encoder_ctl(m_encoder.get(), OPUS_SET_BITRATE(m_bitrate * 1000));
  // Unconstrained VBR, as opusenc encodes by default: the rate is an average over the track, and
  // a dense passage gets the bits it needs.
  if (error == OPE_OK) error = ope_encoder_ctl(m_encoder.get(), OPUS_SET_VBR_CONSTRAINT(0));
  if (error != OPE_OK) {
    Fail("cannot set the Opus bit rate", error);
    m_encoder.reset();
  }
}

int COpusOutputMedia::Write(const uint8_t* data, int count) {
  if (!m_encoder || Failed() || count < 4) return 0;
  // Whole stereo frames; raw CD audio comes in sectors, so nothing is ever left over.
  const int frames = count / 4;
  m_samples.resize(size_t(frames) * kChannels);
  for (size_t i = 0; i < m_samples.size(); ++i)
    m_samples[i] = static_cast<opus_int16>(uint16_t(data[2 * i]) | uint16_t(data[2 * i + 1]) << 8);
  const int error = ope_encoder_write(m_encoder.get(), m_samples.data(), frames);
  if (error != OPE_OK) {
    Fail("cannot encode the audio", error);
    return 0;
  }
  return Failed() ? 0 : count;
}

void COpusOutputMedia::Close() {
  if (m_encoder) {
    // Drains the resampler and the encoder, and marks the last page with the track's exact end.
    const int error = ope_encoder_drain(m_encoder.get());
    if (error != OPE_OK) Fail("cannot finish the Opus file", error);
    m_encoder.reset();
  }
  COutputMediaFile::Close();
}

int COpusOutputMedia::WritePage(void* self, const unsigned char* page, opus_int32 length) {
  auto* media = static_cast<COpusOutputMedia*>(self);
  media->m_stream.Write(page, size_t(length));
  return media->m_stream.Failed() ? 1 : 0;
}

// The file is closed by the writer itself, after the encoder is gone.
int COpusOutputMedia::CloseStream(void*) { return 0; }

}  // namespace korvi
