#pragma once
// A rip job: the checked tracks become one file each. A worker thread reads the disc, asks the
// overwrite questions and reports to the frame through the messenger; an encoder pool writes the
// files, one track per encoder. It stops only when asked.

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/staged_file.h"
#include "disc/cd_text.h"
#include "disc/cdrom_toc.h"
#include "disc/rip_reader.h"
#include "disc/sector_source.h"
#include "disc/track_info.h"
#include "messages/frame_messages.h"
#include "rip/job_limits.h"
#include "rip/output_format.h"
#include "rip/pause_gate.h"
#include "verify/accuraterip_lookup.h"
#include "verify/track_sums.h"

namespace korvi {

class CDiscInfo;
class CdDevice;
class COutputMediaFile;
class EncoderPool;
class IFrameMessenger;
class ISectorSource;
struct RipReport;

struct RipProgress {
  int32_t sectorIndex;   // within the track, of the sector about to be read
  int32_t trackSectors;  // end − begin
  int32_t doneSectors;   // of the job, before this sector
  int32_t totalSectors;  // of the job
};

// A track of the job; number 0 is the audio before track 1 (see HiddenTrackOf).
struct RipTrack {
  CTrackInfo info;
  int number;  // the disc's own track number, for the name of an untitled track
};

// What the log and the cue sheet say of the disc, beyond its table of contents.
struct ReportDisc {
  std::string drive;  // the device or image path
  std::string albumTitle;
  std::string albumArtist;
  std::string genre;
  std::string year;
  // Fills in the catalog number and ISRCs that the disc's text lacks; called on the job's thread
  // (a drive takes its time over them). May be empty.
  std::function<void(DiscText&)> readCodes;
};

// The facts of the disc for its log and cue sheet: from the record when it names the disc, else
// from the disc's own text.
ReportDisc ReportDiscOf(const std::string& drive, const DiscToc& disc, const CDiscInfo* record);

// The facts of the disc that its files' tags carry beyond each track's record.
struct DiscTags {
  std::string albumArtist;
  std::string genre;
  int discNumber = 0;  // of the release; 0 when unknown
  int discTotal = 0;
  std::string releaseDate;  // the release's own date and its first release's (MusicBrainz)
  std::string originalDate;
  std::string musicBrainzReleaseId;
  std::string musicBrainzDiscId;
  std::vector<std::string> recordingIds;  // by the disc's audio track number − 1; "" where unknown
};

// From the record when it names the disc, else from the disc's own text.
DiscTags DiscTagsOf(const DiscToc& disc, const CDiscInfo* record);

struct RipSettings {
  std::string folder;
  OutputFormat format = kFormatWave;
  bool replacePrompt = true;
  WriterOptions writer;
  // Tracks encoded at once, each by an encoder of its own; 0: one per core.
  int32_t encoderJobs = 0;
  // WM_RIP_PROGRESS for every sector; without it a front end reads Status() at its own pace.
  bool progressMessages = true;
  // How the disc is read. Secure mode and a read offset need the table of contents.
  ReadMode readMode = ReadMode::kBurst;
  int32_t readOffset = 0;  // samples: the drive's read offset, corrected
  // Each track read twice, a test read and the copy, compared by their CRC32; a third read when
  // they differ.
  bool testAndCopy = false;
  // The drive read, for what the job asks of it beyond its audio (its cache defeated where reads
  // are compared, C2 pointers where it gives them, its speed, its tray); null for an image.
  CdDevice* drive = nullptr;
  int32_t readSpeed = 0;       // times real time; 0: the drive's fastest
  bool ejectAfterRip = false;  // its tray opened when the job ends without a failure or a stop
  DiscToc disc;
  // Each track's checksums are matched against the AccurateRip database, which is asked once for
  // the disc when the job starts. Needs the table of contents.
  bool verifyAccurateRip = false;
  // After the job, a log and a cue sheet beside the files.
  bool writeLog = false;
  bool writeCueSheet = false;
  ReportDisc report;
  // Full tags (ID3v2, APEv2, Vorbis comments) written into each file after its writer closed it;
  // never for WAV, and for MP3 only with writer.SaveID3Tag.
  bool writeTags = false;
  DiscTags tags;
};

// What reading a track came to, once the job has finished.
struct TrackResult {
  bool complete = false;            // read to its end, the file written from that read
  ReadQuality quality;              // of the read the file holds
  std::optional<uint32_t> testCrc;  // test and copy: the CRC32 of each read of the track's audio
  std::optional<uint32_t> copyCrc;
  std::optional<uint32_t> thirdCrc;  // when the first two differ
  bool readsDisagree = false;        // no two reads gave the same audio
  // Of the audio in the file.
  double peakPercent = 0;
  uint32_t accurateRipV1 = 0;
  uint32_t accurateRipV2 = 0;
  std::optional<AccurateRipResult> accurateRip;  // when the job verified the track
  // Why no file was written for the track (its name refused, the file could not be created,
  // written or moved into place); empty when the file is there. Then nothing above describes a
  // file, and the track was not verified.
  std::string fileFailure;

