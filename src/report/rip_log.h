#pragma once
// The rip's log: a UTF-8 text beside the audio files that says how the disc was read and how
// each track came out, ending in a summary.

#include <optional>
#include <string>

#include "report/rip_report.h"

namespace korvi {

// The text of the log.
std::string RipLogText(const RipReport& report);

// The summary that ends the log: "All tracks accurately ripped", or "N of M tracks accurately
// ripped" and a line for each track that was not; then "The rip was stopped" when it was.
std::string RipLogSummary(const RipReport& report);

// Writes the log into folder as "<album artist> - <album title>.log" (or "<disc id>.log"),
// numbered rather than replacing a file. The path written, or nullopt with the cause in *error.
std::optional<std::string> WriteRipLog(const RipReport& report, const std::string& folder,
                                       std::string* error);

}  // namespace korvi
