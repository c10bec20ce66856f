// korvi-cli lookup: the album and track titles of a disc, from the library or the lookup sources.

#include "cli/lookup_command.h"

#include <algorithm>
#include <ostream>

#include "common/cancel_token.h"
#include "cddb/cddb_server.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "disc/cd_device.h"
#include "disc/read_toc.h"
#include "disc/track_rows.h"
#include "library/lookup.h"
#include "settings/app_settings.h"
#include "settings/registry_store.h"
#include "text/utf8_text.h"

namespace korvi::cli {

DiscLookupResult LookUpDisc(const DiscLookupRequest& request, std::ostream& err) {
  LookupRequest lookup;
  lookup.drive = request.drive;
  lookup.libraryFolder = request.libraryFolder;
  lookup.server = CddbServerFromEnvironment();
  lookup.helloEmail = request.helloEmail;
  lookup.order = request.order;
  if (request.disc) lookup.disc = *request.disc;
  const int rows = request.rows ? request.rows->RowCount() : 0;
  for (int row = 0; row < rows; ++row)
    lookup.record.tracks.emplace_back(0, 0, NumberedTrackName(RowTrackNumber(lookup.disc, row)).c_str());
  LookupOutcome outcome = RunLookup(lookup, CancelToken::Create(), [](const std::string&) {});
  if (outcome.kind == LookupOutcome::kFailed) {
    err << "Failed to Get disc-info!\nkorvi-cli: " << outcome.cause << '\n';
    return {};
  }
  if (outcome.kind == LookupOutcome::kFromServer) {
    const std::vector<DiscCandidate>& found = outcome.candidates;
    if (found.size() > 1) {
      err << "korvi-cli: " << LookupSourceName(outcome.source) << " has " << found.size()
          << " matches for the disc:\n";
      for (size_t i = 0; i < found.size(); ++i)
        err << "  " << i + 1 << ". " << ReplaceControls(CandidateSummary(found[i]), ' ') << '\n';
    }
    if (request.pick > static_cast<int>(std::max<size_t>(found.size(), 1))) {
      err << "korvi-cli: --pick " << request.pick << ": there " << (found.size() == 1 ? "is " : "are ")
          << std::max<size_t>(found.size(), 1) << (found.size() > 1 ? " matches" : " match") << '\n';
      return {std::nullopt, true};
    }
    if (request.pick > 1) {
      outcome.record = lookup.record;
      ApplyCandidate(outcome.record, &found[size_t(request.pick - 1)], outcome.discId,
                     RowTrackNumber(lookup.disc, 0));
    }
    err << "korvi-cli: titles from " << LookupSourceName(outcome.source);
    if (found.size() > 1) err << ", match " << request.pick;
    err << '\n';
    std::string cause;
    if (request.save && outcome.record.SaveDiscInfo(request.libraryFolder, &cause) < 0)
      err << "korvi-cli: the disc-info could not be saved in " << request.libraryFolder << ": " << cause
          << '\n';
  }
  // Rows beyond the answer's titles keep their numbers.
  for (int row = static_cast<int>(outcome.record.tracks.size()); row < rows; ++row)
    outcome.record.tracks.emplace_back(0, 0, NumberedTrackName(RowTrackNumber(lookup.disc, row)).c_str());
  return {std::move(outcome.record), false};
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
  DiscLookupRequest request;
  request.drive = drive;
  request.disc = &disc;
  request.rows = &rows;
  request.libraryFolder = library;
  request.helloEmail = settings.CDDBEmail;
  request.order = ParseLookupOrder(settings.LookupOrder);
  request.save = settings.SaveLibraryAutomatically && !options->noSave;
  request.pick = options->pick;
  const DiscLookupResult result = LookUpDisc(request, err);
  if (!result.record) return kExitFailed;
  const CDiscInfo* record = &*result.record;
  out << record->albumTitle << '\n' << record->albumArtist << '\n';
  for (int row = 0; row < rows.RowCount(); ++row) out << record->tracks[size_t(row)].title() << '\n';
  return kExitOk;
}

}  // namespace korvi::cli
