// drive_model IMAGE.cue OUT_DIR [--speed S] [--delay-ms D] [--runs N] [--jobs N] [--single N]
//
// Whether a rip keeps a drive busy: a model of a drive over a disc image, which delivers at most S
// sectors a second (default 3000, 40 times real time) and spends D milliseconds on every read call
// (default 0.5, a drive's command overhead), against the rip job. Each measurement runs in a child
// process of its own, timed here and waited for with wait4, which also gives its CPU time and peak
// memory; the kinds alternate, N runs each (default 3), and the medians are printed:
//
//   read    every track's sectors through the model, kReadBatchSectors a call as the rip job reads
//   single  a stretch of N sectors (default 750) through the model, one a call, for contrast
//   encode  the rip job to MP3 at 192 kbit/s straight from the image
//   rip     the same rip job through the model
//
// A rip that reads while it encodes takes about as long as the slower of reading and encoding; one
// that does them in turn takes their sum. --jobs sets the job's encoders (default 0, one per core).

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "disc/cd_device.h"
#include "disc/cdrom_toc.h"
#include "disc/read_toc.h"
#include "disc/sector_source.h"
#include "disc/track_rows.h"
#include "messages/messenger.h"
#include "rip/output_format.h"
#include "rip/rip_job.h"

using namespace korvi;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A drive reading a disc: each call costs its command overhead, then its sectors at the disc's
// pace. It reads nothing ahead, so time the host spends elsewhere is not made up later, and it
// takes one command at a time.
class ThrottledSource : public ISectorSource {
 public:
  ThrottledSource(ISectorSource& disc, double sectorsPerSecond, std::chrono::microseconds perCall)
      : m_disc(disc), m_sectorsPerSecond(sectorsPerSecond), m_perCall(perCall) {}

  bool ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) override {
    std::lock_guard lock(m_mutex);
    const auto transfer = std::chrono::duration<double>(count / m_sectorsPerSecond);
    const auto done = Clock::now() + m_perCall + std::chrono::duration_cast<Clock::duration>(transfer);
    // The image's own read happens within the modelled time.
    const bool ok = m_disc.ReadRawSectors(start, buffer, count);
    std::this_thread::sleep_until(done);
    return ok;
  }

 private:
  ISectorSource& m_disc;
  double m_sectorsPerSecond;
  std::chrono::microseconds m_perCall;
  std::mutex m_mutex;
};

// Nobody watches: messages are dropped and an existing file is replaced.
class QuietMessenger : public IFrameMessenger {
 public:
  intptr_t Send(unsigned message, uintptr_t, intptr_t lParam) override {
    if (message == WM_ASK_OVERWRITE) *reinterpret_cast<int32_t*>(lParam) = kOverwriteYes;
    return 0;
  }
  void Post(unsigned, uintptr_t, intptr_t) override {}
};

struct Options {
  std::string image;
  fs::path out;
  double speed = 3000;
  double delayMs = 0.5;
  int runs = 3;
  int32_t jobs = 0;
  int32_t single = 750;
};

struct Measured {
  double wall = 0;  // seconds
  double cpu = 0;   // user + system, seconds
  long peakKiB = 0;
};

// Runs work in a child process; its exit status is work's result. Null when the child failed.
std::unique_ptr<Measured> InChild(const char* kind, const std::function<int()>& work) {
  std::fflush(nullptr);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("drive_model: fork");
    return nullptr;
  }
  if (pid == 0) {
    const int status = work();
    std::fflush(nullptr);
    _exit(status);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) {
    std::perror("drive_model: wait4");
    return nullptr;
  }
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "drive_model: the %s run failed\n", kind);
    return nullptr;
  }
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  auto measured = std::make_unique<Measured>();
  measured->wall = wall;
  measured->cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  measured->peakKiB = usage.ru_maxrss;
  return measured;
}

std::unique_ptr<CdDevice> OpenImage(const std::string& image) {
  std::string error;
  std::unique_ptr<CdDevice> device = CdDevice::Open(image, &error);
  if (!device) std::fprintf(stderr, "drive_model: %s: %s\n", image.c_str(), error.c_str());
  return device;
}

// The disc's audio tracks as the command-line tool lists them.
std::vector<RipTrack> ReadTracks(const std::string& image) {
  std::unique_ptr<CdDevice> device = OpenImage(image);
  if (!device) return {};
  DiscToc disc;
  TrackRowTable rows;
  if (ReadTocIntoRows(device.get(), disc, rows) != 0) {
    std::fprintf(stderr, "drive_model: %s\n", device->lastError().c_str());
    return {};
  }
  std::vector<RipTrack> tracks;
  for (int row = 0; row < rows.RowCount(); ++row) {
    const TrackSpan span = RowSpan(rows, row);
    tracks.push_back({CTrackInfo(span.begin, span.end, rows.Text(row, kColumnName).c_str()), row + 1});
  }
  return tracks;
}

