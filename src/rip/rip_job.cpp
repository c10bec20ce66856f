#include "rip/rip_job.h"

#include <sched.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "disc/cd_device.h"
#include "disc/cdrom_toc.h"
#include "disc/drive_facts.h"
#include "disc/offset_reader.h"
#include "disc/sector_source.h"
#include "messages/messenger.h"
#include "rip/drive_reads.h"
#include "rip/encoder_pool.h"
#include "text/file_names.h"
#include "rip/output_media.h"
#include "tags/track_tags.h"

namespace korvi {

RipJob::RipJob(IFrameMessenger& frame, ISectorSource& source) : m_frame(frame), m_source(source) {}

RipJob::~RipJob() {
  if (m_thread.joinable()) {
    Cancel();
    Resume();
    m_thread.join();
  }
}

bool RipJob::Start(std::vector<RipTrack> tracks, RipSettings settings) {
  const bool known = FindOutputFormat(settings.format) != nullptr;
  m_startError.clear();
  if (IsRunning() || !known) return false;
  Join();
  m_reader.reset();
  m_input = &m_source;
  if (settings.readMode != ReadMode::kBurst || settings.readOffset != 0) {
    m_reader =
        RipReader::Open(m_source, settings.disc, settings.readMode, settings.readOffset, &m_startError);
    if (!m_reader) return false;
    m_input = &m_reader->Source();
  }
  m_tracks = std::move(tracks);
  m_settings = std::move(settings);
  m_startTime = std::time(nullptr);
  m_logFile.clear();
  m_accurateRipProblem.clear();
  m_mediumLost.clear();
  m_audioTracks = 0;
  for (int n = 1; n <= TocTrackCount(m_settings.disc.toc); ++n)
    m_audioTracks += IsDataEntry(m_settings.disc.toc.TrackData[n - 1]) ? 0 : 1;
  // Asked now, so that the answer is there when the last track is; a disc ripped again keeps the
  // answer its last job had.
  const std::optional<AccurateRipIds> ids =
      m_settings.verifyAccurateRip ? AccurateRipIdsOf(m_settings.disc) : std::nullopt;
  const bool keep = ids && m_accurateRip && m_accurateRip->Ids() == *ids && m_accurateRip->Answered() &&
                    m_accurateRip->Wait().kind != AccurateRipAnswer::Kind::kNotReachable;
  if (!keep) m_accurateRip = ids ? std::make_unique<AccurateRipLookup>(*ids) : nullptr;
  m_cancel.store(false);
  m_gate.Resume();
  m_failures.clear();
  m_written.clear();
  m_outcomes.clear();
  m_results.clear();
  // Running from before the thread exists until the worker itself says otherwise.
  m_running.store(true);
  m_thread = std::thread(&RipJob::Run, this);
  return true;
}

void RipJob::PrepareDrive() {
  m_speedText.clear();
  m_cacheText.clear();
  m_c2Text.clear();
  m_ejected = false;
  CdDevice* drive = m_settings.drive;
  if (!drive || drive->isImage()) return;
  const int32_t speed = m_settings.readSpeed;
  m_speedText = speed > 0 ? std::to_string(speed) + "x" : "the drive's maximum";
  if (!drive->SetReadSpeed(speed)) m_speedText += " (the drive did not take it)";
  const bool c2 = ReadC2Support(*drive);
  m_c2Text = c2 ? "used" : "not supported by the drive";
  CacheDefeat defeat;
  const std::optional<TrackSpan> audio = AudioReachOf(m_settings.disc);
  if ((m_settings.readMode == ReadMode::kSecure || m_settings.testAndCopy) && audio) {
    // The cache is measured by timing (bounded: it is done before every such rip); only a drive
    // that has one needs FUA reads, and only FUA reads that take a fresh read's time get past it.
    constexpr std::chrono::seconds kMeasuring(8);
    const DriveCache cache = MeasureCache(*drive, audio->begin, audio->end + 1, kMeasuring);
    const DriveFua fua = c2 || !cache.cachesAudio ? DriveFua() : ProbeFua(*drive, audio->begin, cache);
    defeat = ChooseCacheDefeat(cache, fua, c2);
    m_cacheText = CacheDefeatText(defeat, cache);
  }
  drive->SetRipReads(defeat, c2);
}

void RipJob::ReleaseDrive() {
  CdDevice* drive = m_settings.drive;
  if (!drive || drive->isImage()) return;
  drive->SetRipReads(CacheDefeat(), false);
  if (m_settings.ejectAfterRip && m_failures.empty() && m_mediumLost.empty() && !m_cancel.load())
    m_ejected = drive->Eject();
}

void RipJob::Join() {
  if (m_thread.joinable()) m_thread.join();
}

namespace {

constexpr int64_t kStaleTemporarySeconds = 24 * 3600;

// Chunks (read batches) a track's queue holds: about 2 MB, a few seconds of encoding.
constexpr size_t kQueueChunks = 32;
// Once the track being read has a full queue, the reader goes on where half a queue is free, the
// same track or another: it reads in long runs, and a drive seeks between tracks seldom.
constexpr size_t kLowWater = kQueueChunks / 2;
constexpr size_t kSwitchRoom = kQueueChunks - kLowWater;

// "2 place(s) could not be read exactly, at 0:12.40, 3:15.02 to 3:15.03": where each run of
// unreadable sectors lies within the track. Places, not sectors: paranoia reports where a skip
// begins, not how far it reaches.
std::string UnreadableText(const std::vector<int64_t>& samples, int32_t trackBegin) {
  constexpr size_t kShown = 8;
  std::vector<std::pair<int64_t, int64_t>> runs;  // first and last sector
  for (const int64_t sample : samples) {
    const int64_t sector = sample / kSamplesPerSector;
    if (!runs.empty() && sector <= runs.back().second) continue;
    if (!runs.empty() && sector == runs.back().second + 1)
      runs.back().second = sector;
    else
      runs.emplace_back(sector, sector);
  }
  const auto at = [trackBegin](int64_t sector) {
    return TrackPositionText((sector - trackBegin) * kSamplesPerSector);
  };
  std::string spots;
  for (size_t i = 0; i < runs.size() && i < kShown; ++i) {
    spots += (i ? ", " : "") + at(runs[i].first);
    if (runs[i].second > runs[i].first) spots += " to " + at(runs[i].second);
  }
  if (runs.size() > kShown) spots += " and " + std::to_string(runs.size() - kShown) + " more places";
  return std::to_string(runs.size()) + " place(s) could not be read exactly, at " + spots;
}

int EncoderCount(int32_t jobs, size_t tracks) {
  int count = jobs > 0 ? jobs : CoresAvailable();
  count = std::min({std::max(count, 1), int(kMaxEncoderJobs), static_cast<int>(std::max<size_t>(tracks, 1))});
  return count;
}

}  // namespace

std::string TrackPositionText(int64_t samplesIntoTrack) {
  const int64_t frames = std::max<int64_t>(0, samplesIntoTrack) / kSamplesPerSector;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld.%02lld",
                static_cast<long long>(frames / (60 * kSectorsPerSecond)),
                static_cast<long long>(frames / kSectorsPerSecond % 60),
                static_cast<long long>(frames % kSectorsPerSecond));
  return text;
}

