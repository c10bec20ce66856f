#include "disc/secure_reader.h"

#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "disc/offset_reader.h"

namespace korvi {
namespace {

// Paranoia gives up on a spot after this many reads that disagree, as cd-paranoia does.
constexpr int kMaxRetries = 20;
// Paranoia's sector numbers are ours plus kShift, which leaves room for a lead before sector 0
// and keeps paranoia's word 0, where it puts a skip when it has verified nothing, out of its reads.
constexpr int32_t kShift = 150;
constexpr int32_t kLeadSectors = 4;

// The lead's made-up audio: noise, so that paranoia neither takes it for silence nor matches it
// elsewhere, and the same on every read of the same sector.
void FillLead(int32_t sector, uint8_t* out) {
  uint32_t state = (uint32_t(sector) * 2654435761u) | 1u;
  for (size_t at = 0; at + 4 <= size_t(kRawSectorBytes); at += 4) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    std::memcpy(out + at, &state, 4);
  }
}

// Paranoia calls back without user data, always on the thread that called it.
thread_local SecureSectorSource* t_reading = nullptr;

long ReadAudio(cdrom_drive_t*, void* buffer, lsn_t begin, long sectors) {
  return t_reading ? t_reading->ReadForParanoia(buffer, begin, sectors) : -1;
}

void Callback(long wordPosition, paranoia_cb_mode_t mode) {
  if (t_reading) t_reading->Note(wordPosition, mode);
}

std::string Msf(int32_t sector) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", sector / (60 * kSectorsPerSecond),
                (sector / kSectorsPerSecond) % 60, sector % kSectorsPerSecond);
  return text;
}

// Paranoia learns the disc's layout from a libcdio handle. It gets one over a cue sheet written
// from our table of contents (moved on by kShift) and a sparse bin of the disc's length: its reads
// come to us, so the bin is never read and no device is opened twice. A data track is placed where
// the audio ends; where paranoia reads is set for each start, within the audio the drive reaches.
struct SyntheticDisc {
  std::string cue;
  int64_t binBytes = 0;
};

std::optional<SyntheticDisc> DescribeDisc(const DiscToc& disc, int32_t& first, int32_t& last) {
  const int count = TocTrackCount(disc.toc);
  if (count < 1) return std::nullopt;
  const int32_t leadOut = SectorFromMsf(disc.toc.TrackData[count].Address);
  std::ostringstream cue;
  cue << "FILE \"disc.bin\" BINARY\n";
  const std::optional<TrackSpan> audio = AudioReachOf(disc);
  if (!audio) return std::nullopt;
  first = audio->begin;
  last = audio->end;
  int32_t previous = -1;
  for (int n = 1; n <= count; ++n) {
    const TRACK_DATA& entry = disc.toc.TrackData[n - 1];
    const bool data = IsDataEntry(entry);
    int32_t start = SectorFromMsf(entry.Address);
    if (data && disc.audioEnd && start > *disc.audioEnd && previous < *disc.audioEnd) start = *disc.audioEnd;
    if (start < 0 || start <= previous || start >= leadOut) return std::nullopt;
    previous = start;
    char line[64];
    std::snprintf(line, sizeof line, "  TRACK %02d %s\n    INDEX 01 ", n, data ? "MODE1/2352" : "AUDIO");
    cue << line << Msf(start + kShift) << '\n';
  }
  return SyntheticDisc{cue.str(), int64_t(leadOut + kShift) * kRawSectorBytes};
}

// A private folder for the two files, gone when paranoia has read them.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/korvi-paranoia-XXXXXX";
    if (mkdtemp(pattern.data())) m_path = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

bool WriteDiscFiles(const ScratchFolder& folder, const SyntheticDisc& disc) {
  {
    std::ofstream cue(folder.Path() + "/disc.cue", std::ios::binary);
    cue << disc.cue;
    if (!cue.flush()) return false;
  }
  const std::string bin = folder.Path() + "/disc.bin";
  const int fd = ::open(bin.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool sized = ::ftruncate(fd, disc.binBytes) == 0;
  return ::close(fd) == 0 && sized;
}

}  // namespace

