#pragma once
// PCM blocks and the sound output that plays them: 44100 Hz, 16-bit little-endian, stereo, which is
// exactly the layout of raw CD audio sectors.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvi {

constexpr int kPlaybackRate = 44100;
constexpr int kPlaybackChannels = 2;
constexpr int kPlaybackFrameBytes = 4;

// One block of PCM bytes. Made from (data, size) it holds a copy of the data; without data it holds
// size bytes of silence.
class AudioBlock {
 public:
  explicit AudioBlock(int32_t size, const uint8_t* data = nullptr)
      : m_bytes(size > 0 ? static_cast<size_t>(size) : 0) {
    if (data && !m_bytes.empty()) std::memcpy(m_bytes.data(), data, m_bytes.size());
  }

  uint8_t* data() { return m_bytes.data(); }
  const uint8_t* data() const { return m_bytes.data(); }
  int32_t size() const { return static_cast<int32_t>(m_bytes.size()); }

 private:
  std::vector<uint8_t> m_bytes;
};

// Where blocks are heard. Blocks play in the order they are written. Every written block comes back
// exactly once through the completion, in that same order, on the device's own thread (never on
// the writer's): played is true once the block has been played, false when the output failed
// first. The owner keeps the number of blocks at the device small; the device buffers only a
// little ahead of the ear, so a completion means that the block is (nearly) heard.
class AudioDevice {
 public:
  using Completion = std::function<void(std::unique_ptr<AudioBlock> block, bool played)>;

  virtual ~AudioDevice() = default;

  // Set once, before the first write.
  virtual void SetCompletion(Completion completion) = 0;
  // Connects to the output unless connected, waiting for the answer (bounded by the device);
  // false with the cause in *error. Not while an OpenInBackground is under way.
  virtual bool Open(std::string* error) = 0;
  // The same without waiting: returns at once, and done(opened) runs once on the device's own
  // thread, in order with the completions of blocks written before (the cause of a failure in
  // LastError). Destroying the device gives up a connection under way (its done may still run,
  // with false, before the destructor returns) and drops a done not started yet: the destructor
  // does not wait for a server that does not answer.
  virtual void OpenInBackground(std::function<void(bool opened)> done) = 0;
  virtual bool IsOpen() const = 0;
  // Hands a block over. On a device that is not open the block comes back at once as not played.
  virtual void Write(std::unique_ptr<AudioBlock> block) = 0;
  // Why the output last failed or could not be opened.
  virtual std::string LastError() const = 0;
};

}  // namespace korvi
