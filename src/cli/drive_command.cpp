// korvi-cli drive and offset: what a drive says and does, and its read offset found from a disc in
// the AccurateRip database.

#include <algorithm>
#include <ostream>

#include "cli/commands.h"
#include "cli/options.h"
#include "disc/cd_device.h"
#include "disc/drive_facts.h"
#include "disc/offset_reader.h"
#include "disc/read_toc.h"
#include "disc/track_rows.h"
#include "settings/app_settings.h"
#include "settings/drive_read_offset.h"
#include "settings/registry_store.h"
#include "verify/accuraterip_ids.h"
#include "verify/accuraterip_lookup.h"
#include "verify/drive_offset_list.h"
#include "verify/offset_search.h"

namespace korvi::cli {
namespace {

constexpr size_t kSampleBytes = 4;
constexpr int32_t kSamplesPerSector = kRawSectorBytes / kSampleBytes;
constexpr int kSearchTracks = 3;

std::string Signed(int32_t value) { return (value > 0 ? "+" : "") + std::to_string(value); }

struct OpenDrive {
  DriveOptions options;
  std::unique_ptr<CdDevice> device;
  DriveIdentity identity;
};

// The command's options, its drive and what the drive calls itself; nullopt with *status set for
// a usage error, an image, or a drive that does not answer.
std::optional<OpenDrive> OpenForFacts(const std::string& command, const std::vector<std::string>& args,
                                      std::ostream& err, int* status) {
  std::string error;
  OpenDrive open;
  std::optional<DriveOptions> options = ParseDriveOptions(command, args, error);
  *status = options ? kExitFailed : kExitUsage;
  if (options) open.device = CdDevice::Open(options->drive, &error);
  std::optional<DriveIdentity> identity = open.device ? ReadDriveIdentity(*open.device, &error) : std::nullopt;
  if (!identity) {
    err << "korvi-cli: " << error << '\n';
    return std::nullopt;
  }
  open.options = std::move(*options);
  open.identity = std::move(*identity);
  return open;
}

std::string CacheText(const DriveCache& cache) {
  if (!cache.measured) return "not measured (the disc could not be read)";
  if (!cache.cachesAudio) return "none found";
  const std::string size = std::to_string(cache.sectors) + " sectors (" +
                           std::to_string(int64_t(cache.sectors) * kRawSectorBytes / 1024) + " KiB)";
  return cache.sizeIsLowerBound ? "at least " + size : size;
}

std::string FuaText(const DriveFua& fua, const DriveCache& cache) {
  if (!fua.works) return "not supported for audio";
  if (!cache.cachesAudio) return "supported (no cache found to bypass)";
  return fua.bypassesCache ? "bypass the cache" : "do not bypass the cache";
}

std::optional<std::pair<int32_t, int32_t>> AudioSpan(const TrackRowTable& rows) {
  if (rows.RowCount() == 0) return std::nullopt;
  return std::make_pair(RowSpan(rows, 0).begin, RowSpan(rows, rows.RowCount() - 1).end + 1);
}

// The settings and the store they came from.
struct UserSettings {
  UserFolders folders = UserFolders::FromEnvironment();
  CAppSettings settings{folders};
  RegistryStore store = RegistryStore::OpenForUser(folders);
  UserSettings() { settings.LoadFromRegistry(store); }
};

// Sectors first to first + count, zeros where the drive cannot read them (before the disc, past its end).
std::vector<uint8_t> ReadSpan(CdDevice& device, int32_t first, int32_t count, int32_t leadOut) {
  constexpr int32_t kBatch = 25;
  std::vector<uint8_t> bytes(size_t(count) * kRawSectorBytes, 0);
  for (int32_t at = first; at < first + count; at += kBatch) {
    const int32_t n = std::min(kBatch, first + count - at);
    if (at >= 0 && at + n <= leadOut &&
        device.ReadRawSectors(at, bytes.data() + size_t(at - first) * kRawSectorBytes, n))
      continue;
    for (int32_t sector = std::max(at, 0); sector < std::min(at + n, leadOut); ++sector)
      device.ReadRawSectors(sector, bytes.data() + size_t(sector - first) * kRawSectorBytes, 1);
  }
  return bytes;
}

// Rows to read: the middle tracks first, whose sums have no edges left out.
std::vector<int> SearchRows(int rowCount) {
  std::vector<int> rows;
  for (int row = 1; row + 1 < rowCount && int(rows.size()) < kSearchTracks; ++row) rows.push_back(row);
  for (const int row : {0, rowCount - 1})
    if (int(rows.size()) < kSearchTracks && std::find(rows.begin(), rows.end(), row) == rows.end()) rows.push_back(row);
  std::sort(rows.begin(), rows.end());
  return rows;
}

OffsetSearchTrack ReadSearchTrack(CdDevice& device, const TrackRowTable& rows, int row, int32_t leadOut) {
  const TrackSpan span = RowSpan(rows, row);
  OffsetSearchTrack track;
  track.track = row + 1;
  track.first = row == 0;
  track.last = row + 1 == rows.RowCount();
  track.samples = uint32_t(span.end - span.begin + 1) * kSamplesPerSector;
  track.margin = kMaxReadOffset;
  const int32_t marginSectors = (kMaxReadOffset + kSamplesPerSector - 1) / kSamplesPerSector;
  const int32_t first = span.begin - marginSectors;
  const std::vector<uint8_t> bytes = ReadSpan(device, first, span.end - span.begin + 1 + 2 * marginSectors, leadOut);
  const size_t skip = size_t(marginSectors * kSamplesPerSector - kMaxReadOffset) * kSampleBytes;
  track.audio.assign(bytes.begin() + long(skip),
                     bytes.begin() + long(skip + (size_t(track.samples) + 2 * size_t(track.margin)) * kSampleBytes));
  return track;
}

std::string MatchText(const OffsetMatch& match, int tracksRead) {
  std::string text = "offset " + Signed(match.offset) + ": " + std::to_string(match.tracks.size()) + " of " +
                     std::to_string(tracksRead) + " tracks matched (";
  for (size_t i = 0; i < match.tracks.size(); ++i)
    text += (i ? ", " : "") + std::string("track ") + std::to_string(match.tracks[i]) + " v" +
            std::to_string(match.versions[i]) + " confidence " + std::to_string(match.confidences[i]);
  return text + ")";
}

}  // namespace

int Drive(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  int status = kExitOk;
  std::optional<OpenDrive> open = OpenForFacts("drive", args, err, &status);
  if (!open) return status;
  std::string error;
  const UserSettings user;
  const std::string model = DriveModelName(open->identity);
  const DriveReadOffset offset = ReadOffsetOfModel(user.store, user.settings, model, true);
  out << "vendor: " << open->identity.vendor << '\n'
      << "model: " << open->identity.model << '\n'
      << "revision: " << open->identity.revision << '\n'
      << "read offset: "
      << (offset.source == ReadOffsetSource::kNotKnown ? std::string("not known (korvi-cli offset finds it)")
                                                       : Signed(offset.offset) + " (" +
                                                             ReadOffsetSourceText(offset.source) + ")")
      << '\n';
  if (offset.source == ReadOffsetSource::kNotKnown && !offset.problem.empty())
    err << "korvi-cli: " << offset.problem << '\n';

  DiscToc disc;
  TrackRowTable rows;
  const std::optional<std::pair<int32_t, int32_t>> audio =
      ReadTocIntoRows(open->device.get(), disc, rows) == 0 ? AudioSpan(rows) : std::nullopt;
  if (!audio) {
    out << "C2 error pointers: " << (ReadC2Support(*open->device) ? "yes" : "no") << '\n'
        << "audio cache: not measured (no audio disc)\nFUA reads: not tried (no audio disc)\n";
    return kExitOk;
  }
  const std::optional<DriveFacts> facts = GatherDriveFacts(*open->device, audio->first, audio->second, &error);
  if (!facts) {
    err << "korvi-cli: " << error << '\n';
    return kExitFailed;
  }
  out << "C2 error pointers: " << (facts->c2Pointers ? "yes" : "no") << '\n'
      << "audio cache: " << CacheText(facts->cache) << '\n'
      << "FUA reads: " << FuaText(facts->fua, facts->cache) << '\n';
  return kExitOk;
}

int Offset(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  int status = kExitOk;
  std::optional<OpenDrive> open = OpenForFacts("offset", args, err, &status);
  if (!open) return status;
  DiscToc disc;
  TrackRowTable rows;
  const std::optional<AccurateRipIds> ids = ReadAudioDisc(*open->device, disc, rows, err);
  if (!ids) return kExitFailed;
  AccurateRipLookup lookup(*ids);
  UserSettings user;
  const DriveOffsetListCopy list = LoadDriveOffsetList(user.settings.DefaultLibFolder);
  if (!list.problem.empty()) err << "korvi-cli: " << list.problem << '\n';
  // The offsets of most drives; the rest of the list is rare enough for the search of every offset.
  constexpr size_t kListedOffsets = 32;
  std::vector<int32_t> tryFirst = list.list ? list.list->PopularOffsets() : std::vector<int32_t>{};
  tryFirst.resize(std::min(tryFirst.size(), kListedOffsets));
  tryFirst.push_back(0);

  const int32_t leadOut = RowSpan(rows, rows.RowCount() - 1).end + 1;
  std::vector<OffsetSearchTrack> tracks;
  for (const int row : SearchRows(rows.RowCount())) tracks.push_back(ReadSearchTrack(*open->device, rows, row, leadOut));
  const AccurateRipAnswer& answer = lookup.Wait();
  if (answer.kind != AccurateRipAnswer::Kind::kFound) {
    err << "korvi-cli: AccurateRip: "
        << (answer.kind == AccurateRipAnswer::Kind::kNotInDatabase ? "the disc is not in the database"
                                                                    : "not reachable: " + answer.error)
        << "; another disc may be\n";
    return kExitFailed;
  }
  const std::vector<OffsetMatch> matches = FindReadOffsets(tracks, answer.pressings, *ids, tryFirst);
  if (matches.empty()) {
    err << "korvi-cli: no offset from " << -kMaxReadOffset << " to " << Signed(kMaxReadOffset)
        << " matches the database's checksums of this disc; another disc may\n";
    return kExitFailed;
  }
  out << MatchText(matches.front(), int(tracks.size())) << '\n';
  for (size_t i = 1; i < matches.size(); ++i) err << "korvi-cli: also " << MatchText(matches[i], int(tracks.size())) << '\n';
  if (open->options.save) {
    const std::string model = DriveModelName(open->identity);
    if (!SaveModelReadOffset(user.store, model, matches.front().offset)) {
      err << "korvi-cli: the offset could not be saved in your settings\n";
      return kExitFailed;
    }
    out << "saved as your setting for " << model << '\n';
  }
  return kExitOk;
}

}  // namespace korvi::cli