std::unique_ptr<SecureSectorSource> SecureSectorSource::Create(ISectorSource& inner, const DiscToc& disc,
                                                               std::string* error) {
  const auto fail = [error](const std::string& text) {
    if (error) *error = text;
    return nullptr;
  };
  int32_t first = 0;
  int32_t last = 0;
  const std::optional<SyntheticDisc> layout = DescribeDisc(disc, first, last);
  if (!layout) return fail("secure reading needs a table of contents with audio tracks");
  ScratchFolder folder;
  if (folder.Path().empty() || !WriteDiscFiles(folder, *layout))
    return fail(std::string("secure reading could not set up its disc description: ") + std::strerror(errno));
  CdIo_t* cdio = cdio_open((folder.Path() + "/disc.cue").c_str(), DRIVER_BINCUE);
  if (!cdio) return fail("secure reading could not describe the disc to libcdio-paranoia");
  char* message = nullptr;
  cdrom_drive_t* drive = cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_FORGETIT, &message);
  cdio_free(message);
  // Audio comes to paranoia little-endian, as the drive and image code deliver it. Said here, open
  // does not guess it by reading the (empty) bin to the end for non-zero samples.
  if (drive) drive->bigendianp = 0;
  if (!drive || cdio_cddap_open(drive) != 0) {
    if (drive) cdio_cddap_close_no_free_cdio(drive);
    cdio_destroy(cdio);
    return fail("libcdio-paranoia did not accept the disc's table of contents");
  }
  drive->read_audio = ReadAudio;
  return std::unique_ptr<SecureSectorSource>(new SecureSectorSource(inner, cdio, drive, first, last));
}

SecureSectorSource::SecureSectorSource(ISectorSource& inner, CdIo_t* cdio, cdrom_drive_t* drive,
                                       int32_t first, int32_t last)
    : m_inner(inner),
      m_cdio(cdio),
      m_drive(drive),
      m_first(first),
      m_last(last),
      m_reads(size_t(last - first + 1)) {}

SecureSectorSource::~SecureSectorSource() {
  if (m_paranoia) cdio_paranoia_free(m_paranoia);
  cdio_cddap_close_no_free_cdio(m_drive);
  cdio_destroy(m_cdio);
}

bool SecureSectorSource::StartParanoia(int32_t start) {
  if (m_paranoia) cdio_paranoia_free(m_paranoia);
  m_paranoia = cdio_paranoia_init(m_drive);
  m_next = -1;
  if (!m_paranoia) return false;
  // Everything paranoia can do; a spot that never reads the same twice is skipped after the
  // retries and reported, rather than retried for ever.
  cdio_paranoia_modeset(m_paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
  // Paranoia reads nothing before where it starts: the lead's first sector.
  m_leadEnd = start + kShift;
  m_leadLeft = kLeadSectors;
  cdio_paranoia_set_range(m_paranoia, m_leadEnd - kLeadSectors, m_last + kShift);
  m_next = start;
  // Paranoia starts over here; what it skipped elsewhere it reads again when it gets there.
  m_events.clear();
  return true;
}

bool SecureSectorSource::ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) {
  ReadQuality ignored;
  return ReadSectors(start, buffer, count, ignored);
}

bool SecureSectorSource::ReadSectors(int32_t start, uint8_t* buffer, int32_t count, ReadQuality& quality) {
  if (count <= 0 || start < m_first || int64_t(start) + count - 1 > m_last) return false;
  // Paranoia's own seek keeps what it holds of the old place, and with jitter in it that has
  // crashed it; a fresh start costs a few reads of overlap.
  if ((start != m_next || !m_paranoia) && !StartParanoia(start)) return false;
  SecureSectorSource* const outer = t_reading;
  t_reading = this;
  m_quality = &quality;
  bool ok = true;
  for (; m_leadLeft > 0 && ok; --m_leadLeft)
    ok = cdio_paranoia_read_limited(m_paranoia, Callback, kMaxRetries) != nullptr;
  if (ok) {
    // What paranoia noted of the lead is not the disc's.
    const int64_t from = int64_t(start) * kSamplesPerSector;
    std::erase_if(m_events, [from](const Event& event) { return event.sample < from; });
  }
  for (int32_t i = 0; i < count && ok; ++i) {
    const int16_t* data = cdio_paranoia_read_limited(m_paranoia, Callback, kMaxRetries);
    if (!data) {
      ok = false;
      break;
    }
    std::memcpy(buffer + size_t(i) * kRawSectorBytes, data, kRawSectorBytes);
    NoteDelivered(m_next, reinterpret_cast<const uint8_t*>(data), quality);
    ++m_next;
  }
  m_quality = nullptr;
  t_reading = outer;
  // After a failure paranoia's position is unknown; the next read starts afresh.
  if (!ok) m_next = -1;
  return ok;
}

