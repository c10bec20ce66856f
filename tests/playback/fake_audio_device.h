#pragma once
// A sound output for tests: it keeps the blocks written to it and finishes them on its own thread
// when the test says so (or at once, when told to play by itself), and records what it saw.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "playback/audio_device.h"

namespace korvi::fakes {

class FakeAudioDevice : public AudioDevice {
 public:
  FakeAudioDevice() : m_thread([this] { Run(); }) {}
  ~FakeAudioDevice() override {
    {
      std::lock_guard lock(m_mutex);
      m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
  }

  // Runs on the device's thread after each completion or opening has returned (the test wakes its
  // loop).
  std::function<void()> afterCompletion;

  void SetCompletion(Completion completion) override { m_completion = std::move(completion); }
  bool Open(std::string* error) override {
    std::lock_guard lock(m_mutex);
    ++m_opens;
    if (!m_canOpen) {
      if (error) *error = "no sound card in this test";
      m_lastError = "no sound card in this test";
      return false;
    }
    m_open = true;
    return true;
  }
  // The opening runs on the device's thread, in order with the completions.
  void OpenInBackground(std::function<void(bool opened)> done) override {
    std::lock_guard lock(m_mutex);
    m_finishing.push_back({nullptr, false, std::move(done)});
    m_wake.notify_all();
  }
  bool IsOpen() const override {
    std::lock_guard lock(m_mutex);
    return m_open;
  }
  void Write(std::unique_ptr<AudioBlock> block) override {
    std::lock_guard lock(m_mutex);
    if (!m_open) {
      m_finishing.push_back({std::move(block), false, nullptr});
    } else {
      m_written.emplace_back(block->data(), block->data() + block->size());
      m_held.push_back(std::move(block));
      m_maxHeld = std::max(m_maxHeld, static_cast<int>(m_held.size()));
      if (m_playByItself) MoveHeldToFinishing(1, true);
    }
    m_wake.notify_all();
  }
  std::string LastError() const override {
    std::lock_guard lock(m_mutex);
    return m_lastError;
  }

  // The oldest n blocks held finish (played) on the device's thread.
  void Finish(int n) {
    std::lock_guard lock(m_mutex);
    MoveHeldToFinishing(n, true);
    m_wake.notify_all();
  }
  // The output breaks: every held block comes back unplayed, and the device is closed.
  void Break() {
    std::lock_guard lock(m_mutex);
    m_open = false;
    m_lastError = "the test pulled the plug";
    MoveHeldToFinishing(static_cast<int>(m_held.size()), false);
    m_wake.notify_all();
  }
  // From now on each block finishes as soon as it is written, like a very fast sound card.
  void PlayByItself() {
    std::lock_guard lock(m_mutex);
    m_playByItself = true;
    MoveHeldToFinishing(static_cast<int>(m_held.size()), true);
    m_wake.notify_all();
  }
  void SetCanOpen(bool canOpen) {
    std::lock_guard lock(m_mutex);
    m_canOpen = canOpen;
  }

  int Held() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_held.size());
  }
  int MaxHeld() const {
    std::lock_guard lock(m_mutex);
    return m_maxHeld;
  }
  int Completed() const {
    std::lock_guard lock(m_mutex);
    return m_completed;
  }
  int Opens() const {
    std::lock_guard lock(m_mutex);
    return m_opens;
  }
  // Every block written while open, in order.
  std::vector<std::vector<uint8_t>> Written() const {
    std::lock_guard lock(m_mutex);
    return m_written;
  }

 private:
  struct Finishing {
    std::unique_ptr<AudioBlock> block;
    bool played;
    std::function<void(bool)> opened;  // set: an opening, not a block
  };

  void MoveHeldToFinishing(int n, bool played) {
    for (; n > 0 && !m_held.empty(); --n) {
      m_finishing.push_back({std::move(m_held.front()), played, nullptr});
      m_held.pop_front();
    }
  }

  void Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
      m_wake.wait(lock, [this] { return m_quit || !m_finishing.empty(); });
      if (m_quit) return;
      Finishing next = std::move(m_finishing.front());
      m_finishing.pop_front();
      lock.unlock();
      if (next.opened)
        next.opened(Open(nullptr));
      else
        m_completion(std::move(next.block), next.played);
      lock.lock();
      if (!next.opened) ++m_completed;
      lock.unlock();
      if (afterCompletion) afterCompletion();
      lock.lock();
    }
  }

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  Completion m_completion;
  bool m_canOpen = true;
  bool m_open = false;
  bool m_playByItself = false;
  bool m_quit = false;
  int m_opens = 0;
  int m_maxHeld = 0;
  int m_completed = 0;
  std::string m_lastError;
  std::deque<std::unique_ptr<AudioBlock>> m_held;
  std::deque<Finishing> m_finishing;
  std::vector<std::vector<uint8_t>> m_written;
  std::thread m_thread;
};

}  // namespace korvi::fakes
