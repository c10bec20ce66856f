#pragma once
// Streams PCM blocks to the sound output: a queue that the play control fills, two blocks at the
// device, and for each finished block a synchronous WM_PLAY_BUFFER_DONE to the frame (which refills
// the queue) followed by the next submission.

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "messages/messenger.h"
#include "playback/audio_device.h"

namespace korvi {

class CWavePlayer {
 public:
  static constexpr int kBlocksAtDevice = 2;
  static constexpr size_t kBlocksToStart = 3;

  // On the sound server of the desktop.
  CWavePlayer();
  explicit CWavePlayer(std::unique_ptr<AudioDevice> device);
  // The device goes first: its thread is joined, so the owner must let the blocks at the device
  // finish (busy() false) while serving its messages, or else make sure first that no Send to it
  // can wait any more (close its messenger): a completion may be in the middle of one.
  virtual ~CWavePlayer();
  CWavePlayer(const CWavePlayer&) = delete;
  CWavePlayer& operator=(const CWavePlayer&) = delete;

  // Receiver of WM_PLAY_BUFFER_DONE; none until set.
  void setNotifyWindow(IFrameMessenger* frame);
  // From now on start() does not wait for a device that is not open yet: see start().
  void setOpenInBackground(bool background);
  // Called on the device's thread, with the player's lock held, when busy() has just turned false:
  // an owner that waits for that without a message to wake it (a MessageLoop) can wake up. It must
  // not call the player.
  void setIdleNotify(std::function<void()> notify);

  // Appends a block at the back of the queue.
  void enqueue(AudioBlock block);
  // Drops every queued block.
  void clear();
  // With at least 3 blocks queued, opens the device when needed, clears the stop flag and fills
  // the device up to two blocks. False when it did not start: too few blocks (the stop flag keeps
  // its value), or no sound output (lastError() says why).
  // Opening in the background, a device that is not open yet is opened on the device's thread and
  // start returns true at once: the play is starting (not stopped, busy) and its blocks go to the
  // device once it is open. A stop before that cancels the start. When the device cannot be
  // opened, the stop flag is set, the failure is kept for takeFailure and one WM_PLAY_BUFFER_DONE
  // is sent, as when the output breaks while playing.
  bool start();
  // Sets the stop flag. Nothing is taken back from the device: the blocks there play to their end
  // and each still sends WM_PLAY_BUFFER_DONE.
  void stop();
  // The stop flag. It is also set by itself when the last block of the play (nothing queued, nothing
  // else at the device) finishes, before its WM_PLAY_BUFFER_DONE, and when the sound output fails.
  bool isStopped() const { return m_stopped.load(); }
  // Moves the front block to the device unless two are there already. False when nothing went.
  bool submitNext();

  size_t queuedBlocks() const;
  int blocksAtDevice() const;
  // Blocks are at the device, a completion is running or the device is being opened: the owner
  // must serve its messages.
  bool busy() const;
  // The sound output failed since the last call (start could not open it, or it broke while
  // playing); its cause in *cause. True once per failure.
  bool takeFailure(std::string* cause = nullptr);
  std::string lastError() const;

 private:
  // On the device's thread, once per submitted block.
  void onBlockDone(std::unique_ptr<AudioBlock> block, bool played);
  // On the device's thread, when the opening asked for by the start numbered startId is over.
  void onOpened(uint64_t startId, bool opened);
  // The frame handles WM_PLAY_BUFFER_DONE; then, with the lock held again, the next blocks go.
  void sendBufferDone(std::unique_lock<std::mutex>& lock);
  void notifyIfIdleLocked();
  // With m_mutex held.
  bool submitLocked();
  void failLocked(std::string cause);

  std::unique_ptr<AudioDevice> m_device;
  mutable std::mutex m_mutex;
  std::deque<AudioBlock> m_queue;
  int m_atDevice = 0;
  int m_completing = 0;
  bool m_openInBackground = false;
  int m_opening = 0;           // openings asked of the device and not over yet
  bool m_awaitingOpen = false;  // the current start waits for its opening: nothing is submitted
  uint64_t m_startId = 0;
  bool m_failed = false;
  std::string m_lastError;
  std::atomic<bool> m_stopped{true};
  std::atomic<IFrameMessenger*> m_frame{nullptr};
  std::function<void()> m_onIdle;
};

}  // namespace korvi
