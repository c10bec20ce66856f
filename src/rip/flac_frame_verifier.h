#pragma once
// Checks a FLAC stream while it is being written: a thread of its own decodes the encoder's bytes
// with libFLAC's stream decoder and compares every frame with the audio the encoder was given. The
// encoder's thread only copies bytes, so on a second core the check costs it next to nothing.
//
// The encoder's thread gives the audio before it encodes it and passes on the bytes the encoder
// writes, in stream order. Both go through bounded buffers: when the decoder falls behind by more
// than a few seconds of audio, Given and Encoded wait for it, so memory stays bounded.

#include <FLAC/stream_decoder.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvi {

class FlacFrameVerifier {
 public:
  // How far, in seconds of audio, the decoder may fall behind the encoder.
  static constexpr size_t kMaxLagSeconds = 4;

  // Starts the decoder's thread; 16-bit stereo at 44100 Hz is what the stream must decode to.
  FlacFrameVerifier();
  // Stops the decoder and waits for its thread, whether or not Finish was called.
  ~FlacFrameVerifier();
  FlacFrameVerifier(const FlacFrameVerifier&) = delete;
  FlacFrameVerifier& operator=(const FlacFrameVerifier&) = delete;

  // The audio the encoder is given next: raw CD audio, 16-bit little-endian stereo, whole sample
  // frames. Call it before the encoder gets these samples, so that a frame never arrives before
  // its audio. False once the check has failed (and then it never waits).
  bool Given(const uint8_t* pcm, size_t bytes);
  // The encoder's next bytes, in stream order; never bytes written again over earlier ones.
  bool Encoded(const uint8_t* bytes, size_t count);
  // The stream is complete: waits until it is decoded. True when it decoded to exactly the audio
  // given, no sample more or less.
  bool Finish();

  bool Failed() const { return m_failed.load(std::memory_order_acquire); }
  // Names the first sample that did not decode as given, counted from 0.
  std::string FailureText() const;

 private:
  // A fixed-size first-in first-out byte buffer.
  class Ring {
   public:
    explicit Ring(size_t capacity) : m_bytes(capacity) {}
    size_t Size() const { return m_size; }
    size_t Room() const { return m_bytes.size() - m_size; }
    // Each moves as many bytes as there are, or as there is room for, and returns how many.
    size_t Push(const uint8_t* data, size_t count);
    size_t Pop(uint8_t* out, size_t count);

   private:
    std::vector<uint8_t> m_bytes;
    size_t m_head = 0;
    size_t m_size = 0;
  };

  struct DecoderDeleter {
    void operator()(FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete(decoder); }
  };

  static FLAC__StreamDecoderReadStatus ReadCallback(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                                    size_t* bytes, void* self);
  static FLAC__StreamDecoderWriteStatus WriteCallback(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                      const FLAC__int32* const buffer[], void* self);
  static void ErrorCallback(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* self);

  // Waits for room in the ring and fills it; false once the check failed or the decoder stopped.
  bool Put(Ring& ring, const uint8_t* data, size_t count);
  // With m_mutex held: Given or Encoded cannot go on until the decoder takes something.
  bool EncoderBlocked() const { return m_encoderWaitsFor && m_encoderWaitsFor->Room() == 0; }
  void Decode();
  // With m_mutex held: keeps the first failure, and wakes the encoder's thread.
  void Fail(std::string text);
  // The first sample that did not decode as given, and why, unless the samples differ (why empty).
  void FailAt(uint64_t sample, const char* why);
  FLAC__StreamDecoderWriteStatus Compare(const FLAC__Frame& frame, const FLAC__int32* const buffer[]);

  std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter> m_decoder;
  mutable std::mutex m_mutex;
  std::condition_variable m_toDecoder;      // bytes, the end, or a stop
  std::condition_variable m_toEncoder;      // room, a failure, or the decoder done
  Ring m_given;                             // the audio given, not yet compared
  Ring m_encoded;                           // the stream, not yet decoded
  uint64_t m_givenBytes = 0;                // audio given so far
  uint64_t m_decodedSamples = 0;            // sample frames decoded and compared so far
  const Ring* m_encoderWaitsFor = nullptr;  // while Given or Encoded waits for room: the ring
  size_t m_decoderWants = 0;                // while the decoder waits: the bytes it waits for
  bool m_ended = false;                     // Finish: no more bytes come
  bool m_stop = false;                      // the destructor: stop decoding now
  bool m_done = false;                      // the decoder's thread has finished
  std::atomic<bool> m_failed{false};
  std::string m_failure;
  std::vector<uint8_t> m_expected;  // the decoder thread's copy of a frame's audio as given
  std::thread m_thread;             // last: it starts once everything above is set up
};

}  // namespace korvi
