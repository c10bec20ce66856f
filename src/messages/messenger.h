#pragma once
// How workers and child windows reach the main frame, knowing nothing of widgets.

#include <cstdint>

#include "messages/frame_messages.h"

namespace korvi {

class IFrameMessenger {
 public:
  virtual ~IFrameMessenger() = default;
  // Handled on the GUI thread; the caller waits until it is done (a plain call on the GUI thread
  // itself). Pointers in the parameters stay valid because of that wait.
  virtual intptr_t Send(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) = 0;
  // Queued for the GUI thread; returns at once. Parameters must not point anywhere.
  virtual void Post(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) = 0;
};

}  // namespace korvi