int ReadAll(const Options& options, const std::vector<RipTrack>& tracks) {
  std::unique_ptr<CdDevice> device = OpenImage(options.image);
  if (!device) return 1;
  ThrottledSource drive(*device, options.speed, std::chrono::microseconds(int64_t(options.delayMs * 1000)));
  std::vector<uint8_t> batch(size_t(kReadBatchSectors) * kRawSectorBytes);
  for (const RipTrack& track : tracks) {
    for (int32_t sector = track.info.begin(); sector <= track.info.end(); sector += kReadBatchSectors) {
      const int32_t count = std::min(kReadBatchSectors, track.info.end() - sector + 1);
      if (!drive.ReadRawSectors(sector, batch.data(), count)) {
        std::fprintf(stderr, "drive_model: sector %d could not be read\n", sector);
        return 1;
      }
    }
  }
  return 0;
}

int ReadSingle(const Options& options, int32_t first, int32_t count) {
  std::unique_ptr<CdDevice> device = OpenImage(options.image);
  if (!device) return 1;
  ThrottledSource drive(*device, options.speed, std::chrono::microseconds(int64_t(options.delayMs * 1000)));
  uint8_t sector[kRawSectorBytes];
  for (int32_t i = 0; i < count; ++i) {
    if (!drive.ReadRawSectors(first + i, sector, 1)) {
      std::fprintf(stderr, "drive_model: sector %d could not be read\n", first + i);
      return 1;
    }
  }
  return 0;
}

