#include "library/disc_info.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "common/fs_util.h"
#include "common/staged_file.h"
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
// The largest record: 99 tracks.
constexpr size_t kMaxLibraryFileBytes = kLibraryHeaderBytes + 99 * kLibraryTrackBytes;
// A file at a record's name that is kept as "<file>.bad" before the save replaces it; one larger
// than this is no record at all, and blocks the save rather than be read whole.
constexpr size_t kMaxKeptBytes = 16 << 20;
// A save takes milliseconds; another save of the disc that holds the lock far longer has hung.
constexpr int kLockWaitMs = 30000;
// Younger temporary files may belong to a save in flight.
constexpr int64_t kStaleTemporarySeconds = 3600;

std::string FileInFolder(const std::string& folder, const char* format, uint32_t discId) {
  char name[24];
  std::snprintf(name, sizeof name, format, discId);
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  return path + name;
}

// The record that bytes hold, read into record; the bytes it takes, or -1 with the record
// unchanged (see LoadDiscInfo).
int32_t ParseRecord(const std::string& bytes, CDiscInfo& record) {
  if (bytes.size() < kLibraryHeaderBytes) return -1;
  const char* header = bytes.data();
  if (std::memcmp(header, kMagic, sizeof kMagic) != 0) return -1;
  const int32_t version = GetInt(&header[8]);
  if (version != 1 && version != 2) return -1;
  const int32_t count = GetInt(&header[532]);
  if (count < 0 || count > 99) return -1;
  if (!record.tracks.empty() && record.tracks.size() != size_t(count)) return -1;
  // All records are there before anything changes: a short file changes nothing.
  const size_t size = kLibraryHeaderBytes + kLibraryTrackBytes * size_t(count);
  if (bytes.size() < size) return -1;

  if (record.tracks.empty()) record.tracks.assign(size_t(count), CTrackInfo(0, 0));
  record.albumTitle = GetText(&header[12]);
  record.albumArtist = GetText(&header[268]);
  record.discId = static_cast<uint32_t>(GetInt(&header[524]));
  record.discLength = GetInt(&header[528]);
  for (int32_t i = 0; i < count; ++i) {
    const char* at = &bytes[kLibraryHeaderBytes + kLibraryTrackBytes * size_t(i)];
    CTrackInfo& track = record.tracks[size_t(i)];
    track.setTitle(GetText(at));
    track.album = GetText(at + 256);
    track.artist = GetText(at + 512);
    track.year = GetInt(at + 768);
    track.comment = GetText(at + 772);
  }
  return static_cast<int32_t>(size);
}

}  // namespace

std::string LibraryFileName(const std::string& folder, uint32_t discId) {
  return FileInFolder(folder, "%X.dci", discId);
}

std::string ExtrasFileName(const std::string& folder, uint32_t discId) {
  return FileInFolder(folder, "%X.json", discId);
}

namespace {

std::string LockFileName(const std::string& folder, uint32_t discId) {
  return FileInFolder(folder, ".%X.lock", discId);
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// A file of this id that the record could not load (another disc with the same id and another
// number of tracks, or a damaged file) is copied to "<file>.bad" before the save replaces it, so
// that no titles are lost; false with the cause when that copy could not be made. current gets
// the file's bytes when it is a regular file.
bool KeepFileTheRecordCannotLoad(const std::string& folder, const CDiscInfo& record, std::string& current,
                                 std::string& cause) {
  const std::string path = LibraryFileName(folder, record.discId);
  FileContents old = ReadSmallFile(path, kMaxKeptBytes);
  if (old.status == ReadStatus::Missing) return true;
  if (old.status == ReadStatus::Error) {
    // A pipe, a device or a folder holds nothing a copy could keep: the save replaces the name
    // (or fails on a folder). A dangling link is replaced, its target never written.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 ? errno == ENOENT : !S_ISREG(st.st_mode)) return true;
    cause = NameOf(path) + " " + old.cause;
    return false;
  }
  current = std::move(old.bytes);
  CDiscInfo probe;
  probe.tracks.assign(record.tracks.size(), CTrackInfo(0, 0));
  if (ParseRecord(current, probe) >= 0) return true;
  if (ReplaceFileAtomically(path + ".bad", current, &cause)) return true;
  cause = "no copy could be kept of " + NameOf(path) + ", which this record cannot load: " + cause;
  return false;
}

DiscExtras LoadExtras(const std::string& folder, uint32_t discId, size_t trackCount,
                      const std::string& libraryFile) {
  DiscExtras extras;
  const FileContents file = ReadSmallFile(ExtrasFileName(folder, discId), kMaxExtrasBytes);
  if (file.status != ReadStatus::Ok) return extras;
  DiscExtras read;
  std::optional<ExtrasStamp> stamp;
  // A stamp of another library file: the sidecar was written for another answer (or the save that
  // wrote this file did not finish). Files of earlier versions have none, and are trusted.
  if (ParseDiscExtras(file.bytes, trackCount, read, &stamp) &&
      (!stamp || *stamp == StampOf(discId, libraryFile)))
    extras = std::move(read);
  return extras;
}

// A sidecar of an earlier version is trusted beside whatever library file it lies next to: it is
// stamped first with the file it belongs to, so that a save cut off between its two renames
// cannot pair it with the new file.
bool StampEarlierSidecar(const std::string& folder, uint32_t discId, const std::string& current,
                         std::string& cause) {
  const std::string path = ExtrasFileName(folder, discId);
  const FileContents file = ReadSmallFile(path, kMaxExtrasBytes);
  DiscExtras earlier;
  std::optional<ExtrasStamp> stamp;
  if (file.status != ReadStatus::Ok || !ParseDiscExtras(file.bytes, SIZE_MAX, earlier, &stamp) || stamp)
    return true;
  return ReplaceFileAtomically(path, FormatDiscExtras(earlier, StampOf(discId, current)), &cause);
}

// An old sidecar, when the record has nothing to keep beside it, so that titles from another
// source never keep an old release's ids.
bool RemoveSidecar(const std::string& folder, uint32_t discId, std::string& cause) {
  const std::string path = ExtrasFileName(folder, discId);
  // unlink, not remove: whatever else sits at that path is not ours to delete.
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  const char* why = std::strerror(errno);
  cause = "cannot remove " + NameOf(path) + ": " + why;
  return false;
}

// A file's next content, written and synced under its temporary name; nullopt with the cause,
// which names the file.
std::optional<StagedFile> Stage(const std::string& path, std::string_view bytes, std::string& cause) {
  std::optional<StagedFile> staged = StagedFile::Create(path, ModeToKeep(path), &cause);
  if (staged && staged->Write(bytes, &cause) && staged->Sync(&cause)) return staged;
  cause = NameOf(path) + ": " + cause;
  return std::nullopt;
}

bool PutInPlace(StagedFile& staged, std::string& cause) {
  if (staged.Commit(&cause)) return true;
  cause = NameOf(staged.FinalPath()) + ": " + cause;
  return false;
}

// StagedFile's temporary names, and those that earlier versions left beside a record's files
// ("B016602.json.QViNHN").
bool IsLibraryTemporary(std::string_view name) {
  if (IsStagedFileName(name)) return true;
  const size_t dot = name.find('.');
  if (dot == 0 || dot > 8 || name.find_first_not_of("0123456789ABCDEF") != dot) return false;
  const std::string_view rest = name.substr(dot);
  constexpr std::string_view kKinds[] = {".dci.", ".json.", ".dci.bad."};
  return std::any_of(std::begin(kKinds), std::end(kKinds), [&](std::string_view kind) {
    return rest.size() == kind.size() + 6 && rest.starts_with(kind) &&
           rest.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                                  kind.size()) == std::string_view::npos;
  });
}

}  // namespace

