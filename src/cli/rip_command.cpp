// korvi-cli rip: the rip job without a window. Messages are handled on the worker's own thread.

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <set>

#include "cli/commands.h"
#include "cli/lookup_command.h"
#include "cli/options.h"
#include "cli/synopsis.h"
#include "disc/cd_device.h"
#include "disc/drive_claim.h"
#include "disc/drive_facts.h"
#include "disc/hidden_track.h"
#include "disc/read_toc.h"
#include "disc/track_rows.h"
#include "messages/messenger.h"
#include "rip/output_format.h"
#include "rip/rip_job.h"
#include "settings/app_settings.h"
#include "settings/drive_read_offset.h"
#include "settings/registry_store.h"
#include "settings/rip_settings_of.h"

namespace korvi::cli {
namespace {

// Reports on stderr; answers the overwrite question from stdin, or as --on-exists says. All that
// the job's threads and the waiting thread write to stderr goes through here, one at a time.
class CliMessenger : public IFrameMessenger {
 public:
  CliMessenger(OnExists onExists, std::ostream& err) : m_onExists(onExists), m_err(err), m_tty(isatty(2)) {}

  intptr_t Send(unsigned message, uintptr_t wParam, intptr_t lParam) override {
    std::lock_guard lock(m_mutex);
    if (message == WM_ASK_OVERWRITE)
      Ask(reinterpret_cast<const char*>(wParam), reinterpret_cast<int32_t*>(lParam));
    return 0;
  }
  void Post(unsigned, uintptr_t, intptr_t) override {}

  void Say(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_err << (m_tty ? "\r\033[K" : "") << "korvi-cli: " << text << '\n' << std::flush;
  }

  // The progress line, on a terminal only: the track the job is at, how much of the job is done
  // and how fast the disc is read, as a multiple of real time. Left out while a question is open.
  void ShowProgress(const RipJob& job, double seconds) {
    // A few times a second is enough to read, and light on a terminal over the network.
    if (!m_tty || seconds - m_drawnAt < kRedrawSeconds) return;
    std::unique_lock lock(m_mutex, std::try_to_lock);
    if (!lock) return;
    m_drawnAt = seconds;
    const RipStatus status = job.Status();
    if (status.track < 0) return;
    const int percent = status.totalSectors > 0 ? int(100LL * status.doneSectors / status.totalSectors) : 100;
    const double speed = seconds > 0 ? double(status.readSectors) / kSectorsPerSecond / seconds : 0;
    char line[64];
    std::snprintf(line, sizeof line, "track %d  %3d%%  %.1fx", job.Tracks()[size_t(status.track)].number,
                  percent, speed);
    m_err << "\r\033[K" << line << std::flush;
  }
  void EndProgress() {
    std::lock_guard lock(m_mutex);
    if (m_tty) m_err << "\r\033[K" << std::flush;
  }

 private:
  void Ask(const char* path, int32_t* answer) {
    if (m_onExists == OnExists::Skip) {
      *answer = kOverwriteNoToAll;
      return;
    }
    if (m_tty) m_err << "\r\033[K";
    m_err << "File " << path << " already exists, overwrite? [y]es, [n]o, [a]ll, n[o]ne: " << std::flush;
    std::string reply;
    if (!std::getline(std::cin, reply)) {
      m_err << "\n";
      return;  // no answer: the file is kept
    }
    if (reply == "y" || reply == "yes")
      *answer = kOverwriteYes;
    else if (reply == "a" || reply == "all")
      *answer = kOverwriteYesToAll;
    else if (reply == "o" || reply == "none")
      *answer = kOverwriteNoToAll;
    else
      *answer = kOverwriteNo;
  }

