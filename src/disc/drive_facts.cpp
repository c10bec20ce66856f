#include "disc/drive_facts.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "disc/cd_device.h"
#include "disc/cdrom_toc.h"

namespace korvi {
namespace {

// A drive's read offset can put the disc's first and last sectors out of its reach (it would read
// before sector 0 or past the lead-out): measuring keeps a second away from them.
constexpr int32_t kEdgeSectors = 75;

using Clock = std::chrono::steady_clock;

std::string TrimmedField(const uint8_t* bytes, size_t width) {
  std::string text(reinterpret_cast<const char*>(bytes), width);
  text = text.substr(0, text.find('\0'));
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = ' ';
  const size_t end = text.find_last_not_of(' ');
  const size_t begin = text.find_first_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Walks the disc's audio one fresh sector at a time, round from the end to the start, so that the
// sectors it hands out were not read lately (as long as the disc is larger than the cache).
class SectorWalk {
 public:
  SectorWalk(int32_t first, int32_t end, int32_t from) : m_first(first), m_end(end), m_next(from) {}
  int32_t Span() const { return m_end - m_first; }
  // count consecutive sectors that fit before the end; the first of them.
  int32_t Take(int32_t count) {
    if (m_next + count > m_end) m_next = m_first;
    const int32_t at = m_next;
    m_next += count;
    return at;
  }

 private:
  int32_t m_first;
  int32_t m_end;
  int32_t m_next;
};

// One sector read by the ordinary path, timed; negative when it fails.
double TimedRead(CdDevice& drive, int32_t sector) {
  uint8_t buffer[kRawSectorBytes];
  const Clock::time_point start = Clock::now();
  if (!drive.ReadRawSectors(sector, buffer, 1)) return -1;
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// count sectors read in batches, to push older sectors out of the cache.
bool ReadElsewhere(CdDevice& drive, SectorWalk& walk, int32_t count) {
  constexpr int32_t kBatch = 25;
  std::vector<uint8_t> ignored(size_t(kBatch) * kRawSectorBytes);
  while (count > 0) {
    const int32_t n = std::min(count, kBatch);
    if (!drive.ReadRawSectors(walk.Take(n), ignored.data(), n)) return false;
    count -= n;
  }
  return true;
}

class CacheProbe {
 public:
  CacheProbe(CdDevice& drive, SectorWalk& walk, double threshold) : m_drive(drive), m_walk(walk), m_threshold(threshold) {}

  // Whether a sector read, then read again after `between` reads elsewhere, came from the cache.
  // A slow re-read may be a hiccup of the machine rather than the disc: it is tried twice.
  std::optional<bool> StillCached(int32_t between) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      const int32_t sector = m_walk.Take(1);
      if (TimedRead(m_drive, sector) < 0 || !ReadElsewhere(m_drive, m_walk, between)) return std::nullopt;
      const double again = TimedRead(m_drive, sector);
      if (again < 0) return std::nullopt;
      if (again < m_threshold) return true;
    }
    return false;
  }

 private:
  CdDevice& m_drive;
  SectorWalk& m_walk;
  double m_threshold;
};

}  // namespace

std::optional<DriveIdentity> ReadDriveIdentity(CdDevice& drive, std::string* error) {
  uint8_t reply[36] = {};
  const uint8_t inquiry[6] = {0x12, 0, 0, 0, sizeof reply, 0};
  if (drive.isImage() || !drive.RunMmcRead(inquiry, sizeof inquiry, reply, sizeof reply)) {
    if (error)
      *error = drive.isImage() ? drive.name() + " is an image, not a drive"
                               : drive.name() + " does not answer INQUIRY";
    return std::nullopt;
  }
  return DriveIdentity{TrimmedField(reply + 8, 8), TrimmedField(reply + 16, 16), TrimmedField(reply + 32, 4)};
}

bool ReadC2Support(CdDevice& drive) {
  uint8_t reply[64] = {};
  const uint8_t modeSense[10] = {0x5A, 0x08, 0x2A, 0, 0, 0, 0, 0, sizeof reply, 0};
  if (!drive.RunMmcRead(modeSense, sizeof modeSense, reply, sizeof reply)) return false;
  // An 8-byte header, then any block descriptors, then the page.
  const size_t page = 8 + ((size_t(reply[6]) << 8) | reply[7]);
  if (page + 6 > sizeof reply || (reply[page] & 0x3F) != 0x2A) return false;
  return (reply[page + 5] & 0x10) != 0;
}

DriveCache MeasureCache(CdDevice& drive, int32_t near, int32_t leadOut, std::chrono::milliseconds budget) {
  near += kEdgeSectors;
  leadOut -= kEdgeSectors;
  DriveCache cache;
  const Clock::time_point deadline = Clock::now() + budget;
  SectorWalk walk(near, leadOut, near);
  constexpr int kSamples = 5;
  if (walk.Span() < 64) return cache;
  // Fresh reads jump across the disc; a cached read repeats the sector just read.
  std::vector<double> fresh, cached;
  for (int i = 0; i < kSamples; ++i) {
    const int32_t sector = near + int32_t(int64_t(walk.Span()) * (2 * i + 1) / (2 * kSamples + 1));
    const double first = TimedRead(drive, sector);
    const double again = TimedRead(drive, sector);
    if (first < 0 || again < 0) return cache;
    fresh.push_back(first);
    cached.push_back(again);
  }
  cache.measured = true;
  cache.freshReadMs = Median(fresh);
  cache.cachedReadMs = Median(cached);
  // Much faster, and by more than the machine's own noise.
  constexpr double kNoiseMs = 0.3;
  if (cache.cachedReadMs * 2 > cache.freshReadMs || cache.freshReadMs - cache.cachedReadMs < kNoiseMs) return cache;
  cache.cachesAudio = true;

  // The fewest reads elsewhere that push a sector out: doubled until one does, then halved in.
  // A sector from the disc again may take less than the first fresh reads did, which moved the head
  // across the disc: a re-read counts as cached only when it is about as fast as one.
  const double threshold =
      std::min((cache.freshReadMs + cache.cachedReadMs) / 2, std::max(4 * cache.cachedReadMs, cache.cachedReadMs + 2));
  CacheProbe probe(drive, walk, threshold);
  const int32_t most = std::min<int32_t>(1 << 15, walk.Span() / 2);
  int32_t held = 0;  // this many reads elsewhere kept it
  int32_t gone = 0;  // this many pushed it out
  for (int32_t between = 1; gone == 0; between *= 2) {
    if (between > most || Clock::now() > deadline) {
      cache.sectors = held;
      cache.sizeIsLowerBound = true;
      return cache;
    }
    const std::optional<bool> kept = probe.StillCached(between);
    if (!kept) return cache.measured = false, cache;
    (*kept ? held : gone) = between;
  }
  while (gone - held > std::max(1, gone / 16) && Clock::now() < deadline) {
    const int32_t middle = held + (gone - held) / 2;
    const std::optional<bool> kept = probe.StillCached(middle);
    if (!kept) break;
    (*kept ? held : gone) = middle;
  }
  cache.sectors = gone;
  return cache;
}

bool ReadSectorsFua(CdDevice& drive, int32_t start, uint8_t* buffer, int32_t count) {
  return drive.ReadFua(start, buffer, count);
}

DriveFua ProbeFua(CdDevice& drive, int32_t near, const DriveCache& cache) {
  near += kEdgeSectors;
  DriveFua fua;
  uint8_t ordinary[kRawSectorBytes];
  uint8_t forced[kRawSectorBytes];
  // A drive that reads only user data (2048 bytes) into the larger buffer gives other bytes.
  std::memset(forced, 0xA5, sizeof forced);
  if (!drive.ReadRawSectors(near, ordinary, 1) || !ReadSectorsFua(drive, near, forced, 1)) return fua;
  fua.works = std::memcmp(ordinary, forced, kRawSectorBytes) == 0;
  if (!fua.works || !cache.cachesAudio) return fua;
  // The sector is in the cache now; a FUA read of it that takes a fresh read's time went to the disc.
  std::vector<double> times;
  for (int i = 0; i < 3; ++i) {
    const int32_t sector = near + 1 + i;
    if (!drive.ReadRawSectors(sector, ordinary, 1)) return fua;
    const Clock::time_point start = Clock::now();
    if (!ReadSectorsFua(drive, sector, forced, 1)) return fua;
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  fua.bypassesCache = Median(times) > (cache.freshReadMs + cache.cachedReadMs) / 2;
  return fua;
}

std::optional<DriveFacts> GatherDriveFacts(CdDevice& drive, int32_t firstAudio, int32_t leadOut, std::string* error) {
  std::optional<DriveIdentity> identity = ReadDriveIdentity(drive, error);
  if (!identity) return std::nullopt;
  DriveFacts facts;
  facts.identity = std::move(*identity);
  facts.c2Pointers = ReadC2Support(drive);
  facts.cache = MeasureCache(drive, firstAudio, leadOut);
  facts.fua = ProbeFua(drive, firstAudio, facts.cache);
  return facts;
}

std::string DriveModelName(const DriveIdentity& identity) {
  return identity.vendor + " - " + identity.model;
}

}  // namespace korvi
