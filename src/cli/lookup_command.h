#pragma once
// The disc-info lookup for the command-line tool, shared by `lookup` and `rip --lookup`.

#include <iosfwd>
#include <optional>
#include <string>

#include "library/disc_info.h"

namespace korvi {
class ITrackRows;
}

namespace korvi::cli {

// Looks the disc up (library, then server, whose hello carries helloEmail when it is set), one
// record per listed row; saves a server's answer into libraryFolder when save is set. Nullopt
// after "Failed to Get disc-info!" on err.
std::optional<CDiscInfo> LookUpDisc(const std::string& drive, const ITrackRows& rows,
                                    const std::string& libraryFolder, const std::string& helloEmail,
                                    bool save, std::ostream& err);

}  // namespace korvi::cli
