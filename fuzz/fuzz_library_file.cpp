// CDiscInfo::LoadDiscInfo on arbitrary library files. The input is the file of one disc id in a
// folder of this process; its last byte also picks the record it is loaded into (none, as many
// tracks as the file says, one more, or twelve), so a file meets records it fits and ones it
// does not.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz_checks.h"
#include "library/disc_info.h"

namespace {

constexpr uint32_t kDiscId = 0x0B016602;
constexpr size_t kMaxTextBytes = 255;
constexpr size_t kCountOffset = 532;

const std::string& LibraryFolder() {
  static const korvi::fuzz::RunFolder folder("library");
  return folder.Path();
}

int32_t StatedCount(std::string_view file) {
  if (file.size() < kCountOffset + 4) return 3;
  uint32_t count = 0;
  for (int i = 0; i < 4; ++i) count |= uint32_t(static_cast<uint8_t>(file[kCountOffset + i])) << (8 * i);
  return count <= 99 ? int32_t(count) : 3;
}

korvi::CDiscInfo RecordFor(std::string_view file) {
  korvi::CDiscInfo record;
  const int mode = file.empty() ? 0 : static_cast<uint8_t>(file.back()) & 3;
  const int32_t tracks = mode == 0   ? 0
                         : mode == 1 ? StatedCount(file)
                         : mode == 2 ? StatedCount(file) + 1
                                     : 12;
  record.albumTitle = "Before";
  record.discId = 0x12345678;
  for (int32_t i = 0; i < tracks; ++i) {
    korvi::CTrackInfo track(1000 * i, 1000 * i + 999, ("Track " + std::to_string(i + 1)).c_str());
    track.comment = "kept";
    record.tracks.push_back(track);
  }
  return record;
}

bool SameTrack(const korvi::CTrackInfo& a, const korvi::CTrackInfo& b) {
  return a.title() == b.title() && a.album == b.album && a.artist == b.artist && a.year == b.year &&
         a.comment == b.comment && a.begin() == b.begin() && a.end() == b.end();
}

bool SameRecord(const korvi::CDiscInfo& a, const korvi::CDiscInfo& b) {
  if (a.albumTitle != b.albumTitle || a.albumArtist != b.albumArtist || a.discLength != b.discLength ||
      a.discId != b.discId || a.tracks.size() != b.tracks.size())
    return false;
  for (size_t i = 0; i < a.tracks.size(); ++i)
    if (!SameTrack(a.tracks[i], b.tracks[i])) return false;
  return true;
}

// A text that saving writes back byte for byte: UTF-8, no NUL, within its field.
void CheckText(const std::string& text) {
  korvi::fuzz::RequireUtf8(text);
  korvi::fuzz::Require(text.size() <= kMaxTextBytes && text.find('\0') == std::string::npos);
}

void CheckLoaded(const korvi::CDiscInfo& before, const korvi::CDiscInfo& loaded, int32_t consumed,
                 size_t fileSize) {
  using korvi::fuzz::Require;
  const size_t count = loaded.tracks.size();
  Require(count <= 99 && size_t(consumed) == korvi::kLibraryHeaderBytes + korvi::kLibraryTrackBytes * count);
  Require(size_t(consumed) <= fileSize);
  Require(before.tracks.empty() || before.tracks.size() == count);
  CheckText(loaded.albumTitle);
  CheckText(loaded.albumArtist);
  for (size_t i = 0; i < count; ++i) {
    const korvi::CTrackInfo& track = loaded.tracks[i];
    for (const std::string& text : {track.title(), track.album, track.artist, track.comment}) CheckText(text);
    // The file holds no sector ranges: those of the disc stay.
    if (!before.tracks.empty())
      Require(track.begin() == before.tracks[i].begin() && track.end() == before.tracks[i].end());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const std::string& folder = LibraryFolder();
  // A new file each time: overwriting one in place makes some file systems flush it at close.
  unlink(korvi::LibraryFileName(folder, kDiscId).c_str());
  {
    std::ofstream out(korvi::LibraryFileName(folder, kDiscId), std::ios::binary);
    out.write(file.data(), std::streamsize(file.size()));
    if (!out.flush()) std::abort();
  }
  const korvi::CDiscInfo before = RecordFor(file);
  korvi::CDiscInfo record = before;
  const int32_t consumed = record.LoadDiscInfo(folder, kDiscId);
  if (consumed < 0)
    korvi::fuzz::Require(consumed == -1 && SameRecord(record, before));
  else
    CheckLoaded(before, record, consumed, size);
  return 0;
}
