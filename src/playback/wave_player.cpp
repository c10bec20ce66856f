#include "playback/wave_player.h"

#include <utility>

#include "playback/pulse_audio_device.h"

namespace korvi {

CWavePlayer::CWavePlayer() : CWavePlayer(MakePulseAudioDevice()) {}

CWavePlayer::CWavePlayer(std::unique_ptr<AudioDevice> device) : m_device(std::move(device)) {
  m_device->SetCompletion(
      [this](std::unique_ptr<AudioBlock> block, bool played) { onBlockDone(std::move(block), played); });
}

CWavePlayer::~CWavePlayer() {
  // No completion may submit or send from here on; then the device's thread is joined.
  m_frame.store(nullptr);
  {
    std::lock_guard lock(m_mutex);
    m_stopped.store(true);
  }
  m_device.reset();
}

void CWavePlayer::setNotifyWindow(IFrameMessenger* frame) { m_frame.store(frame); }

void CWavePlayer::setOpenInBackground(bool background) {
  std::lock_guard lock(m_mutex);
  m_openInBackground = background;
}

void CWavePlayer::setIdleNotify(std::function<void()> notify) {
  std::lock_guard lock(m_mutex);
  m_onIdle = std::move(notify);
}

void CWavePlayer::enqueue(AudioBlock block) {
  std::lock_guard lock(m_mutex);
  m_queue.push_back(std::move(block));
}

void CWavePlayer::clear() {
  std::lock_guard lock(m_mutex);
  m_queue.clear();
}

bool CWavePlayer::start() {
  std::lock_guard lock(m_mutex);
  if (m_queue.size() < kBlocksToStart) return false;
  ++m_startId;  // an opening asked for by an earlier start no longer starts anything
  m_awaitingOpen = false;
  if (!m_device->IsOpen() && m_openInBackground) {
    m_stopped.store(false);
    m_awaitingOpen = true;
    ++m_opening;
    m_device->OpenInBackground([this, id = m_startId](bool opened) { onOpened(id, opened); });
    return true;
  }
  if (!m_device->IsOpen()) {
    std::string cause;
    if (!m_device->Open(&cause)) {
      failLocked(std::move(cause));
      return false;
    }
  }
  m_stopped.store(false);
  // Blocks of a stopped play may still be at the device: together never more than two.
  while (submitLocked()) {
  }
  return true;
}

void CWavePlayer::stop() { m_stopped.store(true); }

bool CWavePlayer::submitNext() {
  std::lock_guard lock(m_mutex);
  return submitLocked();
}

bool CWavePlayer::submitLocked() {
  if (m_awaitingOpen || m_queue.empty() || m_atDevice >= kBlocksAtDevice) return false;
  auto block = std::make_unique<AudioBlock>(std::move(m_queue.front()));
  m_queue.pop_front();
  ++m_atDevice;
  m_device->Write(std::move(block));
  return true;
}

void CWavePlayer::onBlockDone(std::unique_ptr<AudioBlock> block, bool played) {
  block.reset();
  std::unique_lock lock(m_mutex);
  --m_atDevice;
  ++m_completing;
  // A failure is told once: the blocks after it find the player stopped already.
  if (!played && !m_stopped.load()) failLocked(m_device->LastError());
  // The last block of the play: nothing queued and nothing else at the device. The play is over
  // from here, so the frame already sees it stopped while it handles this block's message.
  if (m_atDevice == 0 && m_queue.empty()) m_stopped.store(true);
  sendBufferDone(lock);
  if (!m_stopped.load()) {
    while (submitLocked()) {
    }
  }
  notifyIfIdleLocked();
}

void CWavePlayer::onOpened(uint64_t startId, bool opened) {
  std::unique_lock lock(m_mutex);
  --m_opening;
  // A start that was stopped meanwhile, or followed by another, is over: nothing to submit or tell.
  if (startId == m_startId && m_awaitingOpen) {
    m_awaitingOpen = false;
    if (!m_stopped.load() && opened) {
      while (submitLocked()) {
      }
    } else if (!m_stopped.load()) {
      failLocked(m_device->LastError());
      ++m_completing;
      sendBufferDone(lock);
    }
  }
  notifyIfIdleLocked();
}

void CWavePlayer::sendBufferDone(std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  // Synchronous: the frame reads the next chunk into the queue before this returns.
  if (IFrameMessenger* frame = m_frame.load()) frame->Send(WM_PLAY_BUFFER_DONE, 0, 0);
  lock.lock();
  --m_completing;
}

void CWavePlayer::notifyIfIdleLocked() {
  if (m_atDevice == 0 && m_completing == 0 && m_opening == 0 && m_onIdle) m_onIdle();
}

void CWavePlayer::failLocked(std::string cause) {
  m_failed = true;
  m_lastError = std::move(cause);
  m_stopped.store(true);
}

size_t CWavePlayer::queuedBlocks() const {
  std::lock_guard lock(m_mutex);
  return m_queue.size();
}

int CWavePlayer::blocksAtDevice() const {
  std::lock_guard lock(m_mutex);
  return m_atDevice;
}

bool CWavePlayer::busy() const {
  std::lock_guard lock(m_mutex);
  return m_atDevice > 0 || m_completing > 0 || m_opening > 0;
}

bool CWavePlayer::takeFailure(std::string* cause) {
  std::lock_guard lock(m_mutex);
  if (!m_failed) return false;
  m_failed = false;
  if (cause) *cause = m_lastError;
  return true;
}

std::string CWavePlayer::lastError() const {
  std::lock_guard lock(m_mutex);
  return m_lastError;
}

}  // namespace korvi
