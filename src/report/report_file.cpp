#include "report/report_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/fs_util.h"
#include "rip/file_names.h"

namespace korvi {
namespace {

// Room kept for an extension and a number such as " (12)", so that any name fits.
constexpr size_t kSuffixRoom = 16;
constexpr int kMaxNumber = 999;

bool LeavesNoName(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '.'; });
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

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
  for (int number = 1; number <= kMaxNumber; ++number) {
    const std::string path =
        stem + (number > 1 ? " (" + std::to_string(number) + ")" : std::string()) + extension;
    // O_EXCL claims the name: a file that appears meanwhile is not replaced either.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.Valid() && errno == EEXIST) continue;
    if (!fd.Valid()) return fail("cannot create " + path + ": " + std::strerror(errno));
    if (WriteAll(fd.Get(), bytes) && ::fsync(fd.Get()) == 0 && fd.Close()) return path;
    const int cause = errno;
    fd.Reset();
    ::unlink(path.c_str());
    return fail("cannot write " + path + ": " + std::strerror(cause));
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
