// The FLAC writer's check: a stream from libFLAC's encoder passes it as it is, and fails it, naming
// the first sample that is wrong, when one byte of a frame is changed, when the audio it compares
// with differs in one sample, or when the last frame is missing. Ten seconds of audio, more than the
// verifier's buffers hold.

#include "rip/flac_frame_verifier.h"

#include <FLAC/stream_encoder.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>

namespace korvi {
namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kSeconds = 10;
constexpr uint32_t kBlockSize = 4096;  // level 5's
constexpr uint32_t kSectorSamples = 588;

// Stereo audio that the encoder has to work for: two tones and some noise.
std::vector<uint8_t> TestAudio() {
  std::vector<uint8_t> pcm(size_t(kRate) * kSeconds * 4);
  uint32_t noise = 12345;
  for (size_t i = 0; i < pcm.size() / 4; ++i) {
    noise = noise * 1103515245 + 12345;
    const double t = double(i) / kRate;
    const int noisy = int(noise >> 16 & 0x3ff) - 512;
    const auto left = int16_t(9000 * std::sin(2 * M_PI * 440 * t) + noisy);
    const auto right = int16_t(7000 * std::sin(2 * M_PI * 660 * t) - noisy);
    pcm[4 * i] = uint8_t(left);
    pcm[4 * i + 1] = uint8_t(uint16_t(left) >> 8);
    pcm[4 * i + 2] = uint8_t(right);
    pcm[4 * i + 3] = uint8_t(uint16_t(right) >> 8);
  }
  return pcm;
}

struct Fault {
  std::optional<uint32_t> alteredFrame = {};    // one byte in the middle of this frame is changed
  std::optional<size_t> alteredSample = {};     // the verifier is given this sample's right channel changed
  std::optional<uint32_t> framesFromHere = {};  // this frame and those after it never reach the verifier
};

struct Outcome {
  bool passed = false;
  std::string text;
};

// Encodes the test audio at level 5 a sector at a time, as the writer does, through a verifier
// that sees the fault; the header is not rewritten (no seek callback), as the writer's verifier
// never sees it rewritten either.
Outcome Verify(const Fault& fault) {
  const std::vector<uint8_t> pcm = TestAudio();
  FlacFrameVerifier verifier;
  struct Context {
    FlacFrameVerifier& verifier;
    const Fault& fault;
  } context{verifier, fault};
  const auto write = [](const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes, uint32_t samples,
                        uint32_t frame, void* data) {
    auto& [verifier, fault] = *static_cast<Context*>(data);
    if (samples > 0 && fault.framesFromHere && frame >= *fault.framesFromHere)
      return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    std::vector<FLAC__byte> copy(buffer, buffer + bytes);
    if (samples > 0 && fault.alteredFrame == frame) copy[bytes / 2] ^= 0x10;
    verifier.Encoded(copy.data(), copy.size());
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
  };
  std::unique_ptr<FLAC__StreamEncoder, void (*)(FLAC__StreamEncoder*)> encoder(FLAC__stream_encoder_new(),
                                                                               &FLAC__stream_encoder_delete);
  EXPECT_TRUE(FLAC__stream_encoder_set_channels(encoder.get(), 2) &&
              FLAC__stream_encoder_set_bits_per_sample(encoder.get(), 16) &&
              FLAC__stream_encoder_set_sample_rate(encoder.get(), kRate) &&
              FLAC__stream_encoder_set_compression_level(encoder.get(), 5));
  EXPECT_EQ(FLAC__stream_encoder_init_stream(encoder.get(), write, nullptr, nullptr, nullptr, &context),
            FLAC__STREAM_ENCODER_INIT_STATUS_OK);
  std::vector<FLAC__int32> samples(kSectorSamples * 2);
  for (size_t at = 0; at < pcm.size(); at += kSectorSamples * 4) {
    std::vector<uint8_t> given(pcm.begin() + at, pcm.begin() + at + kSectorSamples * 4);
    for (size_t i = 0; i < samples.size(); ++i)
      samples[i] = int16_t(uint16_t(given[2 * i] | given[2 * i + 1] << 8));
    if (fault.alteredSample && *fault.alteredSample >= at / 4 &&
        *fault.alteredSample < at / 4 + kSectorSamples)
      given[(*fault.alteredSample - at / 4) * 4 + 2] ^= 1;
    // Once the check has failed it takes nothing more, and never holds the encoder up.
    if (!verifier.Given(given.data(), given.size())) {
      EXPECT_TRUE(verifier.Failed());
    }
    EXPECT_TRUE(FLAC__stream_encoder_process_interleaved(encoder.get(), samples.data(), kSectorSamples));
  }
  EXPECT_TRUE(FLAC__stream_encoder_finish(encoder.get()));
  Outcome outcome;
  outcome.passed = verifier.Finish();
  outcome.text = verifier.FailureText();
  EXPECT_EQ(outcome.passed, !verifier.Failed());
  return outcome;
}

std::string AtSample(uint64_t sample) {
  return "the FLAC file does not decode to the audio it was given (sample " + std::to_string(sample) + ")";
}

TEST(FlacFrameVerifier, PassesTheEncodersStreamAndFailsEachFaultAtItsFirstWrongSample) {
  const Outcome intact = Verify({});
  EXPECT_TRUE(intact.passed);
  EXPECT_EQ(intact.text, "");

  // A changed byte breaks the frame's CRC: the frame's first sample is the first not verified.
  const Outcome damaged = Verify({.alteredFrame = 60});
  EXPECT_FALSE(damaged.passed);
  EXPECT_EQ(damaged.text, AtSample(60 * kBlockSize) + ": a frame's CRC does not match");

  const size_t sample = 6 * kRate + 1234;
  const Outcome different = Verify({.alteredSample = sample});
  EXPECT_FALSE(different.passed);
  EXPECT_EQ(different.text, AtSample(sample));

  const uint32_t frames = (kRate * kSeconds + kBlockSize - 1) / kBlockSize;
  const Outcome cut = Verify({.framesFromHere = frames - 1});
  EXPECT_FALSE(cut.passed);
  EXPECT_EQ(cut.text, AtSample((frames - 1) * kBlockSize) + ": the file ends there");
}

// Left without Finish in the middle of a stream, with the decoder waiting for more, the verifier
// stops its thread and returns.
TEST(FlacFrameVerifier, StopsWithoutFinish) {
  const std::vector<uint8_t> pcm = TestAudio();
  FlacFrameVerifier verifier;
  EXPECT_TRUE(verifier.Given(pcm.data(), kRate * 4));
  const uint8_t marker[] = {'f', 'L', 'a', 'C'};
  EXPECT_TRUE(verifier.Encoded(marker, sizeof marker));
}

}  // namespace
}  // namespace korvi
