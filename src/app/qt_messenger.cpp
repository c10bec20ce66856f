#include "app/qt_messenger.h"

#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
extern "C" void AnnotateIgnoreReadsBegin(const char* file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char* file, int line);
extern "C" void AnnotateIgnoreWritesBegin(const char* file, int line);
extern "C" void AnnotateIgnoreWritesEnd(const char* file, int line);
#endif

namespace korvi {
namespace {

// Qt's post-event list is guarded by Qt's own lock, a futex that ThreadSanitizer cannot see (Qt is
// not instrumented), and Qt's copies within that list are not always recognised as Qt's: so the
// calling thread's memory accesses inside Qt's posting are left unchecked. Locks stay visible.
class UncheckedQtCall {
 public:
#if defined(__SANITIZE_THREAD__)
  UncheckedQtCall() {
    AnnotateIgnoreReadsBegin(__FILE__, __LINE__);
    AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
  }
  ~UncheckedQtCall() {
    AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
    AnnotateIgnoreReadsEnd(__FILE__, __LINE__);
  }
#else
  UncheckedQtCall() = default;
#endif
  UncheckedQtCall(const UncheckedQtCall&) = delete;
  UncheckedQtCall& operator=(const UncheckedQtCall&) = delete;
};

}  // namespace

struct QtFrameMessenger::Shared {
  struct Call {
    std::function<void()> fn;
    bool done = false;
    bool ran = false;
  };

  QThread* thread = nullptr;
  std::mutex mutex;
  std::condition_variable done;
  std::deque<std::shared_ptr<Call>> calls;
  QObject* mailbox = nullptr;  // null once the target or the messenger is gone

  // Releases every waiting caller; nothing queued runs any more.
  void Close() {
    std::deque<std::shared_ptr<Call>> dropped;
    {
      std::lock_guard lock(mutex);
      mailbox = nullptr;
      for (auto& call : calls) call->done = true;
      dropped.swap(calls);
    }
    done.notify_all();
  }  // the dropped calls go outside the lock: what they hold may queue or wait
};

namespace {

// Lives on the target's thread as its child; each queued call wakes it once to run the oldest call.
class Mailbox : public QObject {
  Q_OBJECT
 public:
  Mailbox(QObject* target, std::shared_ptr<QtFrameMessenger::Shared> shared)
      : QObject(target), m_shared(std::move(shared)) {}
  ~Mailbox() override { m_shared->Close(); }

  Q_INVOKABLE void RunNext() {
    std::unique_lock lock(m_shared->mutex);
    if (m_shared->calls.empty()) return;
    std::shared_ptr<QtFrameMessenger::Shared::Call> call = std::move(m_shared->calls.front());
    m_shared->calls.pop_front();
    lock.unlock();
    call->fn();
    lock.lock();
    call->done = call->ran = true;
    m_shared->done.notify_all();
  }

 private:
  std::shared_ptr<QtFrameMessenger::Shared> m_shared;
};

// Queues the call and wakes the mailbox; false when there is none any more.
bool Enqueue(QtFrameMessenger::Shared& shared, const std::shared_ptr<QtFrameMessenger::Shared::Call>& call) {
  std::lock_guard lock(shared.mutex);
  if (!shared.mailbox) return false;
  shared.calls.push_back(call);
  // Under the lock, so that the mailbox cannot go in between; Qt allocates the event itself.
  [[maybe_unused]] UncheckedQtCall unchecked;
  QMetaObject::invokeMethod(shared.mailbox, "RunNext", Qt::QueuedConnection);
  return true;
}

}  // namespace

QtFrameMessenger::QtFrameMessenger(QObject* target, Handler handler)
    : m_shared(std::make_shared<Shared>()), m_handler(std::move(handler)) {
  if (!target) return;
  m_shared->thread = target->thread();
  m_shared->mailbox = new Mailbox(target, m_shared);
}

QtFrameMessenger::~QtFrameMessenger() { Close(); }

void QtFrameMessenger::Close() {
  QObject* mailbox = nullptr;
  {
    std::lock_guard lock(m_shared->mutex);
    mailbox = m_shared->mailbox;
  }
  delete mailbox;  // closes the queue
}

intptr_t QtFrameMessenger::Send(unsigned message, uintptr_t wParam, intptr_t lParam) {
  intptr_t result = 0;
  RunAndWait([&] { result = m_handler(message, wParam, lParam); });
  return result;
}

void QtFrameMessenger::Post(unsigned message, uintptr_t wParam, intptr_t lParam) {
  Run([handler = m_handler, message, wParam, lParam] { handler(message, wParam, lParam); });
}

void QtFrameMessenger::Run(std::function<void()> fn) {
  auto call = std::make_shared<Shared::Call>();
  call->fn = std::move(fn);
  Enqueue(*m_shared, call);
}

bool QtFrameMessenger::RunAndWait(const std::function<void()>& fn) {
  if (QThread::currentThread() == m_shared->thread) {
    std::unique_lock lock(m_shared->mutex);
    if (!m_shared->mailbox) return false;
    lock.unlock();
    fn();
    return true;
  }
  auto call = std::make_shared<Shared::Call>();
  call->fn = [&fn] { fn(); };
  if (!Enqueue(*m_shared, call)) return false;
  std::unique_lock lock(m_shared->mutex);
  m_shared->done.wait(lock, [&] { return call->done; });
  return call->ran;
}

}  // namespace korvi

#include "qt_messenger.moc"