  // "OK", "Repaired", "Errors at 3:12.40", "Reads differ"; empty when the track was not read to
  // its end or has no file.
  std::string QualityText(int32_t trackBegin) const;
  // The quality, then what AccurateRip says where the track was verified: "OK; Accurate (v2,
  // confidence 12)"; "Failed: <why>" when no file was written.
  std::string StatusText(int32_t trackBegin) const;
  bool IsAccurate() const {
    return complete && fileFailure.empty() && accurateRip &&
           accurateRip->status == AccurateRipResult::Status::kAccurate;
  }
};

// A position within a track, "m:ss.ff" with frames of 1/75 s.
std::string TrackPositionText(int64_t samplesIntoTrack);

// Where the job is, for a front end that looks at its own pace.
struct RipStatus {
  int32_t track = -1;        // index into Tracks() of the track the bars show, -1 before the first
  int32_t sectorIndex = 0;   // of that track, read so far
  int32_t trackSectors = 0;  // of that track, end − begin
  int32_t doneSectors = 0;   // of the job, skipped tracks included
  int32_t totalSectors = 0;
  int64_t readSectors = 0;  // read from the disc, for the speed
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

  // Starts the worker; false when one runs already, the format has no writer or the reader cannot
  // be set up (the cause in StartError()).
  bool Start(std::vector<RipTrack> tracks, RipSettings settings);
  const std::string& StartError() const { return m_startError; }
  // True from Start until the worker has finished its last file.
  bool IsRunning() const { return m_running.load(); }
  // Waits for a worker that has reported its end.
  void Join();

  void Pause() { m_gate.Pause(); }
  void Resume() { m_gate.Resume(); }
  // Ends the read at once; the tracks in flight end as valid, shorter files.
  void Cancel();

  // Of the last job, once it has finished.
  const std::vector<RipFailure>& Failures() const { return m_failures; }
  const std::vector<std::string>& WrittenFiles() const { return m_written; }
  const std::vector<RipTrack>& Tracks() const { return m_tracks; }
  // One a track, in the order of Tracks().
  const std::vector<TrackResult>& Results() const { return m_results; }
  // The log's path; empty when none was written.
  const std::string& LogFile() const { return m_logFile; }
  // Whether the last job was stopped before its end.
  bool WasStopped() const { return !IsRunning() && m_stopped.load(); }
  // Why the last job ended before its end because the disc went away ("the drive's tray was
  // opened"); empty when it did not. Once the job has finished.
  const std::string& MediumLost() const { return m_mediumLost; }
  // "11 of 12 tracks accurately ripped" when the job verified its tracks (or that the database
  // could not be reached, when no track got an answer), else empty.
  std::string AccurateRipSummaryText() const;
  // Why the database gave no answer, when it did not.
  const std::string& AccurateRipProblem() const { return m_accurateRipProblem; }
  // Whether every track was read to its end and found accurate.
  bool AllAccurate() const;
  // Whether the last job opened the drive's tray at its end.
  bool Ejected() const { return m_ejected; }
  int32_t DoneSectors() const { return m_done.load(); }
  int32_t TotalSectors() const { return m_total.load(); }
  // Any thread, while the job runs too.
  RipStatus Status() const;

 private:
  // A track that the reader has begun and not read to its end.
  struct TrackRead {
    size_t index;
    int32_t begin;
    int32_t end;
    int32_t next;
  };
  // What became of a track, in the job's order.
  struct TrackOutcome {
    std::string path;  // the final name, unique within the job
    FinalName before;  // what the name held when the job began
    // The file under its temporary name, from the start of the track's read until it is moved
    // into place or removed.
    std::optional<StagedFile> file;
    bool written = false;  // the final name holds a file this job wrote
    bool started = false;
    bool retrying = false;  // the third read of test and copy
    bool cutShort = false;  // its read was under way when the disc went away
    int32_t failedReads = 0;
    int32_t firstFailedSector = 0;
    std::optional<TrackSums> sums;  // of the read under way, taken on its encoder's thread
    TrackResult result;
    std::string failure;
  };

