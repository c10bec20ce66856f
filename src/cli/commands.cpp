#include "cli/commands.h"

#include <cstdio>
#include <ostream>

#include "cddb/disc_id.h"
#include "cli/options.h"
#include "disc/cd_device.h"
#include "disc/read_toc.h"
#include "disc/track_rows.h"

namespace korvi::cli {

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
    for (const std::string& line : DiscTextLines(disc.text)) out << line << '\n';
  return kExitOk;
}

}  // namespace korvi::cli