void SecureSectorSource::NoteDelivered(int32_t sector, const uint8_t* data, ReadQuality& quality) {
  const int64_t begin = int64_t(sector) * kSamplesPerSector;
  const int64_t end = begin + kSamplesPerSector;
  bool skipped = false;
  for (auto event = m_events.begin(); event != m_events.end();) {
    if (event->sample >= end) {
      ++event;
      continue;
    }
    switch (event->kind) {
      case Event::kJitter:
        ++quality.jitterFixes;
        break;
      case Event::kRepair:
        ++quality.repairs;
        break;
      case Event::kSkip:
        // A skip behind this sector (none should be) is put here rather than dropped.
        quality.unreadable.push_back(std::max(event->sample, begin));
        skipped = true;
        break;
    }
    event = m_events.erase(event);
  }
  if (skipped) return;
  const auto index = size_t(sector - m_first);
  const uint8_t reads = index < m_reads.size() ? m_reads[index] : 0;
  const bool silent = std::all_of(data, data + kRawSectorBytes, [](uint8_t byte) { return byte == 0; });
  if (reads & kC2Marked) quality.c2Sectors.push_back(sector);
  if (!(reads & kReadOnce) || ((reads & kFailedOnce) && silent) || (reads & kC2Marked))
    quality.unreadable.push_back(begin);
  else if (reads & kFailedOnce)
    ++quality.repairs;  // a read error overcome
}

void SecureSectorSource::ForgetReads(int32_t near) {
  if (m_paranoia) cdio_paranoia_free(m_paranoia);
  m_paranoia = nullptr;
  m_next = -1;
  m_events.clear();
  m_reads.assign(m_reads.size(), 0);
  m_inner.ForgetReads(near);
}

long SecureSectorSource::ReadForParanoia(void* buffer, int32_t begin, long sectors) {
  if (sectors <= 0) return 0;
  const int32_t real = begin - kShift;
  if (!buffer) {
    // Paranoia moves the head here before it reads again what it has read, counting on the drive
    // to drop its cache then; not every drive does, and two reads from its cache agree however
    // wrong they are. A read far away empties it.
    m_inner.ForgetReads(std::clamp(real, m_first, m_last));
    return sectors;
  }
  auto* bytes = static_cast<uint8_t*>(buffer);
  long lead = 0;
  for (; lead < sectors && begin + lead < m_leadEnd; ++lead)
    FillLead(begin + int32_t(lead), bytes + lead * kRawSectorBytes);
  if (lead == sectors) return sectors;
  const int32_t from = real + int32_t(lead);
  const long count = sectors - lead;
  bytes += lead * kRawSectorBytes;
  if (m_quality) m_quality->sectorsRead += count;
  const auto note = [this](int32_t sector, uint8_t what) {
    const int64_t index = int64_t(sector) - m_first;
    if (index >= 0 && size_t(index) < m_reads.size()) m_reads[size_t(index)] |= what;
  };
  // A sector whose C2 pointers stayed set is marked for good: paranoia may have taken its bytes.
  ReadQuality inner;
  if (m_inner.ReadSectors(from, bytes, int32_t(count), inner)) {
    for (int32_t i = 0; i < int32_t(count); ++i) note(from + i, kReadOnce);
    for (const int64_t sample : inner.unreadable) note(int32_t(sample / kSamplesPerSector), kC2Marked);
    return sectors;
  }
  // Sector by sector, so that a bad sector costs that sector alone. It comes to paranoia as
  // silence and the rest as read: a short read would have paranoia take the rest of the request as
  // unread too, and at a start it asks for the same requests each time.
  for (int32_t i = 0; i < int32_t(count); ++i) {
    uint8_t* sector = bytes + size_t(i) * kRawSectorBytes;
    if (m_inner.ReadRawSectors(from + i, sector, 1)) {
      note(from + i, kReadOnce);
      continue;
    }
    std::memset(sector, 0, kRawSectorBytes);
    note(from + i, kFailedOnce);
  }
  return sectors;
}

void SecureSectorSource::Note(long wordPosition, int mode) {
  // Two 16-bit words a stereo sample.
  const int64_t sample = int64_t(wordPosition) / 2 - int64_t(kShift) * kSamplesPerSector;
  switch (mode) {
    case PARANOIA_CB_FIXUP_EDGE:
    case PARANOIA_CB_FIXUP_ATOM:
    case PARANOIA_CB_DRIFT:
      m_events.push_back({sample, Event::kJitter});
      break;
    case PARANOIA_CB_FIXUP_DROPPED:
    case PARANOIA_CB_FIXUP_DUPED:
    case PARANOIA_CB_SCRATCH:
    case PARANOIA_CB_REPAIR:
    case PARANOIA_CB_READERR:
      m_events.push_back({sample, Event::kRepair});
      break;
    case PARANOIA_CB_SKIP:
      m_events.push_back({sample, Event::kSkip});
      break;
    default:
      break;
  }
}

}  // namespace korvi
