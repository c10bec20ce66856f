#pragma once
// The window's part in playing, for the tests that stand in for the window: a block the device has
// finished makes room for the next, the position is filled in, and every status text is kept.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "messages/frame_messages.h"
#include "playback/play_control.h"

namespace korvi::fixtures {

class PlayMessages {
 public:
  // control: where the test keeps its play control, which may be made later.
  explicit PlayMessages(const std::unique_ptr<PlayControl>& control) : m_control(control) {}

  // The handler of a messenger: runs on whatever thread the messenger serves.
  std::function<intptr_t(unsigned, uintptr_t, intptr_t)> Handler() {
    return [this](unsigned message, uintptr_t, intptr_t lParam) -> intptr_t {
      Handle(message, lParam);
      return 0;
    };
  }

  std::vector<std::string> texts;
  // Runs after each status text is kept.
  std::function<void()> afterText = [] {};

 private:
  void Handle(unsigned message, intptr_t lParam) {
    switch (message) {
      case WM_PLAY_BUFFER_DONE:
        m_control->OnBufferDone();
        break;
      case WM_GET_PLAY_POSITION:
        m_control->FillPlayPosition(reinterpret_cast<PlayPosition*>(lParam));
        break;
      case WM_SET_STATUS_TEXT:
        texts.emplace_back(reinterpret_cast<const char*>(lParam));
        afterText();
        break;
    }
  }

  const std::unique_ptr<PlayControl>& m_control;
};

}  // namespace korvi::fixtures
