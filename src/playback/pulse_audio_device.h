#pragma once
// The sound server of the desktop (PulseAudio, or PipeWire through its PulseAudio service) as the
// player's device.

#include <memory>
#include <string>

#include "playback/audio_device.h"

namespace korvi {

struct PulseDeviceOptions {
  // The server to use, in libpulse's notation ("unix:/run/user/1000/pulse/native"); empty for the
  // usual choice (PULSE_SERVER, then the client configuration, then the user's own server).
  std::string server;
  std::string clientName = "Korvi CD Ripper";
  // How far the server buffers ahead of the ear. Small, so that a block counts as done when it is
  // (nearly) heard.
  int bufferMilliseconds = 100;
  // How long Open waits for the server to answer.
  int connectTimeoutMilliseconds = 5000;
};

// One playback stream of 44100 Hz 16-bit stereo on the server's default sink. A block goes to the
// server as the server asks for data, so at most bufferMilliseconds of it are ahead of the ear; it
// is done once its last byte is with the server and the next block follows, or, when no block
// follows, once the server has played it out. The stream is corked while it has nothing to play,
// so an idle player keeps no sink awake.
std::unique_ptr<AudioDevice> MakePulseAudioDevice(PulseDeviceOptions options = {});

}  // namespace korvi