std::string TrackResult::StatusText(int32_t trackBegin) const {
  if (!fileFailure.empty()) return "Failed: " + fileFailure;
  std::string text = QualityText(trackBegin);
  if (!text.empty() && accurateRip) text += "; " + accurateRip->Text();
  return text;
}

std::string TrackResult::QualityText(int32_t trackBegin) const {
  if (!complete || !fileFailure.empty()) return "";
  if (!quality.unreadable.empty())
    return "Errors at " +
           TrackPositionText(quality.unreadable.front() - int64_t(trackBegin) * kSamplesPerSector);
  if (readsDisagree) return "Reads differ";
  if (quality.jitterFixes > 0 || quality.repairs > 0 || (testCrc && copyCrc && *testCrc != *copyCrc))
    return "Repaired";
  return "OK";
}

int CoresAvailable() {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) > 0) return CPU_COUNT(&cpus);
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void RipJob::Cancel() {
  m_cancel.store(true);
  if (m_accurateRip) m_accurateRip->Cancel();
  std::lock_guard lock(m_poolMutex);
  if (m_pool) m_pool->Wake();
}

RipStatus RipJob::Status() const {
  std::lock_guard lock(m_statusMutex);
  RipStatus status = m_status;
  status.doneSectors = m_done.load();
  status.totalSectors = m_total.load();
  status.readSectors = m_read.load();
  return status;
}

