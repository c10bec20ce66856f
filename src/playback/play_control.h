#pragma once
// The frame's side of playback: Play and Stop, feeding the wave player from the disc in chunks of
// 20 sectors as each block finishes, and the play position for the status bar. Everything here
// runs on the frame's thread; the frame owns one PlayControl and hands it these messages:
//   WM_PLAY_START        → OnPlayStart(rows, first selected row)   (its result is the message's)
//   WM_PLAY_STOP         → OnPlayStop()
//   WM_PLAY_BUFFER_DONE  → OnBufferDone()
//   WM_GET_PLAY_POSITION → FillPlayPosition(lParam)
// OnBufferDone sends WM_GET_PLAY_POSITION and then WM_SET_STATUS_TEXT with the position text
// ("0:1:23(Track 3)") to the frame.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "messages/messenger.h"
#include "disc/sector_source.h"
#include "playback/audio_device.h"
#include "playback/wave_player.h"

namespace korvi {

class ITrackRows;

constexpr int32_t kPlayChunkSectors = 20;
constexpr const char* kNoSoundOutputMessage = "No sound output device is available.";

// Filled by WM_GET_PLAY_POSITION.
struct PlayPosition {
  char name[100];  // the now-playing title, cut to whole UTF-8 characters within 99 bytes
  int32_t played;  // sectors read so far
  int32_t length;  // sectors of the track: end − begin + 1
};

// "%d:%d:%d(%s)": the played time in hours, minutes and whole seconds, then the name. The time is
// that of the sectors read, at most end − begin sectors: at the track's end it reads as the track's
// Length column.
std::string PlayPositionText(const PlayPosition& position);

class PlayControl {
 public:
  // frame receives the player's WM_PLAY_BUFFER_DONE and the position messages; source gives the
  // sectors (the frame's current drive). Without a device, the sound server of the desktop.
  PlayControl(IFrameMessenger& frame, ISectorSource& source, std::unique_ptr<AudioDevice> device = nullptr);
  // The owner must first let the player finish (IsBusy() false) while serving its messages.
  ~PlayControl();
  PlayControl(const PlayControl&) = delete;
  PlayControl& operator=(const PlayControl&) = delete;

  // Told once per failure of the sound output, when Play finds none or when it breaks while
  // playing: the message for the user (kNoSoundOutputMessage) and what the system said.
  std::function<void(const std::string& message, const std::string& cause)> onError;

  // Plays the track of the given row (its name and sector columns), -1 when there is no row or
  // nothing was started.
  intptr_t OnPlayStart(const ITrackRows& rows, int row);
  // Plays sectors begin to end (both included) under the given title; 0 when it started, -1 when
  // it did not: already playing, a range that no disc has (end before begin, a negative begin),
  // 40 sectors or fewer, or no sound output. A player that opens its device in the background
  // starts at once (0) and tells a missing output later, through WM_PLAY_BUFFER_DONE.
  intptr_t Play(int32_t begin, int32_t end, const std::string& title);
  void OnPlayStop();
  void OnBufferDone();
  void FillPlayPosition(PlayPosition* position) const;

  // The stop flag is clear: Stop is enabled, Play, ripping and closing are refused.
  bool IsPlaying() const { return !m_player->isStopped(); }
  // Blocks are still at the device (also for a while after Stop), or the device is being opened.
  bool IsBusy() const { return m_player->busy(); }
  CWavePlayer& Player() { return *m_player; }

 private:
  // Reads the next chunk (silence where the read fails) and queues it; false at the track's end.
  bool FeedPlayer();
  void UpdatePosition();
  // Tells onError of a failure since the last call; true when there was one.
  bool ReportFailure();

  IFrameMessenger& m_frame;
  ISectorSource& m_source;
  std::unique_ptr<CWavePlayer> m_player;
  std::string m_title;
  int32_t m_begin = 0;
  int32_t m_end = -1;
  int32_t m_position = 0;  // the next sector to read
};

}  // namespace korvi
