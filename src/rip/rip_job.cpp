#include "rip/rip_job.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "disc/cdrom_toc.h"
#include "disc/sector_source.h"
#include "messages/messenger.h"
#include "rip/file_names.h"
#include "rip/output_media.h"

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
  const OutputFormatInfo* format = FindOutputFormat(settings.format);
  if (IsRunning() || !format || !format->makeWriter) return false;
  Join();
  m_tracks = std::move(tracks);
  m_settings = std::move(settings);
  m_cancel.store(false);
  m_gate.Resume();
  m_failures.clear();
  m_written.clear();
  // Running from before the thread exists until the worker itself says otherwise.
  m_running.store(true);
  m_thread = std::thread(&RipJob::Run, this);
  return true;
}

void RipJob::Join() {
  if (m_thread.joinable()) m_thread.join();
}

void RipJob::Run() {
  m_frame.Post(WM_RIP_STARTED);
  int32_t total = 0;
  for (const RipTrack& track : m_tracks) total += track.info.length();
  m_total.store(total);
  m_done.store(0);
  m_yesToAll = m_noToAll = false;

  const OutputFormatInfo& format = *FindOutputFormat(m_settings.format);
  for (const RipTrack& track : m_tracks) {
    const std::string path =
        OutputPath(m_settings.folder, track.info.title(), track.number, format.extension);
    if (ShouldSkip(path)) {
      m_done.fetch_add(track.info.length());
      continue;
    }
    // A stop asked for while the overwrite question was open must not cost the old file.
    if (m_cancel.load()) break;
    RipOneTrack(track, path);
    if (m_cancel.load()) break;
  }
  m_running.store(false);
  m_frame.Post(WM_RIP_FINISHED);
}

bool RipJob::ShouldSkip(const std::string& path) {
  std::error_code error;
  if (!m_settings.replacePrompt || !std::filesystem::exists(path, error)) return false;
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

void RipJob::RipOneTrack(const RipTrack& track, const std::string& path) {
  const OutputFormatInfo& format = *FindOutputFormat(m_settings.format);
  std::unique_ptr<COutputMediaFile> writer = format.makeWriter(path, m_settings.writer, &track.info);
  m_failedReads = 0;
  writer->Open();
  RipTrackSectors(track.info.begin(), track.info.end(), *writer);
  writer->Close();
  std::error_code error;
  if (writer->Failed()) {
    m_failures.push_back({path, writer->FailureText()});
  } else if (!std::filesystem::exists(path, error)) {
    // Its folder was removed or renamed while the file was written: it is not where the user looks.
    m_failures.push_back(
        {path, "the file is no longer there: its folder was removed or renamed while it was written"});
  } else if (m_failedReads > 0) {
    m_failures.push_back({path, std::to_string(m_failedReads) +
                                    " sector(s) could not be read, the first at sector " +
                                    std::to_string(m_firstFailedSector) + "; they hold silence"});
  } else {
    m_written.push_back(path);
  }
}

void RipJob::RipTrackSectors(int32_t begin, int32_t end, COutputMediaFile& writer) {
  const std::string name = writer.GetFileName();
  m_frame.Send(WM_RIP_FILE_NAME, 0, reinterpret_cast<intptr_t>(name.c_str()));
  std::vector<uint8_t> batch(size_t(kReadBatchSectors) * kRawSectorBytes);
  for (int32_t sector = begin; sector <= end;) {
    const int32_t count =
        static_cast<int32_t>(std::min<int64_t>(kReadBatchSectors, int64_t(end) - sector + 1));
    ReadBatch(sector, count, batch.data());
    for (int32_t i = 0; i < count; ++i) {
      m_gate.WaitWhilePaused();
      const RipProgress progress{sector + i - begin, end - begin, m_done.load(), m_total.load()};
      m_frame.Send(WM_RIP_PROGRESS, 0, reinterpret_cast<intptr_t>(&progress));
      m_done.fetch_add(1);
      writer.Write(batch.data() + size_t(i) * kRawSectorBytes, kRawSectorBytes);
      if (m_cancel.load()) return;
    }
    sector += count;
  }
}

void RipJob::ReadBatch(int32_t first, int32_t count, uint8_t* out) {
  // One call for the whole batch: a drive spends most of a one-sector read on the command itself.
  if (m_source.ReadRawSectors(first, out, count)) return;
  // Sector by sector, so that a bad sector costs that sector alone.
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* sector = out + size_t(i) * kRawSectorBytes;
    if (m_source.ReadRawSectors(first + i, sector, 1)) continue;
    // Silence rather than whatever the failed read left behind; the job reports the track.
    std::fill(sector, sector + kRawSectorBytes, 0);
    if (m_failedReads++ == 0) m_firstFailedSector = first + i;
  }
}

}  // namespace korvi