void RipJob::Run() {
  m_frame.Post(WM_RIP_STARTED);
  int32_t total = 0;
  for (const RipTrack& track : m_tracks) total += track.info.length();
  m_total.store(m_settings.testAndCopy ? 2 * total : total);
  m_done.store(0);
  m_read.store(0);
  {
    std::lock_guard lock(m_statusMutex);
    m_status = RipStatus();
  }
  m_yesToAll = m_noToAll = false;
  m_reading.clear();
  m_shown = -1;
  m_outcomes.clear();
  m_outcomes.resize(m_tracks.size());
  PrepareDrive();
  // What killed rips left: a day without a write is far longer than any track takes, even paused.
  RemoveStaleTemporaries(m_settings.folder.empty() ? "." : m_settings.folder, kStaleTemporarySeconds,
                         IsStagedFileName);
  const OutputFormatInfo& format = *FindOutputFormat(m_settings.format);
  std::vector<TitledTrack> titles;
  for (const RipTrack& track : m_tracks) {
    // The hidden track sorts before track 1 in a folder, as on the disc.
    const std::string& title = track.info.title();
    titles.push_back({track.number == 0 ? "00 - " + title : title, track.number});
  }
  const std::vector<std::string> paths = UniqueOutputPaths(m_settings.folder, titles, format.extension);
  for (size_t i = 0; i < m_tracks.size(); ++i) {
    m_outcomes[i].path = paths[i];
    // Looked at once: only a file that was there before the job is asked about, and a file
    // another program puts there meanwhile is replaced by ours when ours is finished.
    m_outcomes[i].before = LookAtFinalName(paths[i]);
  }

  {
    EncoderPool pool(
        EncoderCount(m_settings.encoderJobs, m_tracks.size()), kQueueChunks, kLowWater,
        [this](size_t index, COutputMediaFile& writer) { TrackClosed(index, writer); },
        [this](size_t index, const EncoderPool::Chunk& chunk) {
          m_outcomes[index].sums->Feed(chunk.data(), chunk.size());
        });
    {
      std::lock_guard lock(m_poolMutex);
      m_pool = &pool;
    }
    std::vector<size_t> order(m_tracks.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    ReadTracks(pool, order, false);
    // After a stop the tracks in flight end with what was read of them.
    while (!m_reading.empty()) FinishReading(m_reading.begin(), pool);
    pool.WaitUntilIdle();
    if (m_settings.testAndCopy) ReadAgainWhereReadsDiffer(pool);
    std::lock_guard lock(m_poolMutex);
    m_pool = nullptr;
  }
  JudgeReads();
  MatchAccurateRip();
  for (const TrackOutcome& outcome : m_outcomes) {
    m_results.push_back(outcome.result);
    if (!outcome.started) continue;
    if (outcome.failure.empty())
      m_written.push_back(outcome.path);
    else
      m_failures.push_back({outcome.path, outcome.failure});
  }
  WriteReports();
  ReleaseDrive();
  m_stopped.store(m_cancel.load());
  m_running.store(false);
  m_frame.Post(WM_RIP_FINISHED);
}

void RipJob::ReadTracks(EncoderPool& pool, const std::vector<size_t>& order, bool retry) {
  size_t next = 0;
  auto current = m_reading.end();
  // Paranoia starts afresh wherever the reading jumps (re-reading its overlap), and a drive seeks:
  // secure reading keeps to one track until it is read, waiting for its encoder rather than
  // moving on to another track.
  const bool inOrder = m_settings.readMode == ReadMode::kSecure;
  while (!StopReading()) {
    const uint64_t seen = pool.Generation();
    auto pick = m_reading.end();
    if (current != m_reading.end() && pool.Room(current->index) > 0) {
      pick = current;
    } else if (current != m_reading.end() && inOrder) {
      pool.WaitForChange(seen);
      continue;
    } else {
      pick = std::find_if(m_reading.begin(), m_reading.end(),
                          [&](const TrackRead& track) { return pool.Room(track.index) >= kSwitchRoom; });
    }
    if (pick == m_reading.end()) {
      if (next < order.size() && pool.Busy() < pool.Encoders()) {
        if (!StartTrack(order[next++], pool, retry)) continue;
        current = std::prev(m_reading.end());
        // A file that exists gets its first batch before a stop is heeded: a valid, shorter file
        // holds some audio, and players refuse an APE or MP3 file without a frame.
        if (!ReadChunk(*current, pool)) return;
        if (current->next > current->end) {
          FinishReading(current, pool);
          current = m_reading.end();
        }
        continue;
      }
      if (m_reading.empty() && next >= order.size()) return;
      pool.WaitForChange(seen);
      current = m_reading.end();
      continue;
    }
    current = pick;
    if (!ReadChunk(*pick, pool)) return;
    if (pick->next > pick->end) {
      FinishReading(pick, pool);
      current = m_reading.end();
    }
  }
}

bool RipJob::StartTrack(size_t index, EncoderPool& pool, bool retry) {
  const RipTrack& track = m_tracks[index];
  TrackOutcome& outcome = m_outcomes[index];
  // The third read goes into the file this job wrote; nobody is asked again.
  if (!retry && ShouldSkip(index)) {
    m_done.fetch_add(m_settings.testAndCopy ? 2 * track.info.length() : track.info.length());
    return false;
  }
  // A stop asked for while the overwrite question was open must not cost the old file.
  if (StopReading()) return false;
  // A link, a pipe or a folder at the name: nothing is read for a file that cannot be.
  if (!retry && !outcome.before.refusal.empty()) {
    FailWithoutReading(index, outcome.before.refusal, false);
    return false;
  }
  if (m_settings.testAndCopy) {
    // The old file stays until the test read is through.
    if (!retry && !TestRead(index)) return false;
    // The copy must come from the disc, not from what the drive kept of the test read.
    m_input->ForgetReads(track.info.begin());
  }
  std::string cause;
  std::optional<StagedFile> file = StagedFile::Create(outcome.path, 0644, &cause);
  if (!file) {
    FailWithoutReading(index, cause, m_settings.testAndCopy);
    return false;
  }
  outcome.file = std::move(file);
  outcome.started = true;
  outcome.retrying = retry;
  const int number = AudioTrackNumber(track.info.begin());
  outcome.sums.emplace(number == 1, number > 0 && number == m_audioTracks);
  outcome.failedReads = 0;
  outcome.result.quality = ReadQuality();
  outcome.result.complete = false;
  // Opened here, so that the file is there from the moment its track is read, as with one thread.
  std::unique_ptr<COutputMediaFile> writer =
      MakeWriter(m_settings.format, outcome.file->TempPath(), m_settings.writer, &track.info);
  writer->Open();
  pool.Add(index, std::move(writer));
  m_reading.push_back({index, track.info.begin(), track.info.end(), track.info.begin()});
  ShowFirstTrack();
  return true;
}

bool RipJob::ReadChunk(TrackRead& track, EncoderPool& pool) {
  const int32_t count =
      static_cast<int32_t>(std::min<int64_t>(kReadBatchSectors, int64_t(track.end) - track.next + 1));
  EncoderPool::Chunk chunk = pool.TakeBuffer();
  chunk.resize(size_t(count) * kRawSectorBytes);
  TrackOutcome& outcome = m_outcomes[track.index];
  int32_t firstFailed = 0;
  const int32_t failed = ReadBatch(outcome.result.quality, track.next, count, chunk.data(), &firstFailed);
  if (failed > 0 && outcome.failedReads == 0) outcome.firstFailedSector = firstFailed;
  outcome.failedReads += failed;
  const int32_t kept = TakeSectors(track.next - track.begin, track.end - track.begin, count);
  chunk.resize(size_t(kept) * kRawSectorBytes);
  track.next += kept;
  pool.Push(track.index, std::move(chunk));
  if (!m_reading.empty() && &m_reading.front() == &track) {
    std::lock_guard lock(m_statusMutex);
    m_status.sectorIndex = track.next - track.begin;
  }
  return !StopReading();
}

int32_t RipJob::TakeSectors(int32_t sectorIndex, int32_t trackSectors, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    m_gate.WaitWhilePaused();
    if (m_settings.progressMessages) {
      const RipProgress progress{sectorIndex + i, trackSectors, m_done.load(), m_total.load()};
      m_frame.Send(WM_RIP_PROGRESS, 0, reinterpret_cast<intptr_t>(&progress));
    }
    m_done.fetch_add(1);
    m_read.fetch_add(1);
    if (m_cancel.load()) return i + 1;
  }
  return count;
}

