#include "rip/flac_frame_verifier.h"

#include <algorithm>
#include <cstring>

namespace korvi {
namespace {

constexpr uint32_t kSampleRate = 44100;
constexpr size_t kBytesPerSample = 4;  // a stereo sample frame of 16-bit samples
constexpr size_t kGivenBytes = FlacFrameVerifier::kMaxLagSeconds * kSampleRate * kBytesPerSample;
// The encoded bytes never exceed the audio by more than a few bytes a frame; the ring holds more
// than the audio's, so that the audio's ring is the one that holds the encoder back.
constexpr size_t kEncodedBytes = kGivenBytes + kGivenBytes / 2;
// Once it has decoded all there was, the decoder waits for a batch of this many bytes rather than
// for the next frame: libFLAC reads a few kilobytes at a time, and a wake-up for each would cost
// both threads a switch.
constexpr size_t kDecodeBatch = 64 * 1024;

const char* Reason(FLAC__StreamDecoderErrorStatus status) {
  switch (status) {
    case FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC:
      return "the decoder lost the frames' sync";
    case FLAC__STREAM_DECODER_ERROR_STATUS_BAD_HEADER:
      return "a frame's header is damaged";
    case FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH:
      return "a frame's CRC does not match";
    case FLAC__STREAM_DECODER_ERROR_STATUS_UNPARSEABLE_STREAM:
      return "the decoder cannot parse the stream";
    default:
      return "the decoder reports a damaged stream";
  }
}

}  // namespace

size_t FlacFrameVerifier::Ring::Push(const uint8_t* data, size_t count) {
  count = std::min(count, Room());
  const size_t tail = (m_head + m_size) % m_bytes.size();
  const size_t first = std::min(count, m_bytes.size() - tail);
  std::memcpy(m_bytes.data() + tail, data, first);
  std::memcpy(m_bytes.data(), data + first, count - first);
  m_size += count;
  return count;
}

size_t FlacFrameVerifier::Ring::Pop(uint8_t* out, size_t count) {
  count = std::min(count, m_size);
  const size_t first = std::min(count, m_bytes.size() - m_head);
  std::memcpy(out, m_bytes.data() + m_head, first);
  std::memcpy(out + first, m_bytes.data(), count - first);
  m_head = (m_head + count) % m_bytes.size();
  m_size -= count;
  return count;
}

FlacFrameVerifier::FlacFrameVerifier()
    : m_decoder(FLAC__stream_decoder_new()), m_given(kGivenBytes), m_encoded(kEncodedBytes) {
  std::lock_guard lock(m_mutex);
  if (!m_decoder || FLAC__stream_decoder_init_stream(
                        m_decoder.get(), &ReadCallback, nullptr, nullptr, nullptr, nullptr, &WriteCallback,
                        nullptr, &ErrorCallback, this) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
    Fail("cannot start the FLAC decoder that checks the file");
    m_done = true;
    return;
  }
  m_thread = std::thread(&FlacFrameVerifier::Decode, this);
}

FlacFrameVerifier::~FlacFrameVerifier() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_toDecoder.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void FlacFrameVerifier::Fail(std::string text) {
  if (Failed()) return;
  m_failure = std::move(text);
  m_failed.store(true, std::memory_order_release);
  m_toEncoder.notify_all();
}

void FlacFrameVerifier::FailAt(uint64_t sample, const char* why) {
  std::string text =
      "the FLAC file does not decode to the audio it was given (sample " + std::to_string(sample) + ")";
  if (*why) text = text + ": " + why;
  Fail(std::move(text));
}

std::string FlacFrameVerifier::FailureText() const {
  std::lock_guard lock(m_mutex);
  return m_failure;
}

bool FlacFrameVerifier::Put(Ring& ring, const uint8_t* data, size_t count) {
  std::unique_lock lock(m_mutex);
  for (;;) {
    if (Failed() || m_done) return false;
    const size_t pushed = ring.Push(data, count);
    data += pushed;
    count -= pushed;
    if (&ring == &m_given) m_givenBytes += pushed;
    if (m_decoderWants > 0 && m_encoded.Size() >= m_decoderWants) m_toDecoder.notify_one();
    if (count == 0) return true;
    // Full: the decoder must catch up, whatever its batch.
    m_encoderWaitsFor = &ring;
    m_toDecoder.notify_one();
    m_toEncoder.wait(lock, [&] { return ring.Room() > 0 || Failed() || m_done; });
    m_encoderWaitsFor = nullptr;
  }
}

bool FlacFrameVerifier::Given(const uint8_t* pcm, size_t bytes) { return Put(m_given, pcm, bytes); }

bool FlacFrameVerifier::Encoded(const uint8_t* bytes, size_t count) { return Put(m_encoded, bytes, count); }

bool FlacFrameVerifier::Finish() {
  {
    std::unique_lock lock(m_mutex);
    m_ended = true;
    m_toDecoder.notify_one();
    m_toEncoder.wait(lock, [&] { return m_done; });
    const uint64_t given = m_givenBytes / kBytesPerSample;
    if (m_decodedSamples != given) FailAt(m_decodedSamples, "the file ends there");
  }
  if (m_thread.joinable()) m_thread.join();
  return !Failed();
}

void FlacFrameVerifier::Decode() {
  FLAC__stream_decoder_process_until_end_of_stream(m_decoder.get());
  std::lock_guard lock(m_mutex);
  const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(m_decoder.get());
  if (state != FLAC__STREAM_DECODER_END_OF_STREAM && state != FLAC__STREAM_DECODER_ABORTED)
    FailAt(m_decodedSamples, FLAC__stream_decoder_get_resolved_state_string(m_decoder.get()));
  m_done = true;
  m_toEncoder.notify_all();
}

FLAC__StreamDecoderReadStatus FlacFrameVerifier::ReadCallback(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                                              size_t* bytes, void* self) {
  auto* verifier = static_cast<FlacFrameVerifier*>(self);
  std::unique_lock lock(verifier->m_mutex);
  if (verifier->m_encoded.Size() == 0) {
    verifier->m_decoderWants = kDecodeBatch;
    verifier->m_toDecoder.wait(lock, [&] {
      return verifier->m_encoded.Size() >= kDecodeBatch || verifier->EncoderBlocked() || verifier->m_ended ||
             verifier->m_stop || verifier->Failed();
    });
    verifier->m_decoderWants = 0;
  }
  if (verifier->m_stop || verifier->Failed()) return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
  *bytes = verifier->m_encoded.Pop(buffer, *bytes);
  if (verifier->m_encoderWaitsFor) verifier->m_toEncoder.notify_all();
  if (*bytes > 0) return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
  if (verifier->m_ended) return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
  // The encoder waits for room for more audio, yet no frame holds the audio already given.
  verifier->FailAt(verifier->m_decodedSamples, "the stream holds no frames for the audio given");
  return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
}

FLAC__StreamDecoderWriteStatus FlacFrameVerifier::WriteCallback(const FLAC__StreamDecoder*,
                                                                const FLAC__Frame* frame,
                                                                const FLAC__int32* const buffer[],
                                                                void* self) {
  return static_cast<FlacFrameVerifier*>(self)->Compare(*frame, buffer);
}

FLAC__StreamDecoderWriteStatus FlacFrameVerifier::Compare(const FLAC__Frame& frame,
                                                          const FLAC__int32* const buffer[]) {
  const uint32_t samples = frame.header.blocksize;
  m_expected.resize(size_t(samples) * kBytesPerSample);
  {
    std::lock_guard lock(m_mutex);
    if (Failed()) return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    if (frame.header.channels != 2 || frame.header.bits_per_sample != 16) {
      FailAt(m_decodedSamples, "a frame is not 16-bit stereo");
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    // A frame's audio is always given before its bytes, so it is there, all of it, or never given.
    const size_t got = m_given.Pop(m_expected.data(), m_expected.size());
    if (m_encoderWaitsFor) m_toEncoder.notify_all();
    if (got < m_expected.size()) {
      FailAt(m_givenBytes / kBytesPerSample, "the file holds more audio than was given");
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
  }
  const uint8_t* given = m_expected.data();
  for (uint32_t i = 0; i < samples; ++i, given += kBytesPerSample) {
    const auto left = static_cast<int16_t>(uint16_t(given[0] | given[1] << 8));
    const auto right = static_cast<int16_t>(uint16_t(given[2] | given[3] << 8));
    if (buffer[0][i] != left || buffer[1][i] != right) {
      std::lock_guard lock(m_mutex);
      FailAt(m_decodedSamples + i, "");
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
  }
  std::lock_guard lock(m_mutex);
  m_decodedSamples += samples;
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void FlacFrameVerifier::ErrorCallback(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status,
                                      void* self) {
  auto* verifier = static_cast<FlacFrameVerifier*>(self);
  std::lock_guard lock(verifier->m_mutex);
  verifier->FailAt(verifier->m_decodedSamples, Reason(status));
}

}  // namespace korvi
