#include "playback/pulse_audio_device.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/proplist.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace korvi {
namespace {

constexpr pa_sample_spec kSampleSpec = {PA_SAMPLE_S16LE, kPlaybackRate, kPlaybackChannels};

// libpulse's locked sections, as a scope.
class MainloopLock {
 public:
  explicit MainloopLock(pa_threaded_mainloop* loop) : m_loop(loop) { pa_threaded_mainloop_lock(m_loop); }
  ~MainloopLock() { pa_threaded_mainloop_unlock(m_loop); }
  MainloopLock(const MainloopLock&) = delete;
  MainloopLock& operator=(const MainloopLock&) = delete;

 private:
  pa_threaded_mainloop* m_loop;
};

struct ProplistDeleter {
  void operator()(pa_proplist* list) const { pa_proplist_free(list); }
};
using Proplist = std::unique_ptr<pa_proplist, ProplistDeleter>;

void Unref(pa_operation* operation) {
  if (operation) pa_operation_unref(operation);
}

class PulseAudioDevice final : public AudioDevice {
 public:
  explicit PulseAudioDevice(PulseDeviceOptions options)
      : m_options(std::move(options)),
        m_loop(pa_threaded_mainloop_new()),
        m_completionThread([this] { CompletionLoop(); }) {}
  ~PulseAudioDevice() override;
  PulseAudioDevice(const PulseAudioDevice&) = delete;
  PulseAudioDevice& operator=(const PulseAudioDevice&) = delete;

  void SetCompletion(Completion completion) override { m_completion = std::move(completion); }
  bool Open(std::string* error) override;
  void OpenInBackground(std::function<void(bool opened)> done) override;
  bool IsOpen() const override { return m_open.load(); }
  void Write(std::unique_ptr<AudioBlock> block) override;
  std::string LastError() const override {
    std::lock_guard lock(m_errorMutex);
    return m_lastError;
  }

 private:
  void SetError(std::string cause) {
    std::lock_guard lock(m_errorMutex);
    m_lastError = std::move(cause);
  }

  bool StartAndConnect(std::string* error);
  // All of these run with the main loop locked.
  bool Connect(std::string* error);
  bool WaitUntilReady(std::string* error);
  bool ConnectStream(std::string* error);
  void Teardown();
  void Pump();
  void Drain(std::unique_ptr<AudioBlock> block);
  void FailAll();
  std::string ContextError() const;

  static void OnContextState(pa_context* context, void* self);
  static void OnStreamState(pa_stream* stream, void* self);
  static void OnWritable(pa_stream* stream, size_t bytes, void* self);
  static void OnDrained(pa_stream* stream, int success, void* self);
  static void OnTimeout(pa_mainloop_api* api, pa_time_event* event, const struct timeval* when, void* self);

  // The device's own thread: hands finished blocks back, outside libpulse's lock, and makes the
  // connections asked for in the background.
  void Complete(std::unique_ptr<AudioBlock> block, bool played);
  void CompletionLoop();

  // A finished block, or (with opened set) a connection to make.
  struct Task {
    std::unique_ptr<AudioBlock> block;
    bool played = false;
    std::function<void(bool)> opened;
  };

  PulseDeviceOptions m_options;
  Completion m_completion;
  std::atomic<bool> m_open{false};
  mutable std::mutex m_errorMutex;
  std::string m_lastError;

  pa_threaded_mainloop* const m_loop;  // its thread runs from the first Open on
  bool m_loopRunning = false;
  pa_context* m_context = nullptr;
  pa_stream* m_stream = nullptr;
  bool m_timedOut = false;
  // Set when the device goes: a connection under way gives up instead of waiting for the server.
  std::atomic<bool> m_closing{false};
  bool m_corked = true;
  std::deque<std::unique_ptr<AudioBlock>> m_pending;  // front: the block being written
  size_t m_written = 0;                               // bytes of the front block with the server
  std::unique_ptr<AudioBlock> m_draining;             // the last block, while the server plays it out

