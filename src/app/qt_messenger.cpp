#include "app/qt_messenger.h"

#include <QMetaObject>
#include <QThread>

namespace korvi {

QtFrameMessenger::QtFrameMessenger(QObject* target, Handler handler)
    : m_target(target), m_handler(std::move(handler)) {}

intptr_t QtFrameMessenger::Send(unsigned message, uintptr_t wParam, intptr_t lParam) {
  QObject* target = m_target.data();
  if (!target) return 0;
  if (QThread::currentThread() == target->thread()) return m_handler(message, wParam, lParam);
  intptr_t result = 0;
  QMetaObject::invokeMethod(
      target, [&] { result = m_handler(message, wParam, lParam); }, Qt::BlockingQueuedConnection);
  return result;
}

void QtFrameMessenger::Post(unsigned message, uintptr_t wParam, intptr_t lParam) {
  if (QObject* target = m_target.data()) {
    Handler handler = m_handler;
    QMetaObject::invokeMethod(
        target, [handler, message, wParam, lParam] { handler(message, wParam, lParam); },
        Qt::QueuedConnection);
  }
}

}  // namespace korvi
