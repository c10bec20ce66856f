#include "library/disc_info.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "common/fs_util.h"
#include "text/utf8_text.h"

namespace korvi {
namespace {

constexpr char kMagic[8] = {'K', 'O', 'R', 'V', 'I', 'R', 'I', 'P'};
constexpr size_t kTextBytes = 256;

void PutInt(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

int32_t GetInt(const char* at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= uint32_t(static_cast<uint8_t>(at[i])) << (8 * i);
  return static_cast<int32_t>(value);
}

// What a field keeps of a text: up to its first NUL, cut to 255 bytes (the last byte of the
// field ends the text) without splitting a UTF-8 character.
std::string_view FieldText(std::string_view text) {
  return CutUtf8(text.substr(0, text.find('\0')), kTextBytes - 1);
}

// The text zero-padded to 256.
void PutText(std::string& out, const std::string& text) {
  const std::string_view kept = FieldText(text);
  out.append(kept);
  out.append(kTextBytes - kept.size(), '\0');
}

// Texts are UTF-8 in memory: a field that is not (a file written elsewhere, or damaged) is read as
// Latin-1, and cut again so that saving the record writes back what was read. Control characters
// become blanks: a title is one line wherever it is shown, a terminal included.
std::string GetText(const char* at) {
  const std::string utf8 = ToUtf8(std::string_view(at, strnlen(at, kTextBytes - 1)));
  return std::string(FieldText(ReplaceControls(utf8, ' ')));
}

std::string Serialize(const CDiscInfo& info) {
  std::string out;
  out.reserve(kLibraryHeaderBytes + kLibraryTrackBytes * info.tracks.size());
  out.append(kMagic, sizeof kMagic);
  PutInt(out, 1);
  PutText(out, info.albumTitle);
  PutText(out, info.albumArtist);
  PutInt(out, info.discId);
  PutInt(out, static_cast<uint32_t>(info.discLength));
  PutInt(out, static_cast<uint32_t>(info.tracks.size()));
  for (const CTrackInfo& track : info.tracks) {
    PutText(out, track.title());
    PutText(out, track.album);
    PutText(out, track.artist);
    PutInt(out, static_cast<uint32_t>(track.year));
    PutText(out, track.comment);
    PutInt(out, static_cast<uint32_t>(track.begin()));
    PutInt(out, static_cast<uint32_t>(track.end()));
  }
  return out;
}

// A sidecar holds a few ids and short texts; a larger file is not one of ours.
constexpr size_t kMaxExtrasBytes = 1 << 20;

std::string FileInFolder(const std::string& folder, uint32_t discId, const char* extension) {
  char name[24];
  std::snprintf(name, sizeof name, "%X.%s", discId, extension);
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  return path + name;
}

}  // namespace

std::string LibraryFileName(const std::string& folder, uint32_t discId) {
  return FileInFolder(folder, discId, "dci");
}

std::string ExtrasFileName(const std::string& folder, uint32_t discId) {
  return FileInFolder(folder, discId, "json");
}

namespace {

// A file of this id that the record could not load (another disc with the same id and another
// number of tracks, or a damaged file) is copied to "<file>.bad" before the save replaces it, so
// that no titles are lost; false when that copy could not be made.
bool KeepFileTheRecordCannotLoad(const std::string& folder, const CDiscInfo& record) {
  const std::string path = LibraryFileName(folder, record.discId);
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return true;
  CDiscInfo probe;
  probe.tracks.assign(record.tracks.size(), CTrackInfo(0, 0));
  if (probe.LoadDiscInfo(folder, record.discId) >= 0) return true;
  const FileContents old = ReadWholeFile(path);
  return old.status == ReadStatus::Ok && ReplaceFileAtomically(path + ".bad", old.bytes);
}

DiscExtras LoadExtras(const std::string& folder, uint32_t discId, size_t trackCount) {
  DiscExtras extras;
  const FileContents file = ReadSmallFile(ExtrasFileName(folder, discId), kMaxExtrasBytes);
  if (file.status == ReadStatus::Ok) ParseDiscExtras(file.bytes, trackCount, extras);
  return extras;
}

// Writes the sidecar, or removes an old one when there is nothing to keep.
bool SaveExtras(const std::string& folder, uint32_t discId, const DiscExtras& extras) {
  const std::string path = ExtrasFileName(folder, discId);
  if (!extras.empty()) return ReplaceFileAtomically(path, FormatDiscExtras(extras));
  // unlink, not remove: whatever else sits at that path is not ours to delete.
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

}  // namespace

int32_t CDiscInfo::SaveDiscInfo(const std::string& folder) const {
  if (!KeepFileTheRecordCannotLoad(folder, *this)) return -1;
  const std::string bytes = Serialize(*this);
  // A crash during the save leaves the old file or the new one, never half of one.
  if (!ReplaceFileAtomically(LibraryFileName(folder, discId), bytes)) return -1;
  if (!SaveExtras(folder, discId, extras)) return -1;
  return static_cast<int32_t>(bytes.size());
}

int32_t CDiscInfo::LoadDiscInfo(const std::string& folder, uint32_t id) {
  std::ifstream in(LibraryFileName(folder, id), std::ios::binary);
  std::string header(kLibraryHeaderBytes, '\0');
  if (!in.read(header.data(), std::streamsize(header.size()))) return -1;
  if (std::memcmp(header.data(), kMagic, sizeof kMagic) != 0) return -1;
  const int32_t version = GetInt(&header[8]);
  if (version != 1 && version != 2) return -1;
  const int32_t count = GetInt(&header[532]);
  if (count < 0 || count > 99) return -1;
  if (!tracks.empty() && tracks.size() != size_t(count)) return -1;
  // All records are read before anything changes: a short file changes nothing.
  std::string records(kLibraryTrackBytes * size_t(count), '\0');
  if (count > 0 && !in.read(records.data(), std::streamsize(records.size()))) return -1;

  if (tracks.empty()) tracks.assign(size_t(count), CTrackInfo(0, 0));
  albumTitle = GetText(&header[12]);
  albumArtist = GetText(&header[268]);
  discId = static_cast<uint32_t>(GetInt(&header[524]));
  discLength = GetInt(&header[528]);
  for (int32_t i = 0; i < count; ++i) {
    const char* record = &records[kLibraryTrackBytes * size_t(i)];
    CTrackInfo& track = tracks[size_t(i)];
    track.setTitle(GetText(record));
    track.album = GetText(record + 256);
    track.artist = GetText(record + 512);
    track.year = GetInt(record + 768);
    track.comment = GetText(record + 772);
  }
  extras = LoadExtras(folder, id, tracks.size());
  return static_cast<int32_t>(kLibraryHeaderBytes + kLibraryTrackBytes * size_t(count));
}

bool FindInLibrary(uint32_t discId, const std::string& folder, CDiscInfo& record) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(LibraryFileName(folder, discId), error)) return false;
  record.LoadDiscInfo(folder, discId);
  return true;
}

bool CDiscInfo::HoldsOnlyNumberedTracks() const {
  if (!albumTitle.empty() || !albumArtist.empty()) return false;
  const CTrackInfo blank(0, 0);
  for (size_t i = 0; i < tracks.size(); ++i) {
    const CTrackInfo& track = tracks[i];
    if (track.title() != "Track " + std::to_string(i + 1) || !track.artist.empty() || !track.album.empty() ||
        !track.comment.empty() || track.year != blank.year)
      return false;
  }
  return true;
}

}  // namespace korvi
