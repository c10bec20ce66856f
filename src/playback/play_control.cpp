#include "playback/play_control.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "disc/track_info.h"
#include "disc/track_rows.h"
#include "text/utf8_text.h"

namespace korvi {
namespace {

constexpr int32_t kSectorBytes = 2352;

}  // namespace

std::string PlayPositionText(const PlayPosition& position) {
  const size_t nameLength = strnlen(position.name, sizeof position.name);
  // The time runs from 0 at the first sector to end − begin at the last, as the Length column
  // counts it: once the last sector is read the text must not read a second more than that column.
  const int32_t time = std::max(0, std::min(position.played, position.length - 1));
  return LengthText(0, time) + "(" + std::string(position.name, nameLength) + ")";
}

PlayControl::PlayControl(IFrameMessenger& frame, ISectorSource& source, std::unique_ptr<AudioDevice> device)
    : m_frame(frame),
      m_source(source),
      m_player(device ? std::make_unique<CWavePlayer>(std::move(device)) : std::make_unique<CWavePlayer>()) {
  m_player->setNotifyWindow(&m_frame);
}

PlayControl::~PlayControl() = default;

intptr_t PlayControl::OnPlayStart(const ITrackRows& rows, int row) {
  if (row < 0 || row >= rows.RowCount()) return -1;
  const TrackSpan span = RowSpan(rows, row);
  return Play(span.begin, span.end, rows.Text(row, kColumnName));
}

intptr_t PlayControl::Play(int32_t begin, int32_t end, const std::string& title) {
  if (IsPlaying()) return -1;  // one track at a time
  // No table of contents gives such a row; the limit keeps the sector arithmetic in range.
  if (begin < 0 || end < begin || end == INT32_MAX) return -1;
  m_begin = begin;
  m_end = end;
  m_title = title;
  m_position = begin;
  m_player->clear();  // leftovers of the last play
  for (size_t i = 0; i < CWavePlayer::kBlocksToStart; ++i) FeedPlayer();
  if (m_player->start()) return 0;
  ReportFailure();
  return -1;
}

void PlayControl::OnPlayStop() { m_player->stop(); }

void PlayControl::OnBufferDone() {
  const bool failed = ReportFailure();
  // Three blocks ahead of the ear: normally the one just finished is replaced; after Stop and a
  // quick Play the blocks still at the device of the last play count too. Once stopped, nothing
  // more is read: the blocks at the device only finish, and the drive is free for a rip.
  if (!m_player->isStopped() &&
      m_player->queuedBlocks() + size_t(m_player->blocksAtDevice()) < CWavePlayer::kBlocksToStart)
    FeedPlayer();
  // A block that came back unplayed (or a start that found no output) moves no position.
  if (!failed) UpdatePosition();
}

bool PlayControl::FeedPlayer() {
  // int64_t: a hand-edited sector column may sit near the 32-bit limits.
  const int64_t left = int64_t(m_end) + 1 - m_position;
  if (left <= 0) return false;  // the player plays out what it has and stops by itself
  const int32_t chunk = static_cast<int32_t>(std::min<int64_t>(kPlayChunkSectors, left));
  AudioBlock block(chunk * kSectorBytes);
  // A sector that cannot be read (a scratch) is heard as silence; the play goes on.
  if (!m_source.ReadRawSectors(m_position, block.data(), chunk)) std::fill_n(block.data(), block.size(), 0);
  m_position += chunk;
  m_player->enqueue(std::move(block));
  return true;
}

void PlayControl::UpdatePosition() {
  PlayPosition position{};
  m_frame.Send(WM_GET_PLAY_POSITION, 0, reinterpret_cast<intptr_t>(&position));
  const std::string text = PlayPositionText(position);
  m_frame.Send(WM_SET_STATUS_TEXT, 0, reinterpret_cast<intptr_t>(text.c_str()));
}

void PlayControl::FillPlayPosition(PlayPosition* position) const {
  if (!position) return;
  const size_t length = CutUtf8(m_title, sizeof position->name - 1).size();
  std::memcpy(position->name, m_title.data(), length);
  position->name[length] = '\0';
  position->played = m_position - m_begin;
  position->length = m_end - m_begin + 1;
}

bool PlayControl::ReportFailure() {
  std::string cause;
  if (!m_player->takeFailure(&cause)) return false;
  if (onError) onError(kNoSoundOutputMessage, cause);
  return true;
}

}  // namespace korvi