int Rip(const Options& options, const std::vector<RipTrack>& tracks, const fs::path& folder, bool throttled) {
  std::unique_ptr<CdDevice> device = OpenImage(options.image);
  if (!device) return 1;
  ThrottledSource drive(*device, options.speed, std::chrono::microseconds(int64_t(options.delayMs * 1000)));
  QuietMessenger messenger;
  RipJob job(messenger, throttled ? static_cast<ISectorSource&>(drive) : *device);
  RipSettings settings;
  settings.folder = folder.string();
  settings.format = kFormatMp3;
  settings.replacePrompt = false;
  settings.writer.BPS = 192;
  settings.writer.showError = [](const std::string& text) {
    std::fprintf(stderr, "drive_model: %s\n", text.c_str());
  };
  settings.encoderJobs = options.jobs;
  if (!job.Start(tracks, settings)) {
    std::fprintf(stderr, "drive_model: the rip could not be started\n");
    return 1;
  }
  while (job.IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  job.Join();
  for (const RipFailure& failure : job.Failures())
    std::fprintf(stderr, "drive_model: %s: %s\n", failure.path.c_str(), failure.cause.c_str());
  return job.Failures().empty() && job.WrittenFiles().size() == tracks.size() ? 0 : 1;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  if (argc < 3) return false;
  options.image = argv[1];
  options.out = argv[2];
  for (int i = 3; i < argc; i += 2) {
    if (i + 1 >= argc) return false;
    const std::string name = argv[i];
    char* end = nullptr;
    const double value = std::strtod(argv[i + 1], &end);
    if (*end != '\0' || value < 0) return false;
    if (name == "--speed" && value > 0)
      options.speed = value;
    else if (name == "--delay-ms")
      options.delayMs = value;
    else if (name == "--runs" && value >= 1)
      options.runs = int(value);
    else if (name == "--jobs")
      options.jobs = int32_t(value);
    else if (name == "--single" && value >= 1)
      options.single = int32_t(value);
    else
      return false;
  }
  return true;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool SameFile(const fs::path& a, const fs::path& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  if (!x || !y) return false;
  return std::equal(std::istreambuf_iterator<char>(x), {}, std::istreambuf_iterator<char>(y), {});
}

bool FreshFolder(const fs::path& folder) {
  std::error_code error;
  fs::remove_all(folder, error);
  if (!fs::create_directories(folder, error)) {
    std::fprintf(stderr, "drive_model: %s: %s\n", folder.c_str(), error.message().c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(
        stderr,
        "usage: drive_model IMAGE.cue OUT_DIR [--speed SECTORS_PER_SECOND] [--delay-ms MS] [--runs N]"
        " [--jobs N] [--single SECTORS]\n");
    return 2;
  }
  // Read before any child runs, in this single-threaded process, so that each child forks a copy
  // that starts no thread of ours.
  const std::vector<RipTrack> tracks = ReadTracks(options.image);
  if (tracks.empty()) return 1;
  int64_t sectors = 0;
  for (const RipTrack& track : tracks) sectors += track.info.end() - track.info.begin() + 1;
  const int32_t single =
      std::min<int32_t>(options.single, tracks.front().info.end() - tracks.front().info.begin() + 1);
  const fs::path encodeFolder = options.out / "encode";
  const fs::path ripFolder = options.out / "rip";

  std::map<std::string, std::vector<Measured>> runs;
  for (int run = 0; run < options.runs; ++run) {
    struct Kind {
      const char* name;
      std::function<int()> work;
      const fs::path* folder;
    };
    const Kind kinds[] = {
        {"read", [&] { return ReadAll(options, tracks); }, nullptr},
        {"single", [&] { return ReadSingle(options, tracks.front().info.begin(), single); }, nullptr},
        {"encode", [&] { return Rip(options, tracks, encodeFolder, false); }, &encodeFolder},
        {"rip", [&] { return Rip(options, tracks, ripFolder, true); }, &ripFolder},
    };
    for (const Kind& kind : kinds) {
      if (kind.folder && !FreshFolder(*kind.folder)) return 1;
      std::unique_ptr<Measured> measured = InChild(kind.name, kind.work);
      if (!measured) return 1;
      runs[kind.name].push_back(*measured);
    }
  }

  auto median = [&](const char* kind, double Measured::*field) {
    std::vector<double> values;
    for (const Measured& m : runs[kind]) values.push_back(m.*field);
    return Median(values);
  };
  auto peakMb = [&](const char* kind) {
    long peak = 0;
    for (const Measured& m : runs[kind]) peak = std::max(peak, m.peakKiB);
    return double(peak) / 1024;
  };
  const double read = median("read", &Measured::wall);
  const double singleWall = median("single", &Measured::wall);
  const double encode = median("encode", &Measured::wall);
  const double rip = median("rip", &Measured::wall);

  // The files of the last runs: each rip must have written one per track, the same bytes.
  int same = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(encodeFolder))
    same += SameFile(entry.path(), ripFolder / entry.path().filename());
  const std::string jobs =
      options.jobs > 0 ? std::to_string(options.jobs) + " encoder(s)" : std::string("its default encoders");

  std::printf(
      "drive_model: %zu tracks, %lld:%02lld of audio; the modelled drive delivers at most %.0f sectors/s"
      " (%.1fx) and spends %.1f ms on each read call; the rip job with %s; median of %d alternating"
      " runs, each in a child process\n",
      tracks.size(), static_cast<long long>(sectors / 75 / 60), static_cast<long long>(sectors / 75 % 60),
      options.speed, options.speed / 75, options.delayMs, jobs.c_str(), options.runs);
  auto line = [&](const char* label, const char* kind) {
    std::printf("  %-46s wall %7.2f s   cpu %7.2f s   peak memory %6.1f MB\n", label,
                median(kind, &Measured::wall), median(kind, &Measured::cpu), peakMb(kind));
  };
  char label[64];
  std::snprintf(label, sizeof label, "read, %d sectors a call", kReadBatchSectors);
  line(label, "read");
  line("read, 1 sector a call", "single");
  line("encode: rip job to MP3 192, image unthrottled", "encode");
  line("rip: rip job to MP3 192, through the model", "rip");
  const double batchedSpeed = double(sectors) / read;
  const double singleSpeed = double(single) / singleWall;
  std::printf("  batched reads: %.0f sectors/s, %.3f of the modelled speed (target at least 0.90)\n",
              batchedSpeed, batchedSpeed / options.speed);
  std::printf("  one-sector reads (%d sectors): %.0f sectors/s, %.3f of the modelled speed\n", single,
              singleSpeed, singleSpeed / options.speed);
  std::printf("  rip / max(read, encode): %.3f (target at most 1.1)\n", rip / std::max(read, encode));
  std::printf("  rip / (read + encode): %.3f (reading and encoding in turn come near 1.0)\n",
              rip / (read + encode));
  std::printf("  peak memory: read %.1f MB, encode %.1f MB, rip %.1f MB (target under 100 MB)\n",
              peakMb("read"), peakMb("encode"), peakMb("rip"));
  std::printf("  same MP3 files through the model as straight from the image: %d of %zu\n", same,
              tracks.size());
  return same == int(tracks.size()) ? 0 : 1;
}
