#include "rip/encoder_pool.h"

#include "disc/cdrom_toc.h"
#include "rip/output_media.h"

namespace korvi {

EncoderPool::EncoderPool(int encoders, size_t queueChunks, size_t lowWater, Closed closed, Fed fed)
    : m_queueChunks(queueChunks), m_lowWater(lowWater), m_closed(std::move(closed)), m_fed(std::move(fed)) {
  for (int i = 0; i < std::max(encoders, 1); ++i) m_threads.emplace_back(&EncoderPool::Encode, this);
}

EncoderPool::~EncoderPool() {
  {
    std::lock_guard lock(m_mutex);
    for (auto& [track, feed] : m_feeds) feed->ended = true;
    m_shutdown = true;
  }
  m_work.notify_all();
  for (std::thread& thread : m_threads) thread.join();
}

int EncoderPool::Busy() const {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(m_feeds.size());
}

void EncoderPool::Add(size_t track, std::unique_ptr<COutputMediaFile> writer) {
  std::lock_guard lock(m_mutex);
  auto feed = std::make_unique<Feed>();
  feed->track = track;
  feed->writer = std::move(writer);
  m_waiting.push_back(feed.get());
  m_feeds[track] = std::move(feed);
  m_work.notify_all();
}

size_t EncoderPool::Room(size_t track) const {
  std::lock_guard lock(m_mutex);
  const auto found = m_feeds.find(track);
  if (found == m_feeds.end() || found->second->ended) return 0;
  const size_t queued = found->second->chunks.size();
  return queued < m_queueChunks ? m_queueChunks - queued : 0;
}

EncoderPool::Chunk EncoderPool::TakeBuffer() {
  std::lock_guard lock(m_mutex);
  if (m_spare.empty()) return {};
  Chunk chunk = std::move(m_spare.back());
  m_spare.pop_back();
  chunk.clear();
  return chunk;
}

void EncoderPool::Push(size_t track, Chunk chunk) {
  std::lock_guard lock(m_mutex);
  const auto found = m_feeds.find(track);
  if (found == m_feeds.end() || found->second->ended) return;
  std::deque<Chunk>& chunks = found->second->chunks;
  chunks.push_back(std::move(chunk));
  if (chunks.size() == 1) m_work.notify_all();
}

void EncoderPool::End(size_t track) {
  std::lock_guard lock(m_mutex);
  const auto found = m_feeds.find(track);
  if (found == m_feeds.end()) return;
  found->second->ended = true;
  m_work.notify_all();
}

uint64_t EncoderPool::Generation() const {
  std::lock_guard lock(m_mutex);
  return m_generation;
}

void EncoderPool::WaitForChange(uint64_t seen) {
  std::unique_lock lock(m_mutex);
  m_readerChanged.wait(lock, [&] { return m_generation != seen; });
}

void EncoderPool::Wake() {
  std::lock_guard lock(m_mutex);
  Changed();
}

void EncoderPool::WaitUntilIdle() {
  std::unique_lock lock(m_mutex);
  m_readerChanged.wait(lock, [&] { return m_feeds.empty(); });
}

void EncoderPool::Changed() {
  ++m_generation;
  m_readerChanged.notify_one();
}

void EncoderPool::Encode() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_work.wait(lock, [&] { return m_shutdown || !m_waiting.empty(); });
    if (m_waiting.empty()) return;
    Feed& feed = *m_waiting.front();
    m_waiting.pop_front();
    EncodeFeed(feed, lock);
    m_feeds.erase(feed.track);
    Changed();
  }
}

void EncoderPool::EncodeFeed(Feed& feed, std::unique_lock<std::mutex>& lock) {
  for (;;) {
    m_work.wait(lock, [&] { return !feed.chunks.empty() || feed.ended; });
    if (feed.chunks.empty()) break;
    Chunk chunk = std::move(feed.chunks.front());
    feed.chunks.pop_front();
    if (feed.chunks.size() == m_lowWater) Changed();
    lock.unlock();
    if (m_fed) m_fed(feed.track, chunk);
    // A sector a call, as the writers have always been fed: their files do not depend on the chunks.
    for (size_t at = 0; at + kRawSectorBytes <= chunk.size(); at += kRawSectorBytes)
      feed.writer->Write(chunk.data() + at, kRawSectorBytes);
    lock.lock();
    m_spare.push_back(std::move(chunk));
  }
  lock.unlock();
  feed.writer->Close();
  if (m_closed) m_closed(feed.track, *feed.writer);
  lock.lock();
}

}  // namespace korvi