  std::mutex m_doneMutex;
  std::condition_variable m_doneReady;
  std::deque<Task> m_done;
  bool m_quit = false;
  std::thread m_completionThread;
};

PulseAudioDevice::~PulseAudioDevice() {
  // The completion thread goes first, so that nothing writes while libpulse is taken down. A
  // connection it is making waits in pa_threaded_mainloop_wait: the signal, under the loop's lock
  // so that it cannot slip in before that wait, ends it.
  m_closing.store(true);
  if (m_loop) {
    MainloopLock lock(m_loop);
    pa_threaded_mainloop_signal(m_loop, 0);
  }
  {
    std::lock_guard lock(m_doneMutex);
    m_quit = true;
  }
  m_doneReady.notify_all();
  m_completionThread.join();
  if (!m_loop) return;
  if (m_loopRunning) {
    {
      MainloopLock lock(m_loop);
      Teardown();
    }
    pa_threaded_mainloop_stop(m_loop);
  }
  pa_threaded_mainloop_free(m_loop);
}

bool PulseAudioDevice::Open(std::string* error) {
  if (m_open.load()) return true;
  std::string cause;
  const bool opened = StartAndConnect(&cause);
  if (!opened) SetError(cause);
  if (error && !opened) *error = cause;
  return opened;
}

void PulseAudioDevice::OpenInBackground(std::function<void(bool opened)> done) {
  {
    std::lock_guard lock(m_doneMutex);
    m_done.push_back(Task{nullptr, false, std::move(done)});
  }
  m_doneReady.notify_one();
}

bool PulseAudioDevice::StartAndConnect(std::string* error) {
  if (!m_loop || (!m_loopRunning && pa_threaded_mainloop_start(m_loop) < 0)) {
    if (error) *error = "the sound server's event loop could not be started";
    return false;
  }
  m_loopRunning = true;
  MainloopLock lock(m_loop);
  Teardown();  // what is left of a connection that failed
  if (Connect(error) && ConnectStream(error)) {
    m_corked = true;
    m_open.store(true);
    return true;
  }
  Teardown();
  return false;
}

bool PulseAudioDevice::Connect(std::string* error) {
  Proplist props(pa_proplist_new());
  pa_proplist_sets(props.get(), PA_PROP_APPLICATION_NAME, m_options.clientName.c_str());
  pa_proplist_sets(props.get(), PA_PROP_APPLICATION_ICON_NAME, "korvi-cd-ripper");
  m_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop), m_options.clientName.c_str(),
                                           props.get());
  if (!m_context) {
    if (error) *error = "the sound server's client could not be created";
    return false;
  }
  pa_context_set_state_callback(m_context, &PulseAudioDevice::OnContextState, this);
  const char* server = m_options.server.empty() ? nullptr : m_options.server.c_str();
  if (pa_context_connect(m_context, server, PA_CONTEXT_NOFLAGS, nullptr) < 0) {
    if (error) *error = ContextError();
    return false;
  }
  return WaitUntilReady(error);
}

// Waits, with the lock released meanwhile, until the context and the stream (when there is one)
// are ready, either of them failed, or the server took too long.
bool PulseAudioDevice::WaitUntilReady(std::string* error) {
  m_timedOut = false;
  pa_time_event* timer = pa_context_rttime_new(
      m_context, pa_rtclock_now() + pa_usec_t(m_options.connectTimeoutMilliseconds) * 1000,
      &PulseAudioDevice::OnTimeout, this);
  bool ready = false;
  for (;;) {
    const pa_context_state_t context = pa_context_get_state(m_context);
    const pa_stream_state_t stream = m_stream ? pa_stream_get_state(m_stream) : PA_STREAM_READY;
    if (!PA_CONTEXT_IS_GOOD(context) || !PA_STREAM_IS_GOOD(stream)) {
      if (error) *error = ContextError();
      break;
    }
    if (context == PA_CONTEXT_READY && stream == PA_STREAM_READY) {
      ready = true;
      break;
    }
    if (m_timedOut) {
      if (error) *error = "the sound server did not answer";
      break;
    }
    if (m_closing.load()) {
      if (error) *error = "the sound output was closed while connecting";
      break;
    }
    pa_threaded_mainloop_wait(m_loop);
  }
  if (timer) pa_threaded_mainloop_get_api(m_loop)->time_free(timer);
  return ready;
}

bool PulseAudioDevice::ConnectStream(std::string* error) {
  Proplist props(pa_proplist_new());
  pa_proplist_sets(props.get(), PA_PROP_MEDIA_ROLE, "music");
  m_stream = pa_stream_new_with_proplist(m_context, "Audio CD", &kSampleSpec, nullptr, props.get());
  if (!m_stream) {
    if (error) *error = ContextError();
    return false;
  }
  pa_stream_set_state_callback(m_stream, &PulseAudioDevice::OnStreamState, this);
  pa_stream_set_write_callback(m_stream, &PulseAudioDevice::OnWritable, this);
  pa_buffer_attr attr;
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength =
      static_cast<uint32_t>(pa_usec_to_bytes(pa_usec_t(m_options.bufferMilliseconds) * 1000, &kSampleSpec));
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(-1);
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
  if (pa_stream_connect_playback(m_stream, nullptr, &attr, flags, nullptr, nullptr) < 0) {
    if (error) *error = ContextError();
    return false;
  }
  return WaitUntilReady(error);
}

void PulseAudioDevice::Teardown() {
  m_open.store(false);
  if (m_stream) {
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
  }
  if (m_context) {
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
  }
}