int32_t CDiscInfo::SaveDiscInfo(const std::string& folder, std::string* error) const {
  std::string cause;
  const auto fail = [&](const char* what) {
    if (error) *error = what + cause;
    return -1;
  };
  // Two saves of the disc, from two programs or two threads, take turns: each writes both files.
  FileLock lock;
  if (!lock.Acquire(LockFileName(folder, discId), kLockWaitMs, &cause)) return fail("");
  RemoveStaleTemporaries(folder, kStaleTemporarySeconds, IsLibraryTemporary);
  std::string current;
  if (!KeepFileTheRecordCannotLoad(folder, *this, current, cause)) return fail("nothing was saved: ");
  const std::string bytes = Serialize(*this);
  // Both files are written under temporary names first, so that a full disk stops the save before
  // anything a load takes changes; then the library file and the sidecar are renamed into place,
  // back to back.
  // A save cut off between the two renames leaves the old sidecar, whose stamp no longer matches.
  std::optional<StagedFile> sidecar;
  if (!extras.empty() &&
      !(sidecar = Stage(ExtrasFileName(folder, discId), FormatDiscExtras(extras, StampOf(discId, bytes)), cause)))
    return fail("nothing was saved: ");
  std::optional<StagedFile> file;
  if (!StampEarlierSidecar(folder, discId, current, cause) ||
      !(file = Stage(LibraryFileName(folder, discId), bytes, cause)) || !PutInPlace(*file, cause))
    return fail("nothing was saved: ");
  const bool whole = sidecar ? PutInPlace(*sidecar, cause) : RemoveSidecar(folder, discId, cause);
  SyncFolder(folder);
  if (!whole) return fail("the titles were saved, but not the file of extras beside them: ");
  return static_cast<int32_t>(bytes.size());
}

int32_t CDiscInfo::LoadDiscInfo(const std::string& folder, uint32_t id) {
  // Read without blocking, and only when it is a regular file: a pipe at the name is unusable.
  const FileContents file = ReadSmallFile(LibraryFileName(folder, id), kMaxLibraryFileBytes);
  if (file.status != ReadStatus::Ok) return -1;
  const int32_t consumed = ParseRecord(file.bytes, *this);
  if (consumed < 0) return -1;
  extras = LoadExtras(folder, id, tracks.size(), file.bytes);
  return consumed;
}

bool FindInLibrary(uint32_t discId, const std::string& folder, CDiscInfo& record) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(LibraryFileName(folder, discId), error)) return false;
  record.LoadDiscInfo(folder, discId);
  return true;
}

bool CDiscInfo::HoldsOnlyNumberedTracks() const {
  if (!albumTitle.empty() || !albumArtist.empty()) return false;
  // Numbered on from the disc's first listed track, which need not be track 1.
  int first = 1;
  if (!tracks.empty() && tracks[0].title().starts_with("Track ")) {
    const std::string digits = tracks[0].title().substr(6);
    if (!digits.empty() && digits.size() <= 2 &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      first = std::stoi(digits);
  }
  for (size_t i = 0; i < tracks.size(); ++i) {
    const CTrackInfo& track = tracks[i];
    // A file of an earlier version gives such tracks the year it gave every track.
    const bool noYear = track.year == kNoYear || track.year == kEarlierDefaultYear;
    if (track.title() != "Track " + std::to_string(first + int(i)) || !track.artist.empty() ||
        !track.album.empty() || !track.comment.empty() || !noYear)
      return false;
  }
  return true;
}

}  // namespace korvi