bool RipJob::TestRead(size_t index) {
  const CTrackInfo& info = m_tracks[index].info;
  {
    std::lock_guard lock(m_statusMutex);
    m_status.track = static_cast<int32_t>(index);
    m_status.sectorIndex = 0;
    m_status.trackSectors = info.end() - info.begin();
  }
  if (m_shown != int64_t(index)) {
    m_shown = int64_t(index);
    const std::string& name = m_outcomes[index].path;
    m_frame.Send(WM_RIP_FILE_NAME, 0, reinterpret_cast<intptr_t>(name.c_str()));
  }
  std::vector<uint8_t> batch(size_t(kReadBatchSectors) * kRawSectorBytes);
  uLong crc = crc32(0, nullptr, 0);
  for (int32_t next = info.begin(); next <= info.end();) {
    const int32_t count = std::min<int32_t>(kReadBatchSectors, info.end() - next + 1);
    ReadQuality ignored;
    int32_t firstFailed = 0;
    ReadBatch(ignored, next, count, batch.data(), &firstFailed);
    const int32_t kept = TakeSectors(next - info.begin(), info.end() - info.begin(), count);
    if (kept < count || StopReading()) return false;
    crc = crc32(crc, batch.data(), static_cast<uInt>(size_t(count) * kRawSectorBytes));
    next += count;
    std::lock_guard lock(m_statusMutex);
    m_status.sectorIndex = next - info.begin();
  }
  m_outcomes[index].result.testCrc = static_cast<uint32_t>(crc);
  return true;
}

