// korvi-cli verify: an earlier rip's WAV files, checked against AccurateRip as a rip checks them.

#include <filesystem>
#include <optional>
#include <ostream>
#include <vector>

#include "cddb/disc_id.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "disc/cd_device.h"
#include "disc/read_toc.h"
#include "disc/track_rows.h"
#include "library/disc_info.h"
#include "text/file_names.h"
#include "settings/app_settings.h"
#include "settings/registry_store.h"
#include "verify/accuraterip_lookup.h"
#include "verify/track_sums.h"
#include "verify/wave_audio_reader.h"

namespace korvi::cli {
namespace {

constexpr const char* kWaveExtension = ".wav";
constexpr size_t kReadBytes = 1 << 16;

struct TrackChecksums {
  uint32_t v1 = 0;
  uint32_t v2 = 0;
};

// The names a rip gives the file of the disc's track `number`, listed in `row`: the library's title
// first (a rip with --lookup), then the plain number (a rip without); one name when they agree.
std::vector<std::string> CandidatePaths(const std::string& folder, const std::optional<CDiscInfo>& record,
                                        int row, int number) {
  const std::string numbered = OutputPath(folder, NumberedTrackName(number), number, kWaveExtension);
  std::vector<std::string> paths;
  if (record && size_t(row) < record->tracks.size()) {
    const std::string titled =
        OutputPath(folder, record->tracks[size_t(row)].title(), number, kWaveExtension);
    if (titled != numbered) paths.push_back(titled);
  }
  paths.push_back(numbered);
  return paths;
}

std::optional<std::string> FirstExisting(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    std::error_code error;
    if (std::filesystem::exists(path, error)) return path;
  }
  return std::nullopt;
}

// The AccurateRip checksums of a track's WAV file, which must hold CD audio of exactly the track's
// length; else nullopt and why in problem, naming the file.
std::optional<TrackChecksums> SumWaveFile(const std::string& path, bool firstTrack, bool lastTrack,
                                          uint64_t trackBytes, std::string& problem) {
  WaveAudioReader reader;
  if (!reader.Open(path)) {
    problem = reader.Error();
    return std::nullopt;
  }
  if (!reader.Format().IsCdAudio()) {
    problem = path + ": not CD audio (44100 Hz, 16-bit, 2 channels PCM) but " + reader.Format().Text();
    return std::nullopt;
  }
  constexpr uint64_t kBytesPerSample = 4;  // a stereo sample: two 16-bit values
  if (reader.DataBytes() != trackBytes) {
    problem = path + ": holds " + std::to_string(reader.DataBytes() / kBytesPerSample) +
              " samples, the track " + std::to_string(trackBytes / kBytesPerSample);
    return std::nullopt;
  }
  TrackSums sums(firstTrack, lastTrack);
  std::vector<uint8_t> buffer(kReadBytes);
  while (const size_t got = reader.Read(buffer.data(), buffer.size())) sums.Feed(buffer.data(), got);
  if (!reader.Error().empty()) {
    problem = reader.Error();
    return std::nullopt;
  }
  return TrackChecksums{sums.AccurateRipV1(), sums.AccurateRipV2()};
}

// The library's record of the disc, one track per row, when the library has the disc.
std::optional<CDiscInfo> RecordInLibrary(const DiscToc& disc, const ITrackRows& rows,
                                         const std::string& folder) {
  CDiscInfo record;
  for (int row = 0; row < rows.RowCount(); ++row)
    record.tracks.emplace_back(0, 0, NumberedTrackName(RowTrackNumber(disc, row)).c_str());
  if (folder.empty() || !FindInLibrary(DiscIdOf(disc.toc), folder, record)) return std::nullopt;
  return record;
}

}  // namespace

int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string error;
  const std::optional<VerifyOptions> options = ParseVerifyOptions(args, error);
  if (!options) {
    err << "korvi-cli: " << error << '\n';
    return kExitUsage;
  }
  std::string library = options->library;
  if (library.empty()) {
    const UserFolders folders = UserFolders::FromEnvironment();
    CAppSettings settings(folders);
    settings.LoadFromRegistry(RegistryStore::OpenForUser(folders));
    library = settings.DefaultLibFolder;
  }

  std::unique_ptr<CdDevice> device = CdDevice::Open(options->drive, &error);
  DiscToc disc;
  TrackRowTable rows;
  if (!device) {
    err << "korvi-cli: " << error << '\n';
    return kExitFailed;
  }
  const std::optional<AccurateRipIds> ids = ReadAudioDisc(*device, disc, rows, err);
  if (!ids) return kExitFailed;
  // Asked now, so that the answer comes while the files are read.
  AccurateRipLookup lookup(*ids);
  const std::optional<CDiscInfo> record = RecordInLibrary(disc, rows, library);

  std::vector<std::optional<TrackChecksums>> checksums;
  for (int row = 0; row < rows.RowCount(); ++row) {
    const int number = RowTrackNumber(disc, row);
    const std::vector<std::string> paths = CandidatePaths(options->folder, record, row, number);
    const std::optional<std::string> path = FirstExisting(paths);
    checksums.emplace_back();
    if (!path) {
      err << "korvi-cli: track " << number << ": no file " << paths.front();
      for (size_t i = 1; i < paths.size(); ++i) err << " or " << paths[i];
      err << '\n';
      continue;
    }
    const TrackSpan span = RowSpan(rows, row);
    const uint64_t trackBytes = uint64_t(span.end - span.begin + 1) * kRawSectorBytes;
    std::string problem;
    // AccurateRip counts the disc's audio tracks from 1, whatever their numbers.
    checksums.back() = SumWaveFile(*path, row == 0, row + 1 == ids->audioTracks, trackBytes, problem);
    if (!checksums.back()) err << "korvi-cli: track " << number << ": " << problem << '\n';
  }

  const AccurateRipAnswer& answer = lookup.Wait();
  if (answer.kind == AccurateRipAnswer::Kind::kNotReachable && !answer.error.empty())
    err << "korvi-cli: AccurateRip: " << answer.error << '\n';
  int accurate = 0;
  for (size_t i = 0; i < checksums.size(); ++i) {
    if (!checksums[i]) continue;
    const AccurateRipResult result =
        AccurateRipResultOf(answer, *ids, int(i) + 1, checksums[i]->v1, checksums[i]->v2);
    out << "AccurateRip track " << RowTrackNumber(disc, int(i)) << ": " << result.Text() << '\n';
    accurate += result.status == AccurateRipResult::Status::kAccurate ? 1 : 0;
  }
  err << "korvi-cli: "
      << AccurateRipSummary(accurate, rows.RowCount(), answer.kind != AccurateRipAnswer::Kind::kNotReachable)
      << '\n';
  return accurate == rows.RowCount() ? kExitOk : kExitFailed;
}

}  // namespace korvi::cli
