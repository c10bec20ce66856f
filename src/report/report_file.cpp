#include "report/report_file.h"

#include <cstdio>

#include "common/staged_file.h"
#include "text/file_names.h"

namespace korvi {
namespace {

// Room kept for an extension and a number such as " (12)", so that any name fits.
constexpr size_t kSuffixRoom = 16;
constexpr int kMaxNumber = 999;

}  // namespace

std::string ReportBaseName(const RipReport& report) {
  std::string name;
  if (!LeavesNoName(report.albumTitle))
    name =
        LeavesNoName(report.albumArtist) ? report.albumTitle : report.albumArtist + " - " + report.albumTitle;
  else
    name = LeavesNoName(report.discId) ? "Unknown disc" : report.discId;
  return TitleToFileName(name, 0, kSuffixRoom);
}

std::optional<std::string> WriteNewReportFile(const std::string& folder, const std::string& baseName,
                                              const std::string& extension, std::string_view bytes,
                                              std::string* error) {
  auto fail = [error](const std::string& message) -> std::optional<std::string> {
    if (error) *error = message;
    return std::nullopt;
  };
  std::string stem = folder;
  if (!stem.empty() && stem.back() != '/') stem += '/';
  stem += baseName;
  const auto pathOf = [&](int number) {
    return stem + (number > 1 ? " (" + std::to_string(number) + ")" : std::string()) + extension;
  };
  std::string cause;
  std::optional<StagedFile> file = StagedFile::Create(pathOf(1), 0666, &cause);
  if (!file || !file->Write(bytes, &cause)) return fail(pathOf(1) + ": " + cause);
  for (int number = 1; number <= kMaxNumber; ++number) {
    file->Retarget(pathOf(number));
    // Moved in only where the name is free: an existing file is never replaced, not even one
    // that appears meanwhile.
    bool taken = false;
    if (file->CommitAsNew(&taken, &cause)) return pathOf(number);
    if (!taken) return fail(pathOf(number) + ": " + cause);
  }
  return fail("cannot write " + stem + extension + ": every numbered name up to " +
              std::to_string(kMaxNumber) + " is taken");
}

std::string SectorsAsTime(int32_t sectors) {
  if (sectors < 0) sectors = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d.%02d", sectors / 4500, (sectors / 75) % 60, sectors % 75);
  return text;
}

}  // namespace korvi
