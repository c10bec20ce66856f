#pragma once
// Each format's writer, for the formats of the table in formats/output_format.h.

#include <functional>
#include <memory>
#include <string>

#include "formats/output_format.h"

namespace korvi {

class COutputMediaFile;
class CTrackInfo;

// What a writer is made from: the format options, and how the MP3 writer shows a message (a
// missing encoder module), returning once it has been seen; called on the rip worker's thread.
struct WriterOptions : FormatOptions {
  std::function<void(const std::string& text)> showError;
};

// The writer of a format's file at path; null for a number that is not a format.
std::unique_ptr<COutputMediaFile> MakeWriter(int32_t format, const std::string& path, const WriterOptions& options,
                                             const CTrackInfo* track);
// The format and the settings its files are made with, for the rip log: "FLAC, level 5".
std::string DescribeWriter(int32_t format, const WriterOptions& options);

}  // namespace korvi