void RipJob::ReadAgainWhereReadsDiffer(EncoderPool& pool) {
  std::vector<size_t> again;
  for (size_t i = 0; i < m_outcomes.size(); ++i) {
    const TrackResult& result = m_outcomes[i].result;
    if (result.complete && result.testCrc && result.copyCrc && *result.testCrc != *result.copyCrc) {
      again.push_back(i);
      m_total.fetch_add(m_tracks[i].info.length());
    }
  }
  if (again.empty() || StopReading()) return;
  ReadTracks(pool, again, true);
  while (!m_reading.empty()) FinishReading(m_reading.begin(), pool);
  pool.WaitUntilIdle();
}

// Two reads from a drive's cache agree however wrong the first of them was, so a verdict rests
// only on reads with a far read (ForgetReads) between them: the copy and the third read each
// follow one, so any two of test, copy and third were read apart. Test equal to copy: OK. They
// differ: one of them is wrong, and the third read, which the file holds, decides. It passes
// ("Repaired") when it equals either, for then two reads apart agree on what the file holds; that
// it equals the copy rather than the test only says which of the two was misread. Equal to
// neither, the reads have not settled: the track fails ("Reads differ"), never "Repaired".
void RipJob::JudgeReads() {
  for (TrackOutcome& outcome : m_outcomes) {
    TrackResult& result = outcome.result;
    if (!result.testCrc || !result.copyCrc || *result.testCrc == *result.copyCrc) continue;
    result.readsDisagree =
        !result.thirdCrc || (*result.thirdCrc != *result.testCrc && *result.thirdCrc != *result.copyCrc);
    if (!result.readsDisagree || !outcome.failure.empty() || !outcome.started) continue;
    char text[160];
    if (result.thirdCrc)
      std::snprintf(text, sizeof text, "no two reads agree: test CRC %08X, copy CRC %08X, a third read %08X",
                    *result.testCrc, *result.copyCrc, *result.thirdCrc);
    else
      std::snprintf(text, sizeof text, "the test and copy reads differ (test CRC %08X, copy CRC %08X)",
                    *result.testCrc, *result.copyCrc);
    outcome.failure = text;
  }
}

