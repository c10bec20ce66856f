#pragma once
// A rip job: the checked tracks become one file each, on a worker thread that reports to the
// frame through the messenger and stops only when asked.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "disc/track_info.h"
#include "rip/output_format.h"
#include "rip/pause_gate.h"

namespace korvi {

class COutputMediaFile;
class IFrameMessenger;
class ISectorSource;

// Sectors read from the device in one call.
constexpr int32_t kReadBatchSectors = 26;

struct RipProgress {
  int32_t sectorIndex;   // within the track, of the sector about to be read
  int32_t trackSectors;  // end − begin
  int32_t doneSectors;   // of the job, before this sector
  int32_t totalSectors;  // of the job
};

enum OverwriteChoice : int32_t {
  kOverwriteYes = 0,
  kOverwriteNo = 1,
  kOverwriteYesToAll = 2,
  kOverwriteNoToAll = 3,
};

struct RipTrack {
  CTrackInfo info;
  int number;  // 1-based row number, for the name of an untitled track
};

struct RipSettings {
  std::string folder;
  OutputFormat format = kFormatWave;
  bool replacePrompt = true;
  WriterOptions writer;
  // Tracks encoded at once, each by an encoder of its own; 0: one per core.
  int32_t encoderJobs = 0;
};

struct RipFailure {
  std::string path;
  std::string cause;
};

class RipJob {
 public:
  RipJob(IFrameMessenger& frame, ISectorSource& source);
  // Stops and joins a worker that still runs.
  ~RipJob();
  RipJob(const RipJob&) = delete;
  RipJob& operator=(const RipJob&) = delete;

  // Starts the worker; false when one runs already or the format has no writer.
  bool Start(std::vector<RipTrack> tracks, RipSettings settings);
  // True from Start until the worker has finished its last file.
  bool IsRunning() const { return m_running.load(); }
  // Waits for a worker that has reported its end.
  void Join();

  void Pause() { m_gate.Pause(); }
  void Resume() { m_gate.Resume(); }
  void Cancel() { m_cancel.store(true); }

  // Of the last job, once it has finished.
  const std::vector<RipFailure>& Failures() const { return m_failures; }
  const std::vector<std::string>& WrittenFiles() const { return m_written; }
  const std::vector<RipTrack>& Tracks() const { return m_tracks; }
  int32_t DoneSectors() const { return m_done.load(); }
  int32_t TotalSectors() const { return m_total.load(); }

 private:
  void Run();
  bool ShouldSkip(const std::string& path);
  void RipOneTrack(const RipTrack& track, const std::string& path);
  void RipTrackSectors(int32_t begin, int32_t end, COutputMediaFile& writer);
  // count sectors from first into out; sectors that cannot be read become silence and are counted.
  void ReadBatch(int32_t first, int32_t count, uint8_t* out);

  IFrameMessenger& m_frame;
  ISectorSource& m_source;
  std::vector<RipTrack> m_tracks;
  RipSettings m_settings;
  std::thread m_thread;
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_cancel{false};
  PauseGate m_gate;
  std::atomic<int32_t> m_done{0};
  std::atomic<int32_t> m_total{0};
  bool m_yesToAll = false;
  bool m_noToAll = false;
  int32_t m_answer = kOverwriteNo;
  int32_t m_failedReads = 0;
  int32_t m_firstFailedSector = 0;
  std::vector<RipFailure> m_failures;
  std::vector<std::string> m_written;
};

}  // namespace korvi
