// AccurateRip's drive list as kept in the library folder and fetched from the server.
#include "verify/drive_offset_list.h"

#include <filesystem>

#include "common/fs_util.h"
#include "net/accuraterip_fetch.h"

namespace korvi {

DriveOffsetListCopy LoadDriveOffsetList(const std::string& libraryFolder, bool askServer, std::chrono::hours maxAge) {
  DriveOffsetListCopy copy;
  const std::string path = libraryFolder.empty() ? std::string() : libraryFolder + "/" + kDriveOffsetListFile;
  std::optional<DriveOffsetList> kept;
  bool fresh = false;
  if (!path.empty()) {
    const FileContents file = ReadSmallFile(path, kMaxDriveOffsetListBytes);
    if (file.status == ReadStatus::Ok) kept = DriveOffsetList::Parse(file.bytes);
    std::error_code error;
    const auto written = std::filesystem::last_write_time(path, error);
    fresh = kept && !error && std::filesystem::file_time_type::clock::now() - written < maxAge;
  }
  if (fresh || (kept && !askServer)) return copy.list = std::move(kept), copy;
  if (!askServer) return copy.problem = "AccurateRip's drive list: no copy in the library folder", copy;

  HttpLimits limits = AccurateRipLimits();
  limits.maxBodyBytes = kMaxDriveOffsetListBytes;
  AccurateRipFetch fetch = FetchAccurateRip(kDriveOffsetListPath, nullptr, limits);
  std::string problem;
  if (fetch.kind == AccurateRipFetch::Kind::kFound) {
    const std::string_view bytes(reinterpret_cast<const char*>(fetch.bytes.data()), fetch.bytes.size());
    copy.list = DriveOffsetList::Parse(bytes, &problem);
    if (copy.list) {
      if (!path.empty()) ReplaceFileAtomically(path, bytes);
      return copy;
    }
  } else {
    problem = fetch.kind == AccurateRipFetch::Kind::kNotInDatabase ? "the server has no drive list" : fetch.error;
  }
  copy.problem = "AccurateRip's drive list: " + problem;
  if (kept) {
    copy.list = std::move(kept);
    copy.problem += "; an older copy was used";
  }
  return copy;
}

}  // namespace korvi
