#pragma once
// The disc-info lookup for the command-line tool, shared by `lookup` and `rip --lookup`.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "disc/cdrom_toc.h"
#include "library/disc_info.h"
#include "metadata/lookup_order.h"

namespace korvi {
class ITrackRows;
}

namespace korvi::cli {

struct DiscLookupRequest {
  std::string drive;
  const DiscToc* disc = nullptr;  // as read from drive, with its CD-Text
  const ITrackRows* rows = nullptr;
  std::string libraryFolder;
  std::string helloEmail;  // for the CDDB server's hello; empty: the login and host names
  std::vector<LookupSource> order = AllLookupSources();
  bool save = false;  // an answer of a source goes into the library
  int pick = 1;       // which of several answers, from 1
};

struct DiscLookupResult {
  std::optional<CDiscInfo> record;  // none after "Failed to Get disc-info!" on err, or a bad pick
  bool pickBeyondMatches = false;
};

// Looks the disc up (library, then the sources in order), one record per listed row. Several
// answers are listed on err, numbered, and the one picked is taken; the source that answered is
// named there too.
DiscLookupResult LookUpDisc(const DiscLookupRequest& request, std::ostream& err);

}  // namespace korvi::cli
