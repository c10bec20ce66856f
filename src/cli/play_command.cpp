// korvi-cli play: one track through the sound server, its position on stderr, Ctrl+C to stop.
// The frame's messages are served by a loop on the main thread, as the window serves them.

#include <signal.h>
#include <unistd.h>

#include <ostream>

#include "cli/commands.h"
#include "cli/options.h"
#include "disc/cd_device.h"
#include "disc/read_toc.h"
#include "disc/track_rows.h"
#include "playback/message_loop.h"
#include "playback/play_control.h"

namespace korvi::cli {
namespace {

volatile sig_atomic_t g_interrupted = 0;
const MessageLoop* g_loop = nullptr;

void OnInterrupt(int) {
  g_interrupted = 1;
  if (g_loop) g_loop->Wake();
}

// Ctrl+C asks the play to stop while the guard lives; a second Ctrl+C ends the program at once.
class InterruptGuard {
 public:
  explicit InterruptGuard(const MessageLoop& loop) {
    g_interrupted = 0;
    g_loop = &loop;
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, &m_previous);
  }
  ~InterruptGuard() {
    sigaction(SIGINT, &m_previous, nullptr);
    g_loop = nullptr;
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  struct sigaction m_previous {};
};

// The position on stderr: rewritten in place on a terminal, a line per change elsewhere.
class PositionPrinter {
 public:
  explicit PositionPrinter(std::ostream& err) : m_err(err), m_tty(isatty(2)) {}
  void Show(const std::string& text) {
    if (text == m_last) return;
    m_last = text;
    if (m_tty)
      m_err << "\r\033[K" << text << std::flush;
    else
      m_err << text << '\n' << std::flush;
  }
  void End() {
    if (m_tty && !m_last.empty()) m_err << '\n';
  }

 private:
  std::ostream& m_err;
  bool m_tty;
  std::string m_last;
};

// The drive's track rows, and the row that lists the disc's track `track`; an exit status other
// than kExitOk when they cannot be had.
int ReadRows(const std::string& drive, int track, std::unique_ptr<CdDevice>& device, TrackRowTable& rows,
             int& row, std::ostream& err) {
  std::string error;
  device = CdDevice::Open(drive, &error);
  if (!device) {
    err << "korvi-cli: " << error << '\n';
    return kExitFailed;
  }
  DiscToc disc;
  if (ReadTocIntoRows(device.get(), disc, rows) != 0) {
    err << "korvi-cli: " << device->lastError() << '\n';
    return kExitFailed;
  }
  for (row = 0; row < rows.RowCount(); ++row)
    if (RowTrackNumber(disc, row) == track) return kExitOk;
  err << "korvi-cli: " << NoListedTrackText(track, disc, rows.RowCount()) << '\n';
  return kExitUsage;
}

std::string TooShortText(const TrackRowTable& rows, int row, int track) {
  const TrackSpan span = RowSpan(rows, row);
  return "track " + std::to_string(track) + " is too short to play (" +
         std::to_string(span.end - span.begin + 1) + " sectors; more than " +
         std::to_string(2 * kPlayChunkSectors) + " are needed)";
}

}  // namespace

int Play(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
  std::string error;
  const std::optional<PlayOptions> options = ParsePlayOptions(args, error);
  if (!options) {
    err << "korvi-cli: " << error << '\n';
    return kExitUsage;
  }
  const int track = options->track;
  std::unique_ptr<CdDevice> device;
  TrackRowTable rows;
  int row = 0;
  if (const int status = ReadRows(options->drive, track, device, rows, row, err); status != kExitOk)
    return status;

  PositionPrinter printer(err);
  PlayControl* control = nullptr;
  MessageLoop loop([&](unsigned message, uintptr_t, intptr_t lParam) -> intptr_t {
    if (message == WM_PLAY_BUFFER_DONE) control->OnBufferDone();
    if (message == WM_GET_PLAY_POSITION) control->FillPlayPosition(reinterpret_cast<PlayPosition*>(lParam));
    if (message == WM_SET_STATUS_TEXT) printer.Show(reinterpret_cast<const char*>(lParam));
    return 0;
  });
  // Declared after the loop, so that it goes first: its device thread sends to the loop.
  PlayControl play(loop, *device);
  control = &play;
  play.Player().setIdleNotify([&loop] { loop.Wake(); });
  std::string failure;
  play.onError = [&](const std::string& message, const std::string& cause) {
    failure = message + " (" + cause + ")";
  };

  InterruptGuard interrupt(loop);
  if (play.OnPlayStart(rows, row) != 0) {
    err << "korvi-cli: " << (failure.empty() ? TooShortText(rows, row, track) : failure) << '\n';
    return kExitFailed;
  }
  loop.RunUntil([&] { return g_interrupted || !play.IsPlaying(); });
  play.OnPlayStop();
  // The blocks still at the device play out; their messages must be served until they have.
  loop.RunUntil([&] { return !play.IsBusy(); });
  printer.End();
  if (!failure.empty()) {
    err << "korvi-cli: " << failure << '\n';
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace korvi::cli
