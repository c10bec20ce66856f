#pragma once
// The messenger over Qt's event loop: send blocks a worker until the GUI thread has handled the
// message, post queues it.

#include <QObject>
#include <QPointer>
#include <functional>

#include "app/messenger.h"

namespace korvi {

class QtFrameMessenger : public IFrameMessenger {
 public:
  using Handler = std::function<intptr_t(unsigned message, uintptr_t wParam, intptr_t lParam)>;

  // target lives on the GUI thread; handler runs there.
  QtFrameMessenger(QObject* target, Handler handler);

  intptr_t Send(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) override;
  void Post(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) override;

 private:
  QPointer<QObject> m_target;
  Handler m_handler;
};

}  // namespace korvi
