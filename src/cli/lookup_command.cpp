// korvi-cli lookup: the album and track titles of a disc, from the library or the CDDB server.

#include "cli/lookup_command.h"

#include <ostream>

#include "cddb/cancel_token.h"
#include "cddb/cddb_server.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "disc/cd_device.h"
#include "disc/read_toc.h"
#include "disc/track_rows.h"
#include "library/lookup.h"
#include "settings/app_settings.h"
#include "settings/registry_store.h"

namespace korvi::cli {

std::optional<CDiscInfo> LookUpDisc(const std::string& drive, const ITrackRows& rows,
                                    const std::string& libraryFolder, const std::string& helloEmail,
                                    bool save, std::ostream& err) {
  LookupRequest request;
  request.drive = drive;
  request.libraryFolder = libraryFolder;
  request.server = CddbServerFromEnvironment();
  request.helloEmail = helloEmail;
  for (int row = 0; row < rows.RowCount(); ++row)
    request.record.tracks.emplace_back(0, 0, ("Track " + std::to_string(row + 1)).c_str());
  LookupOutcome outcome = RunLookup(request, CCDDBCancelToken::Create(), [](const std::string&) {});
  if (outcome.kind == LookupOutcome::kFailed) {
    err << "Failed to Get disc-info!\nkorvi-cli: " << outcome.cause << '\n';
    return std::nullopt;
  }
  if (outcome.kind == LookupOutcome::kFromServer && save && outcome.record.SaveDiscInfo(libraryFolder) < 0)
    err << "korvi-cli: the disc-info could not be saved in " << libraryFolder << '\n';
  // Rows beyond the entry's titles keep their numbers.
  for (int row = static_cast<int>(outcome.record.tracks.size()); row < rows.RowCount(); ++row)
    outcome.record.tracks.emplace_back(0, 0, ("Track " + std::to_string(row + 1)).c_str());
  return outcome.record;
}

int Lookup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string error;
  const std::optional<LookupOptions> options = ParseLookupOptions(args, error);
  if (!options) {
    err << "korvi-cli: " << error << '\n';
    return kExitUsage;
  }
  const std::string& drive = options->drive;
  std::string library = options->library;
  const UserFolders folders = UserFolders::FromEnvironment();
  CAppSettings settings(folders);
  settings.LoadFromRegistry(RegistryStore::OpenForUser(folders));
  if (library.empty()) library = settings.DefaultLibFolder;

  std::unique_ptr<CdDevice> device = CdDevice::Open(drive, &error);
  DiscToc disc;
  TrackRowTable rows;
  if (!device || ReadTocIntoRows(device.get(), disc, rows) != 0) {
    err << "Failed to Get disc-info!\nkorvi-cli: " << (device ? device->lastError() : error) << '\n';
    return kExitFailed;
  }
  const auto record = LookUpDisc(drive, rows, library, settings.CDDBEmail,
                                 settings.SaveLibraryAutomatically && !options->noSave, err);
  if (!record) return kExitFailed;
  out << record->albumTitle << '\n' << record->albumArtist << '\n';
  for (int row = 0; row < rows.RowCount(); ++row) out << record->tracks[size_t(row)].title() << '\n';
  return kExitOk;
}

}  // namespace korvi::cli
