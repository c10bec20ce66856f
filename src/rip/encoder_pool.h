#pragma once
// The encoders of a rip job: a thread each, one track at a time. The job's reader hands a track
// over with its writer, then feeds it the sectors it reads through a queue of its own. The queues
// are bounded, so a slow encoder holds the reader back instead of filling memory.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace korvi {

class COutputMediaFile;

class EncoderPool {
 public:
  // Whole sectors of raw CD audio.
  using Chunk = std::vector<uint8_t>;
  // Called on an encoder's thread once it has closed the track's file.
  using Closed = std::function<void(size_t track, COutputMediaFile& writer)>;
  // Called on an encoder's thread with each chunk of a track, before its writer gets it: the
  // track's sums are taken where its file is written, not on the reader's thread.
  using Fed = std::function<void(size_t track, const Chunk& chunk)>;

  // queueChunks: how many chunks each track's queue holds at most. The reader hears of a queue
  // again once it is down to lowWater chunks, so that it refills queues in runs rather than a
  // chunk at a time.
  EncoderPool(int encoders, size_t queueChunks, size_t lowWater, Closed closed, Fed fed = {});
  // Ends every track still open and waits until its file is closed.
  ~EncoderPool();
  EncoderPool(const EncoderPool&) = delete;
  EncoderPool& operator=(const EncoderPool&) = delete;

  int Encoders() const { return static_cast<int>(m_threads.size()); }
  // Tracks handed over whose file is not closed yet.
  int Busy() const;
  // A free encoder takes the track and its open writer; only while Busy() < Encoders().
  void Add(size_t track, std::unique_ptr<COutputMediaFile> writer);
  // How many more chunks the track's queue takes now.
  size_t Room(size_t track) const;
  // An empty buffer for the next chunk, one that an encoder has finished with where there is one.
  Chunk TakeBuffer();
  void Push(size_t track, Chunk chunk);
  // No more sectors for the track: its encoder writes what is queued and closes the file.
  void End(size_t track);

  // Counts every change the reader may wait for: a queue down to its low water, a file closed, Wake.
  uint64_t Generation() const;
  // Returns once Generation() differs from seen.
  void WaitForChange(uint64_t seen);
  void Wake();
  // Returns once every track that was added has its file closed.
  void WaitUntilIdle();

 private:
  struct Feed {
    size_t track;
    std::unique_ptr<COutputMediaFile> writer;
    std::deque<Chunk> chunks;
    bool ended = false;
  };

  void Encode();
  void EncodeFeed(Feed& feed, std::unique_lock<std::mutex>& lock);
  // For the reader, who alone waits on m_readerChanged.
  void Changed();

  const size_t m_queueChunks;
  const size_t m_lowWater;
  const Closed m_closed;
  const Fed m_fed;
  mutable std::mutex m_mutex;
  std::condition_variable m_readerChanged;
  std::condition_variable m_work;                   // a track, a chunk or an end for the encoders
  std::map<size_t, std::unique_ptr<Feed>> m_feeds;  // added, not closed
  std::deque<Feed*> m_waiting;                      // added, not taken by an encoder
  std::vector<Chunk> m_spare;
  uint64_t m_generation = 0;
  bool m_shutdown = false;
  std::vector<std::thread> m_threads;
};

}  // namespace korvi
