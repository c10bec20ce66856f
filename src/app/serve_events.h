#pragma once
// Waiting on the window's thread for something that the event loop brings about.

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <functional>

namespace korvi {

// Serves the event loop while busy() holds, at most for limit when it is given.
inline void ServeEventsWhile(const std::function<bool()>& busy,
                             std::chrono::milliseconds limit = std::chrono::milliseconds::max()) {
  const auto start = std::chrono::steady_clock::now();
  // In milliseconds: the limit's maximum would overflow in the clock's nanoseconds.
  const auto elapsed = [start] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  };
  while (busy() && elapsed() < limit) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

}  // namespace korvi
