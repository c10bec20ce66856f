#pragma once
// A private PulseAudio server for one test: its own folders in a temporary directory, a native
// socket without authentication, and a pipe sink (44100 Hz s16le stereo, paced by the system
// clock) whose output a reader thread keeps. Needs no desktop session and works as root. While it
// lives, PULSE_COOKIE points into its folder, so that the clients of the test (which create the
// cookie when there is none) leave the user's home alone.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/temp_dir.h"

namespace korvi::fixtures {

class PulseServer {
 public:
  PulseServer();
  // Stops the server and the reader.
  ~PulseServer();
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  // Empty when the server runs; else why it does not (with its log).
  const std::string& error() const { return m_error; }
  // For PulseDeviceOptions::server and PULSE_SERVER.
  std::string address() const { return "unix:" + (m_dir / "native").string(); }
  const std::filesystem::path& dir() const { return m_dir.path(); }

  // What the sink played, without its all-zero frames: the sink writes silence whenever a stream
  // is open but has nothing to give, so only the sound itself can be compared.
  std::vector<uint8_t> Sound() const;
  // Waits until Sound() holds at least bytes, or the timeout passes.
  bool WaitForSound(size_t bytes, std::chrono::milliseconds timeout) const;
  // The server goes away at once, as when it crashes.
  void Kill();
  // The server stops answering (SIGSTOP), as when it hangs, and goes on again (SIGCONT). The
  // destructor continues a frozen server before it ends it.
  void Freeze();
  void Thaw();

 private:
  bool Start();
  void ReadSink(int fd);

  TempDir m_dir;
  std::string m_error;
  std::optional<std::string> m_previousCookie;
  pid_t m_pid = -1;
  std::thread m_reader;
  std::atomic<bool> m_stopReading{false};
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_soundGrew;
  std::vector<uint8_t> m_sound;
  uint8_t m_partial[4] = {};
  size_t m_partialBytes = 0;
};

// The frames of pcm that are not all zero, in order.
std::vector<uint8_t> WithoutSilentFrames(const uint8_t* pcm, size_t bytes);

}  // namespace korvi::fixtures