std::string PulseAudioDevice::ContextError() const {
  const int code = m_context ? pa_context_errno(m_context) : PA_ERR_UNKNOWN;
  return std::string("the sound server: ") + pa_strerror(code);
}

void PulseAudioDevice::Write(std::unique_ptr<AudioBlock> block) {
  if (!m_loop) {
    Complete(std::move(block), false);
    return;
  }
  MainloopLock lock(m_loop);
  if (!m_open.load()) {
    Complete(std::move(block), false);
    return;
  }
  m_pending.push_back(std::move(block));
  if (m_corked) {
    Unref(pa_stream_cork(m_stream, 0, nullptr, nullptr));
    m_corked = false;
  }
  Pump();
}

// Gives the server as much of the pending blocks as it asks for.
void PulseAudioDevice::Pump() {
  if (!m_open.load() || m_draining) return;
  size_t room = pa_stream_writable_size(m_stream);
  if (room == static_cast<size_t>(-1)) return;  // the stream is failing; its state callback follows
  while (!m_pending.empty()) {
    AudioBlock& front = *m_pending.front();
    const size_t left = static_cast<size_t>(front.size()) - m_written;
    const size_t now = std::min(room, left);
    if (now > 0) {
      if (pa_stream_write(m_stream, front.data() + m_written, now, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
      m_written += now;
      room -= now;
    }
    if (m_written < static_cast<size_t>(front.size())) return;  // the server wants no more for now
    std::unique_ptr<AudioBlock> done = std::move(m_pending.front());
    m_pending.pop_front();
    m_written = 0;
    if (m_pending.empty()) {
      // Nothing follows: the block is done when it has been heard, not merely sent.
      Drain(std::move(done));
      return;
    }
    Complete(std::move(done), true);
  }
}

void PulseAudioDevice::Drain(std::unique_ptr<AudioBlock> block) {
  m_draining = std::move(block);
  pa_operation* operation = pa_stream_drain(m_stream, &PulseAudioDevice::OnDrained, this);
  if (!operation) {
    FailAll();
    return;
  }
  pa_operation_unref(operation);
}

void PulseAudioDevice::OnDrained(pa_stream*, int success, void* self) {
  auto* device = static_cast<PulseAudioDevice*>(self);
  if (!device->m_draining) return;  // already given back by FailAll
  device->Complete(std::move(device->m_draining), success != 0);
  if (device->m_pending.empty() && device->m_open.load()) {
    Unref(pa_stream_cork(device->m_stream, 1, nullptr, nullptr));
    device->m_corked = true;
  }
  device->Pump();
}

// The connection is gone: every block still here comes back unplayed, oldest first.
void PulseAudioDevice::FailAll() {
  if (m_open.load()) SetError(ContextError());
  m_open.store(false);
  if (m_draining) Complete(std::move(m_draining), false);
  for (auto& block : m_pending) Complete(std::move(block), false);
  m_pending.clear();
  m_written = 0;
}

void PulseAudioDevice::OnContextState(pa_context* context, void* self) {
  auto* device = static_cast<PulseAudioDevice*>(self);
  if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) device->FailAll();
  pa_threaded_mainloop_signal(device->m_loop, 0);
}

void PulseAudioDevice::OnStreamState(pa_stream* stream, void* self) {
  auto* device = static_cast<PulseAudioDevice*>(self);
  if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) device->FailAll();
  pa_threaded_mainloop_signal(device->m_loop, 0);
}

void PulseAudioDevice::OnWritable(pa_stream*, size_t, void* self) {
  static_cast<PulseAudioDevice*>(self)->Pump();
}

void PulseAudioDevice::OnTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
  auto* device = static_cast<PulseAudioDevice*>(self);
  device->m_timedOut = true;
  pa_threaded_mainloop_signal(device->m_loop, 0);
}

void PulseAudioDevice::Complete(std::unique_ptr<AudioBlock> block, bool played) {
  {
    std::lock_guard lock(m_doneMutex);
    m_done.push_back(Task{std::move(block), played, nullptr});
  }
  m_doneReady.notify_one();
}

void PulseAudioDevice::CompletionLoop() {
  std::unique_lock lock(m_doneMutex);
  for (;;) {
    m_doneReady.wait(lock, [this] { return m_quit || !m_done.empty(); });
    if (m_quit) return;
    Task task = std::move(m_done.front());
    m_done.pop_front();
    lock.unlock();
    if (task.opened)
      task.opened(Open(nullptr));
    else if (m_completion)
      m_completion(std::move(task.block), task.played);
    lock.lock();
  }
}

}  // namespace

std::unique_ptr<AudioDevice> MakePulseAudioDevice(PulseDeviceOptions options) {
  return std::make_unique<PulseAudioDevice>(std::move(options));
}

}  // namespace korvi