  void Run();
  // Sets the drive up for the job's reads and notes how for the log; puts it back after.
  void PrepareDrive();
  void ReleaseDrive();
  void ReadTracks(EncoderPool& pool, const std::vector<size_t>& order, bool retry);
  // Test and copy: tracks whose two reads differ are read once more into their files.
  void ReadAgainWhereReadsDiffer(EncoderPool& pool);
  // The test read: the track's CRC32, nothing written. False when a stop came meanwhile.
  bool TestRead(size_t index);
  // Whether the reader is to stop: asked to, or the disc is gone.
  bool StopReading() const { return m_cancel.load() || !m_mediumLost.empty(); }
  // Counts the sectors of a batch as read, at the pause and stop points of each; how many were
  // taken before a stop.
  int32_t TakeSectors(int32_t sectorIndex, int32_t trackSectors, int32_t count);
  void JudgeReads();
  // The disc's audio track number (1-based) of the track that begins at begin; 0 when none.
  int AudioTrackNumber(int32_t begin) const;
  void MatchAccurateRip();
  RipReport MakeReport() const;
  void WriteReports();
  // Asks about an existing file and hands the track to the pool; false when it is skipped.
  bool StartTrack(size_t index, EncoderPool& pool, bool retry);
  // Reads the track's next batch into its queue; false when a stop came meanwhile.
  bool ReadChunk(TrackRead& track, EncoderPool& pool);
  void FinishReading(std::list<TrackRead>::iterator track, EncoderPool& pool);
  // The bars follow the first track that is not read to its end.
  void ShowFirstTrack();
  void TrackClosed(size_t index, COutputMediaFile& writer);
  // Moves the closed file to its name, or removes it when it failed; why the track has no whole,
  // tagged file, or empty.
  std::string PutFileInPlace(size_t index, COutputMediaFile& writer);
  // The track has no file, for this cause; returns it.
  std::string NoFile(size_t index, const std::string& cause);
  // Why the audio in the track's file is not what the disc holds, or empty.
  std::string ReadFailureText(size_t index) const;
  // A track that gets no file at all: counted as done, reported with the cause.
  void FailWithoutReading(size_t index, const std::string& cause, bool testReadDone);
  // The full tags into the track's closed file, when the settings ask for them; why they could not
  // be written, or empty.
  std::string WriteTags(size_t index) const;
  // Asks about a file that was at the track's name when the job began.
  bool ShouldSkip(size_t index);
  // count sectors from first into out; sectors that cannot be read become silence, their places
  // noted in quality. How many failed, the first of them in *firstFailed.
  int32_t ReadBatch(ReadQuality& quality, int32_t first, int32_t count, uint8_t* out, int32_t* firstFailed);

  IFrameMessenger& m_frame;
  ISectorSource& m_source;
  std::unique_ptr<RipReader> m_reader;  // over m_source, while a job runs
  ISectorSource* m_input = nullptr;     // what the job reads from
  std::string m_startError;
  std::vector<RipTrack> m_tracks;
  RipSettings m_settings;
  std::thread m_thread;
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_cancel{false};
  std::atomic<bool> m_stopped{false};  // the last job's m_cancel as it ended
  PauseGate m_gate;
  std::atomic<int32_t> m_done{0};
  std::atomic<int32_t> m_total{0};
  std::atomic<int64_t> m_read{0};
  bool m_yesToAll = false;
  bool m_noToAll = false;
  int32_t m_answer = kOverwriteNo;
  std::list<TrackRead> m_reading;  // in the job's order
  int64_t m_shown = -1;            // the track whose name the frame was sent
  std::vector<TrackOutcome> m_outcomes;
  mutable std::mutex m_statusMutex;
  RipStatus m_status;  // track and its position; the counters are the atomics
  std::mutex m_poolMutex;
  EncoderPool* m_pool = nullptr;  // while the worker reads
  std::vector<RipFailure> m_failures;
  std::vector<std::string> m_written;
  std::vector<TrackResult> m_results;
  std::unique_ptr<AccurateRipLookup> m_accurateRip;  // from Start until the next Start
  std::string m_accurateRipProblem;
  std::string m_mediumLost;  // written by the worker while it reads
  std::string m_logFile;
  std::time_t m_startTime = 0;
  int m_audioTracks = 0;  // of the disc
  // The log's lines on the drive; empty for an image.
  std::string m_speedText;
  std::string m_cacheText;
  std::string m_c2Text;
  bool m_ejected = false;
};

}  // namespace korvi
