#include "cli/commands.h"

#include <cstdio>
#include <ostream>

#include "cddb/disc_id.h"
#include "cli/options.h"
#include "disc/cd_device.h"
#include "disc/read_toc.h"
#include "disc/track_rows.h"

namespace korvi::cli {

std::string NoListedTrackText(int number, const DiscToc& disc, int rowCount) {
  const std::string text = "the disc has no audio track " + std::to_string(number);
  if (rowCount < 1) return text + "; it lists none";
  const int first = RowTrackNumber(disc, 0);
  const int last = RowTrackNumber(disc, rowCount - 1);
  if (first == last) return text + "; it lists audio track " + std::to_string(first);
  return text + "; it lists audio tracks " + std::to_string(first) + " to " + std::to_string(last);
}

std::optional<AccurateRipIds> ReadAudioDisc(CdDevice& device, DiscToc& disc, TrackRowTable& rows, std::ostream& err) {
  if (ReadTocIntoRows(&device, disc, rows) != 0) {
    err << "korvi-cli: " << device.lastError() << '\n';
    return std::nullopt;
  }
  std::optional<AccurateRipIds> ids = AccurateRipIdsOf(disc);
  if (!ids || rows.RowCount() == 0) {
    err << "korvi-cli: the disc has no audio track\n";
    return std::nullopt;
  }
  return ids;
}

int Drives(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (std::string error; !ParseDrivesOptions(args, error)) {
    err << "korvi-cli: " << error << '\n';
    return kExitUsage;
  }
  for (const std::string& drive : EnumerateDrives()) out << drive << '\n';
  return kExitOk;
}

int Toc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string error;
  const std::optional<TocOptions> options = ParseTocOptions(args, error);
  if (!options) {
    err << "korvi-cli: " << error << '\n';
    return kExitUsage;
  }
  std::unique_ptr<CdDevice> device = CdDevice::Open(options->drive, &error);
  if (!device) {
    err << "korvi-cli: " << error << '\n';
    return kExitFailed;
  }
  DiscToc disc;
  TrackRowTable rows;
  if (ReadTocIntoRows(device.get(), disc, rows) != 0) {
    err << "korvi-cli: " << device->lastError() << '\n';
    return kExitFailed;
  }
  for (const TrackRowTable::Row& row : rows.rows())
    out << row.texts[kColumnName] << '\t' << row.texts[kColumnLength] << '\t' << row.texts[kColumnBegin]
        << '\t' << row.texts[kColumnEnd] << '\n';
  std::vector<CCDDBTrackPosition> positions;
  if (TrackPositionsFromToc(disc.toc, positions)) {
    char id[16];
    std::snprintf(id, sizeof id, "%08x", ComputeDiscId(positions));
    out << "discid " << id << '\n';
  }
  if (options->cdText)
    for (const std::string& line : DiscTextLines(disc.text, disc.toc.FirstTrack)) out << line << '\n';
  return kExitOk;
}

}  // namespace korvi::cli