void RipJob::FinishReading(std::list<TrackRead>::iterator track, EncoderPool& pool) {
  TrackOutcome& outcome = m_outcomes[track->index];
  // Its sums are the encoder's until it has closed the file.
  outcome.result.complete = track->next > track->end;
  outcome.cutShort = !outcome.result.complete && !m_mediumLost.empty();
  // Its failed sectors are all counted now; the encoder reports them once it has seen the end.
  pool.End(track->index);
  m_reading.erase(track);
  ShowFirstTrack();
}

void RipJob::ShowFirstTrack() {
  if (m_reading.empty() || m_shown == int64_t(m_reading.front().index)) return;
  const TrackRead& first = m_reading.front();
  m_shown = int64_t(first.index);
  {
    std::lock_guard lock(m_statusMutex);
    m_status.track = static_cast<int32_t>(first.index);
    m_status.sectorIndex = first.next - first.begin;
    m_status.trackSectors = first.end - first.begin;
  }
  const std::string& name = m_outcomes[first.index].path;
  m_frame.Send(WM_RIP_FILE_NAME, 0, reinterpret_cast<intptr_t>(name.c_str()));
}

void RipJob::TrackClosed(size_t index, COutputMediaFile& writer) {
  TrackOutcome& outcome = m_outcomes[index];
  TrackResult& result = outcome.result;
  if (result.complete) {
    (outcome.retrying ? result.thirdCrc : result.copyCrc) = outcome.sums->Crc32();
    result.peakPercent = outcome.sums->PeakPercent();
    result.accurateRipV1 = outcome.sums->AccurateRipV1();
    result.accurateRipV2 = outcome.sums->AccurateRipV2();
  }
  outcome.failure = PutFileInPlace(index, writer);
  outcome.file.reset();
  if (outcome.failure.empty()) outcome.failure = ReadFailureText(index);
}

std::string RipJob::PutFileInPlace(size_t index, COutputMediaFile& writer) {
  TrackOutcome& outcome = m_outcomes[index];
  StagedFile& file = *outcome.file;
  if (writer.Failed()) {
    file.Discard();
    return NoFile(index, writer.FailureText());
  }
  // A file that ends where the disc went away would pass for the whole track.
  if (outcome.cutShort) {
    file.Discard();
    return NoFile(index, m_mediumLost + " while the track was read; it has no file");
  }
  // Into the temporary: the file is whole, tags and all, before it has its name. A tag that
  // cannot be written leaves the audio as it was, which is still worth keeping.
  const std::string tagFailure = WriteTags(index);
  // Its folder removed or renamed while the file was written: it is not where the user looks.
  static const std::string kFolderGone =
      "the file is no longer there: its folder was removed or renamed while it was written";
  std::string cause;
  if (!file.Commit(&cause)) return NoFile(index, file.FolderStillThere() ? cause : kFolderGone);
  outcome.written = true;
  outcome.result.fileFailure.clear();
  if (!file.FolderStillThere()) {
    outcome.written = false;
    return NoFile(index, kFolderGone);
  }
  if (!tagFailure.empty()) return "the tags could not be written: " + tagFailure;
  return "";
}

std::string RipJob::NoFile(size_t index, const std::string& cause) {
  TrackOutcome& outcome = m_outcomes[index];
  // A third read that fails leaves the copy's file, which is still this job's.
  if (!outcome.written) outcome.result.fileFailure = cause;
  return cause;
}

std::string RipJob::ReadFailureText(size_t index) const {
  const TrackOutcome& outcome = m_outcomes[index];
  if (outcome.failedReads > 0)
    return std::to_string(outcome.failedReads) + " sector(s) could not be read, the first at sector " +
           std::to_string(outcome.firstFailedSector) + "; they hold silence";
  if (!outcome.result.quality.unreadable.empty())
    return UnreadableText(outcome.result.quality.unreadable, m_tracks[index].info.begin());
  return "";
}

