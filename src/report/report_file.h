#pragma once
// The names and the writing of the files a rip leaves beside its audio files.

#include <optional>
#include <string>
#include <string_view>

#include "report/rip_report.h"

namespace korvi {

// "<album artist> - <album title>", just the title when there is no artist, or the disc id when
// there is no title; made safe the way track file names are.
std::string ReportBaseName(const RipReport& report);

// Writes bytes under a hidden temporary name in folder, synced, and moves them to
// <baseName><extension>, or to "<baseName> (2)<extension>", " (3)"... when that name is taken: an
// existing file is never replaced, and no half-written file ever has the name.
// The path written, or nullopt with the cause in *error (and no file left behind).
std::optional<std::string> WriteNewReportFile(const std::string& folder, const std::string& baseName,
                                              const std::string& extension, std::string_view bytes,
                                              std::string* error);

// Sectors as m:ss.ff, 75 frames a second.
std::string SectorsAsTime(int32_t sectors);

}  // namespace korvi