  OnExists m_onExists;
  std::ostream& m_err;
  static constexpr double kRedrawSeconds = 0.2;
  bool m_tty;
  double m_drawnAt = -1;
  std::mutex m_mutex;
};

// Ctrl+C and SIGTERM stop the job the way the window's Cancel does, so the file being written is
// closed as a valid, shorter file instead of being cut off mid-write. The signals are blocked from
// before the worker starts (it inherits the mask) and taken by the waiting thread alone; a second
// Ctrl+C ends the program at once.
class StopSignals {
 public:
  StopSignals() {
    sigemptyset(&m_set);
    for (const int signal : {SIGINT, SIGTERM}) {
      // A signal the caller ignores (a background job, nohup) stays ignored.
      struct sigaction current {};
      if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
        sigaddset(&m_set, signal);
    }
    pthread_sigmask(SIG_BLOCK, &m_set, &m_previous);
  }
  ~StopSignals() {
    // Drop a signal that came after the job ended rather than let it kill us on unblocking.
    const timespec none{0, 0};
    while (sigtimedwait(&m_set, nullptr, &none) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Waits for the job's end, cancelling it on the first signal; true when it was stopped. Calls
  // tick with the seconds since the start every 50 ms.
  bool WaitFor(RipJob& job, std::ostream& err, const std::function<void(double seconds)>& tick) {
    bool stopped = false;
    const timespec wait{0, 50'000'000};
    const auto start = std::chrono::steady_clock::now();
    while (job.IsRunning()) {
      const int signal = sigtimedwait(&m_set, nullptr, &wait);
      if (signal <= 0) {
        if (!stopped) tick(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        continue;
      }
      if (stopped) {
        ::signal(signal, SIG_DFL);
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
        raise(signal);
      }
      stopped = true;
      job.Cancel();
      err << (isatty(2) ? "\r\033[K" : "")
          << "korvi-cli: stopping; the file being written stays valid (Ctrl+C again quits at once)\n"
          << std::flush;
    }
    job.Join();
    return stopped;
  }

 private:
  sigset_t m_set{};
  sigset_t m_previous{};
};

// The listed rows as the job's tracks, named and tagged from the looked-up record when there is one.
// --tracks names the disc's own track numbers; 0 is the audio before track 1, which is ripped with
// the rest when --tracks is not given.
std::optional<std::vector<RipTrack>> SelectTracks(const TrackRowTable& rows, const DiscToc& disc,
                                                  const std::optional<TrackSpan>& hidden,
                                                  const std::optional<std::set<int>>& wanted,
                                                  const std::optional<CDiscInfo>& record, std::ostream& err) {
  std::vector<RipTrack> tracks;
  std::set<int> listed;
  if (hidden) {
    listed.insert(0);
    if (!wanted || wanted->count(0)) tracks.push_back({CTrackInfo(hidden->begin, hidden->end, kHiddenTrackTitle), 0});
  }
  for (int row = 0; row < rows.RowCount(); ++row) {
    const int number = RowTrackNumber(disc, row);
    listed.insert(number);
    if (wanted && !wanted->count(number)) continue;
    const TrackSpan span = RowSpan(rows, row);
    CTrackInfo track =
        record ? record->tracks[size_t(row)] : CTrackInfo(0, 0, rows.Text(row, kColumnName).c_str());
    track.setRange(span.begin, span.end);
    tracks.push_back({track, number});
  }
  for (const int number : wanted.value_or(std::set<int>())) {
    if (listed.count(number)) continue;
    if (number == 0)
      err << "korvi-cli: the disc holds no audio before track 1 (track 0)\n";
    else
      err << "korvi-cli: " << NoListedTrackText(number, disc, rows.RowCount()) << '\n';
    return std::nullopt;
  }
  return tracks;
}

// How each track read: "track 3: Repaired (10,684 sectors read for 5,000; 2 jitter fixes, 0 repairs;
// test CRC 1A2B3C4D, copy CRC 1A2B3C4D)".
void ReportReads(const RipJob& job, std::ostream& err) {
  const auto hex = [](uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return std::string(text);
  };
  for (size_t i = 0; i < job.Tracks().size(); ++i) {
    const TrackResult& result = job.Results()[i];
    const CTrackInfo& info = job.Tracks()[i].info;
    if (!result.complete) continue;
    std::string line = "korvi-cli: track " + std::to_string(job.Tracks()[i].number) + ": " +
                       result.StatusText(info.begin()) + " (";
    if (result.quality.sectorsRead > 0)
      line += std::to_string(result.quality.sectorsRead) + " sectors read for " +
              std::to_string(info.end() - info.begin() + 1) + "; ";
    line += std::to_string(result.quality.jitterFixes) + " jitter fixes, " +
            std::to_string(result.quality.repairs) + " repairs";
    if (result.testCrc && result.copyCrc)
      line += "; test CRC " + hex(*result.testCrc) + ", copy CRC " + hex(*result.copyCrc);
    if (result.thirdCrc) line += ", third read " + hex(*result.thirdCrc);
    if (result.quality.outOfReach > 0)
      line +=
          "; " + std::to_string(result.quality.outOfReach) + " samples beyond the drive's reach are silence";
    err << line << ")\n";
  }
}

// After the files, what AccurateRip says of each: "AccurateRip track 2: Accurate (v2, confidence
// 12)"; the summary on stderr.
void ReportAccurateRip(const RipJob& job, std::ostream& out, std::ostream& err) {
  const std::string summary = job.AccurateRipSummaryText();
  if (summary.empty()) return;
  for (size_t i = 0; i < job.Tracks().size(); ++i) {
    const TrackResult& result = job.Results()[i];
    const std::string head = "AccurateRip track " + std::to_string(job.Tracks()[i].number) + ": ";
    if (!result.fileFailure.empty())
      out << head << "not verified, no file was written\n";
    else if (result.accurateRip)
      out << head << result.accurateRip->Text() << '\n';
  }
  if (!job.AccurateRipProblem().empty())
    err << "korvi-cli: AccurateRip: " << job.AccurateRipProblem() << '\n';
  err << "korvi-cli: " << summary << '\n';
}

// The offset for the drive's model, said on stderr; nullopt for a drive that does not identify itself.
std::optional<int32_t> ModelReadOffset(CdDevice& device, const CAppSettings& settings, const UserFolders& folders,
                                       std::ostream& err) {
  const std::optional<DriveIdentity> identity = ReadDriveIdentity(device);
  if (!identity) return std::nullopt;
  const DriveReadOffset offset =
      ReadOffsetOfModel(RegistryStore::OpenForUser(folders), settings, DriveModelName(*identity), true);
  if (offset.source == ReadOffsetSource::kNotKnown) {
    if (!offset.problem.empty()) err << "korvi-cli: " << offset.problem << '\n';
    err << "korvi-cli: the read offset of " << DriveModelName(*identity)
        << " is not known: none is corrected (korvi-cli offset finds it)\n";
    return std::nullopt;
  }
  err << "korvi-cli: read offset " << (offset.offset > 0 ? "+" : "") << offset.offset << " ("
      << ReadOffsetSourceText(offset.source) << ")\n";
  return offset.offset;
}

}  // namespace

int Rip(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string problem;
  const std::optional<RipOptions> parsed = ParseRipOptions(args, OutputFormats(), problem);
  if (!parsed) {
    err << "korvi-cli: " << problem << '\n' << UsageLine(*FindCliCommand("rip")) << '\n';
    return kExitUsage;
  }
  const RipOptions& options = *parsed;
  const UserFolders folders = UserFolders::FromEnvironment();
  CAppSettings settings(folders);
  settings.LoadFromRegistry(RegistryStore::OpenForUser(folders));

  std::string error;
  std::unique_ptr<CdDevice> device = CdDevice::Open(options.drive, &error);
  if (!device) {
    err << "korvi-cli: " << error << '\n';
    return kExitFailed;
  }
  std::optional<DriveClaim> claim;
  if (!device->isImage() && !(claim = DriveClaim::Take(options.drive, &error))) {
    err << "korvi-cli: " << error << '\n';
    return kExitFailed;
  }
  DiscToc disc;
  TrackRowTable rows;
  if (ReadTocIntoRows(device.get(), disc, rows) != 0) {
    err << "korvi-cli: " << device->lastError() << '\n';
    return kExitFailed;
  }
  std::optional<CDiscInfo> record;
  if (options.lookup) {
    DiscLookupRequest request;
    request.drive = options.drive;
    request.disc = &disc;
    request.rows = &rows;
    request.libraryFolder = options.library.value_or(settings.DefaultLibFolder);
    request.helloEmail = settings.CDDBEmail;
    request.order = ParseLookupOrder(settings.LookupOrder);
    request.save = settings.SaveLibraryAutomatically;
    request.pick = options.pick;
    DiscLookupResult found = LookUpDisc(request, err);
    if (found.pickBeyondMatches) return kExitFailed;
    record = std::move(found.record);
    if (!record) err << "korvi-cli: the files are named after the track numbers\n";
  }
  const std::optional<TrackSpan> hidden = HiddenTrackOf(*device, disc);
  auto tracks = SelectTracks(rows, disc, hidden, options.tracks, record, err);
  if (!tracks) return kExitUsage;

  const bool drive = !device->isImage();
  RipSettings rip = RipSettingsOf(settings, disc, drive);
  rip.folder = options.out.value_or(settings.DefaultFolder);
  rip.format = options.format->id;
  const OnExists onExists =
      options.onExists.value_or(settings.ReplacePrompt ? OnExists::Ask : OnExists::Overwrite);
  rip.replacePrompt = onExists != OnExists::Overwrite;
  for (const auto& [option, value] : options.formatValues) option->Set(rip.writer, value);
  rip.encoderJobs = options.jobs.value_or(rip.encoderJobs);
  rip.readMode = options.mode.value_or(rip.readMode);
  if (options.offset)
    rip.readOffset = *options.offset;
  else if (drive)
    rip.readOffset = ModelReadOffset(*device, settings, folders, err).value_or(rip.readOffset);
  rip.testAndCopy = rip.testAndCopy || options.testAndCopy;
  rip.drive = drive ? device.get() : nullptr;
  rip.readSpeed = options.speed.value_or(rip.readSpeed);
  rip.ejectAfterRip = rip.ejectAfterRip || options.eject;
  rip.verifyAccurateRip = options.requireAccurate || (rip.verifyAccurateRip && !options.noVerify);
  rip.writeLog = rip.writeLog && !options.noLog;
  rip.writeCueSheet = rip.writeCueSheet && !options.noCue;
  rip.report = ReportDiscOf(options.drive, disc, record ? &*record : nullptr);
  rip.tags = DiscTagsOf(disc, record ? &*record : nullptr);
  rip.report.readCodes = [&device](DiscText& text) { device->ReadCodes(text); };

  CliMessenger messenger(onExists, err);
  rip.writer.showError = [&messenger](const std::string& text) { messenger.Say(text); };
  RipJob job(messenger, *device);
  StopSignals stopSignals;
  if (!job.Start(std::move(*tracks), rip)) {
    err << "korvi-cli: the rip could not be started"
        << (job.StartError().empty() ? "" : ": " + job.StartError()) << "\n";
    return kExitFailed;
  }
  const bool stopped =
      stopSignals.WaitFor(job, err, [&](double seconds) { messenger.ShowProgress(job, seconds); });
  messenger.EndProgress();
  if (rip.readMode == ReadMode::kSecure || rip.testAndCopy || rip.readOffset != 0) ReportReads(job, err);
  for (const std::string& file : job.WrittenFiles()) out << file << '\n';
  ReportAccurateRip(job, out, err);
  for (const RipFailure& failure : job.Failures())
    err << "korvi-cli: " << failure.path << ": " << failure.cause << '\n';
  if (stopped) err << "korvi-cli: the rip was stopped\n";
  if (!job.MediumLost().empty()) err << "korvi-cli: the rip ended early: " << job.MediumLost() << '\n';
  if (rip.ejectAfterRip && drive && job.Failures().empty() && !stopped && job.MediumLost().empty())
    err << "korvi-cli: " << (job.Ejected() ? "the tray was opened" : "the tray could not be opened") << '\n';
  if (!job.Failures().empty() || stopped || !job.MediumLost().empty()) return kExitFailed;
  if (options.requireAccurate && !job.AllAccurate()) {
    err << "korvi-cli: not every track was ripped accurately\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace korvi::cli