void RipJob::FailWithoutReading(size_t index, const std::string& cause, bool testReadDone) {
  TrackOutcome& outcome = m_outcomes[index];
  outcome.started = true;
  outcome.failure = NoFile(index, cause);
  const int32_t length = m_tracks[index].info.length();
  m_done.fetch_add(m_settings.testAndCopy && !testReadDone ? 2 * length : length);
}

std::string RipJob::WriteTags(size_t index) const {
  const char* extension = FindOutputFormat(m_settings.format)->extension;
  const bool wanted = m_settings.writeTags && TakesTrackTags(extension) &&
                      (m_settings.format != kFormatMp3 || m_settings.writer.SaveID3Tag);
  if (!wanted) return {};
  const CTrackInfo& track = m_tracks[index].info;
  const DiscTags& disc = m_settings.tags;
  TrackTags tags;
  tags.title = track.title();
  tags.artist = track.artist;
  tags.album = track.album;
  tags.albumArtist = disc.albumArtist;
  tags.year = track.year;
  tags.releaseDate = disc.releaseDate;
  tags.originalDate = disc.originalDate;
  // The disc's own numbering where the table of contents is known, else the row's.
  const int number = AudioTrackNumber(track.begin());
  tags.trackNumber = number > 0 ? number : m_tracks[index].number;
  tags.trackTotal = m_audioTracks;
  tags.discNumber = disc.discNumber;
  tags.discTotal = disc.discTotal;
  tags.genre = disc.genre;
  tags.comment = track.comment;
  tags.musicBrainzReleaseId = disc.musicBrainzReleaseId;
  tags.musicBrainzDiscId = disc.musicBrainzDiscId;
  if (number > 0 && size_t(number) <= disc.recordingIds.size())
    tags.musicBrainzRecordingId = disc.recordingIds[size_t(number) - 1];
  return WriteTrackTags(m_outcomes[index].file->TempPath(), extension, tags);
}

bool RipJob::ShouldSkip(size_t index) {
  const std::string& path = m_outcomes[index].path;
  if (!m_settings.replacePrompt || !m_outcomes[index].before.taken) return false;
  if (m_noToAll) return true;
  if (m_yesToAll) return false;
  // A prompt dismissed without an answer keeps the file, whatever an earlier prompt was told.
  m_answer = kOverwriteNo;
  m_frame.Send(WM_ASK_OVERWRITE, reinterpret_cast<uintptr_t>(path.c_str()),
               reinterpret_cast<intptr_t>(&m_answer));
  switch (m_answer) {
    case kOverwriteNo:
      return true;
    case kOverwriteNoToAll:
      m_noToAll = true;
      return true;
    case kOverwriteYesToAll:
      m_yesToAll = true;
      return false;
    default:
      return false;
  }
}

int32_t RipJob::ReadBatch(ReadQuality& quality, int32_t first, int32_t count, uint8_t* out,
                          int32_t* firstFailed) {
  // One call for the whole batch: a drive spends most of a one-sector read on the command itself.
  const bool read = m_input->ReadSectors(first, out, count, quality);
  // A secure reader delivers what it could even from a drive whose disc went away: the device says.
  if (std::string lost = m_source.MediumLost(); !lost.empty()) {
    m_mediumLost = std::move(lost);
    std::fill(out, out + size_t(count) * kRawSectorBytes, 0);
    *firstFailed = first;
    return count;
  }
  if (read) return 0;
  // Sector by sector, so that a bad sector costs that sector alone.
  int32_t failed = 0;
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* sector = out + size_t(i) * kRawSectorBytes;
    if (m_input->ReadSectors(first + i, sector, 1, quality)) continue;
    // Silence rather than whatever the failed read left behind; the job reports the track.
    std::fill(sector, sector + kRawSectorBytes, 0);
    quality.unreadable.push_back(int64_t(first + i) * kSamplesPerSector);
    if (failed++ == 0) *firstFailed = first + i;
  }
  return failed;
}

}  // namespace korvi
