#include "disc/cue_image.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/fs_util.h"
#include "disc/cdrom_toc.h"
#include "disc/cue_sheet.h"
#include "text/ascii_case.h"

namespace korvi {

// Where silence goes into a file's run of sectors: before the sector at `frame` of `file`.
struct CueImage::Insertion {
  size_t file = 0;
  int32_t frame = 0;
  int32_t sectors = 0;
};

namespace {

using Insertion = CueImage::Insertion;

// 100 minutes: more than any CD holds.
constexpr int32_t kMaxDiscSectors = 100 * 60 * kSectorsPerSecond;

bool Fail(std::string* error, const std::string& cause) {
  if (error) *error = cause;
  return false;
}

// "mm:ss:ff", as the sheet writes times.
std::string TimeText(int32_t frames) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / (60 * kSectorsPerSecond),
                (frames / kSectorsPerSecond) % 60, frames % kSectorsPerSecond);
  return text;
}

std::string TwoDigits(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", number);
  return text;
}

// What a file holds, named by its last sector (and the time where it ends, as the sheet counts).
std::string FileEndsText(const std::string& name, int32_t sectors) {
  if (sectors == 0) return "the data file \"" + name + "\" is empty";
  return "the data file \"" + name + "\" ends with sector " + std::to_string(sectors - 1) + " (at " +
         TimeText(sectors) + ")";
}

bool ReadSheet(const std::filesystem::path& path, std::string& text, std::string* error) {
  uint64_t size = 0;
  const UniqueFd fd = OpenRegularFile(path.string(), error, &size);
  if (!fd.Valid()) return false;
  if (size > kMaxCueSheetBytes || !ReadUpTo(fd.Get(), kMaxCueSheetBytes, text)) {
    if (error)
      *error = text.size() > kMaxCueSheetBytes || size > kMaxCueSheetBytes
                   ? "the file is too large to be a cue sheet"
                   : std::string("the cue sheet cannot be read: ") + std::strerror(errno);
    return false;
  }
  return true;
}

// name in folder, or else the one regular file there whose name differs from it only in letter
// case, as sheets written on systems that ignore case often name their files.
std::optional<std::filesystem::path> FindInFolder(const std::filesystem::path& folder,
                                                  const std::string& name) {
  std::error_code code;
  if (std::filesystem::exists(folder / name, code)) return folder / name;
  const std::string lower = AsciiLowered(name);
  std::optional<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder, code)) {
    if (AsciiLowered(entry.path().filename().string()) != lower || !entry.is_regular_file(code)) continue;
    if (found) return std::nullopt;  // two candidates: neither is surely the one meant
    found = entry.path();
  }
  return found;
}

}  // namespace

std::optional<std::filesystem::path> FindCueDataFile(const std::filesystem::path& cueFolder,
                                                     const std::string& name) {
  std::error_code code;
  // Whatever is there under the exact name is the file meant; opening it refuses a pipe or a folder.
  // A "\" is a folder's end in sheets from Windows, but a plain character of a name here.
  if (std::filesystem::exists(cueFolder / name, code)) return cueFolder / name;
  std::string portable = name;
  std::replace(portable.begin(), portable.end(), '\\', '/');
  const std::filesystem::path wanted = cueFolder / portable;
  // A sheet opened by a bare name lies in the working folder.
  const std::filesystem::path folder = wanted.has_parent_path() ? wanted.parent_path() : ".";
  const std::string last = wanted.filename().string();
  if (last.empty() || last == "." || last == "..") return std::nullopt;
  if (std::optional<std::filesystem::path> found = FindInFolder(folder, last)) return found;
  // The folder the sheet was written in is not here; the files often lie beside the sheet.
  const std::filesystem::path sheetFolder = cueFolder.empty() ? "." : cueFolder;
  if (portable.find('/') == std::string::npos) return std::nullopt;
  return FindInFolder(sheetFolder, last);
}

CueImage::~CueImage() = default;

std::unique_ptr<CueImage> CueImage::Open(const std::filesystem::path& cuePath, std::string* error) {
  std::string text;
  if (!ReadSheet(cuePath, text, error)) return nullptr;
  const std::optional<CueSheet> sheet = ParseCueSheet(text, error);
  if (!sheet) return nullptr;
  std::unique_ptr<CueImage> image(new CueImage);
  for (const CueFileEntry& file : sheet->files) {
    const std::optional<std::filesystem::path> path = FindCueDataFile(cuePath.parent_path(), file.name);
    if (!path) {
      if (error) *error = "the data file \"" + file.name + "\" is missing";
      return nullptr;
    }
    std::unique_ptr<ImageDataFile> data = OpenImageDataFile(*path, file.type, error);
    if (!data) return nullptr;
    image->m_files.push_back(std::move(data));
  }
  if (!image->Lay(*sheet, error)) return nullptr;
  image->m_text = sheet->text;
  // A placeholder's text (its title is "Data Track", as a rule) names nothing on the disc.
  image->m_text.tracks.resize(image->m_tracks.size());
  return image;
}

namespace {

const CueIndex& StartIndex(const CueTrack& track) {
  return *std::find_if(track.indexes.begin(), track.indexes.end(),
                       [](const CueIndex& index) { return index.number == 1; });
}

// Silence that no file holds: a PREGAP before its INDEX 01, a POSTGAP where its track ends (where
// the next track begins in the same file, else at the file's end), and the gap before a second
// session when the files do not hold it (before the session's first track and its PREGAP). In
// file order, and within a place in sheet order, so that one track's POSTGAP comes before the
// next one's PREGAP.
std::vector<Insertion> SilenceInsertions(const CueSheet& sheet, const std::vector<int32_t>& fileSectors,
                                         const std::optional<Insertion>& sessionGap, size_t sessionTrack) {
  std::vector<Insertion> insertions;
  for (size_t t = 0; t < sheet.tracks.size(); ++t) {
    const CueTrack& track = sheet.tracks[t];
    if (sessionGap && t == sessionTrack) insertions.push_back(*sessionGap);
    // A placeholder is past the disc's end: its gaps are not on the disc.
    if (track.placeholder) continue;
    if (track.pregap > 0)
      insertions.push_back({StartIndex(track).file, StartIndex(track).frame, track.pregap});
    if (track.postgap > 0) {
      const CueIndex& last = track.indexes.back();
      const bool nextInFile =
          t + 1 < sheet.tracks.size() && sheet.tracks[t + 1].indexes.front().file == last.file;
      const int32_t end = nextInFile ? sheet.tracks[t + 1].indexes.front().frame : fileSectors[last.file];
      insertions.push_back({last.file, end, track.postgap});
    }
  }
  std::stable_sort(insertions.begin(), insertions.end(), [](const Insertion& a, const Insertion& b) {
    return a.file != b.file ? a.file < b.file : a.frame < b.frame;
  });
  return insertions;
}

// The first track of a second session that follows audio, when the sheet marks one.
std::optional<size_t> SessionTrack(const CueSheet& sheet) {
  bool audio = false;
  for (size_t t = 0; t < sheet.tracks.size(); ++t) {
    const CueTrack& track = sheet.tracks[t];
    if (audio && track.session > sheet.tracks[t - 1].session && !track.placeholder) return t;
    audio = audio || track.audio;
  }
  return std::nullopt;
}

}  // namespace

bool CueImage::Lay(const CueSheet& sheet, std::string* error) {
  std::vector<int32_t> fileSectors;
  if (!CountFileSectors(sheet, fileSectors, error)) return false;
  std::vector<Insertion> insertions = SilenceInsertions(sheet, fileSectors, std::nullopt, 0);
  std::vector<int32_t> fileDiscStart;
  // Where each index lies on the disc: after any silence put in at its own place.
  const auto discSector = [&](const CueIndex& index) {
    int32_t sector = fileDiscStart[index.file] + index.frame;
    for (const Insertion& silence : insertions)
      if (silence.file == index.file && silence.frame <= index.frame) sector += silence.sectors;
    return sector;
  };
  if (!LayFiles(fileSectors, insertions, fileDiscStart, error)) return false;
  if (const std::optional<Insertion> gap = SessionGap(sheet, fileDiscStart, discSector)) {
    insertions = SilenceInsertions(sheet, fileSectors, gap, *SessionTrack(sheet));
    m_segments.clear();
    fileDiscStart.clear();
    if (!LayFiles(fileSectors, insertions, fileDiscStart, error)) return false;
  }
  return PlaceTracks(sheet, discSector, error);
}

std::optional<CueImage::Insertion> CueImage::SessionGap(
    const CueSheet& sheet, const std::vector<int32_t>& fileDiscStart,
    const std::function<int32_t(const CueIndex&)>& discSector) {
  const std::optional<size_t> t = SessionTrack(sheet);
  if (!t) return std::nullopt;
  const CueTrack& track = sheet.tracks[*t];
  const CueTrack& before = sheet.tracks[*t - 1];
  const CueIndex& first = track.indexes.front();
  const int32_t start = discSector(StartIndex(track));
  const int32_t pregapBegin = std::min(discSector(first), start - track.pregap);
  // A sheet with a file per session (a file per track, as a rule) holds the tracks alone, never the
  // lead-out and lead-in between the sessions: the audio ends with the file before.
  const bool ownFile = first.file != before.indexes.back().file;
  const int32_t boundary = ownFile ? fileDiscStart[first.file] : pregapBegin;
  // One file through both sessions holds the gap as the disc has it, unless the session begins
  // too soon after the last track for that.
  if (!ownFile && start - kSessionGapSectors > discSector(StartIndex(before))) {
    m_sessionAudioEnd = std::min(start - kSessionGapSectors, pregapBegin);
    return std::nullopt;
  }
  m_sessionAudioEnd = boundary;
  const int32_t missing = kSessionGapSectors - (start - boundary);
  if (missing <= 0) return std::nullopt;
  return Insertion{first.file, ownFile ? 0 : first.frame, missing};
}

bool CueImage::CountFileSectors(const CueSheet& sheet, std::vector<int32_t>& fileSectors,
                                std::string* error) {
  // Whole sectors; a WAVE or FLAC file that ends within a sector is padded with silence.
  for (size_t f = 0; f < m_files.size(); ++f) {
    const bool padded =
        sheet.files[f].type == ImageFileType::kWave || sheet.files[f].type == ImageFileType::kFlac;
    const int64_t sectors = (m_files[f]->Size() + (padded ? kRawSectorBytes - 1 : 0)) / kRawSectorBytes;
    if (sectors > kMaxDiscSectors)
      return Fail(error, "the data file \"" + sheet.files[f].name + "\" is too long for a CD");
    fileSectors.push_back(static_cast<int32_t>(sectors));
  }
  for (const CueTrack& track : sheet.tracks)
    for (const CueIndex& index : track.indexes)
      // A placeholder's INDEX 00 may stand at the end of the last audio file: where the audio ends.
      if (index.frame >= fileSectors[index.file] + (track.placeholder ? 1 : 0))
        return Fail(error, FileEndsText(sheet.files[index.file].name, fileSectors[index.file]) +
                               ", before INDEX " + TwoDigits(index.number) + " of track " +
                               TwoDigits(track.number) + " at " + TimeText(index.frame) +
                               ": the image is cut short");
  return true;
}

bool CueImage::LayFiles(const std::vector<int32_t>& fileSectors, const std::vector<Insertion>& insertions,
                        std::vector<int32_t>& fileDiscStart, std::string* error) {
  // The disc: each file's sectors in turn, split where silence goes in.
  int32_t disc = 0;
  size_t next = 0;
  for (size_t f = 0; f < fileSectors.size(); ++f) {
    fileDiscStart.push_back(disc);
    int32_t frame = 0;
    for (; next < insertions.size() && insertions[next].file == f; ++next) {
      const Insertion& silence = insertions[next];
      if (silence.frame > frame)
        m_segments.push_back({disc, silence.frame - frame, int(f), int64_t(frame) * kRawSectorBytes});
      disc += silence.frame - frame;
      frame = silence.frame;
      m_segments.push_back({disc, silence.sectors, -1, 0});
      disc += silence.sectors;
    }
    if (fileSectors[f] > frame)
      m_segments.push_back({disc, fileSectors[f] - frame, int(f), int64_t(frame) * kRawSectorBytes});
    disc += fileSectors[f] - frame;
    if (disc > kMaxDiscSectors) return Fail(error, "the image is longer than a CD can be");
  }
  m_leadOut = disc;
  return true;
}

bool CueImage::PlaceTracks(const CueSheet& sheet, const std::function<int32_t(const CueIndex&)>& discSector,
                           std::string* error) {
  int32_t previous = -1;
  for (const CueTrack& track : sheet.tracks) {
    TrackLayout layout;
    layout.number = track.number;
    layout.audio = track.audio;
    layout.preEmphasis = track.audio && track.preEmphasis;
    for (const CueIndex& index : track.indexes) {
      const int32_t sector = discSector(index);
      if (sector <= previous)
        return Fail(error, "track " + TwoDigits(track.number) + ": INDEX " + TwoDigits(index.number) +
                               " at " + TimeText(index.frame) + " does not come after the index before it");
      previous = sector;
      if (index.number == 0) layout.pregapBegin = sector;
      if (index.number == 1) layout.start = sector;
    }
    if (track.placeholder) {
      m_leadOut = std::min(m_leadOut, discSector(track.indexes.front()));
      continue;
    }
    if (!layout.pregapBegin && track.pregap > 0) layout.pregapBegin = layout.start - track.pregap;
    m_tracks.push_back(layout);
  }
  if (m_tracks.back().start >= m_leadOut)
    return Fail(error, "track " + TwoDigits(m_tracks.back().number) + " begins where the image ends");
  return true;
}

bool CueImage::ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) {
  if (start < 0 || count < 1 || !buffer || int64_t(start) + count > m_leadOut) {
    m_lastError = "sectors " + std::to_string(start) + " to " + std::to_string(int64_t(start) + count - 1) +
                  " are not on the disc, which ends at sector " + std::to_string(m_leadOut - 1);
    return false;
  }
  // The segment that holds start: the last one that begins at or before it.
  auto segment = std::upper_bound(m_segments.begin(), m_segments.end(), start,
                                  [](int32_t sector, const Segment& s) { return sector < s.discStart; }) -
                 1;
  while (count > 0) {
    const int32_t first = start - segment->discStart;
    const int32_t here = std::min(count, segment->sectors - first);
    if (!ReadSegment(*segment, first, here, buffer)) return false;
    buffer += size_t(here) * kRawSectorBytes;
    start += here;
    count -= here;
    ++segment;
  }
  return true;
}

bool CueImage::ReadSegment(const Segment& segment, int32_t first, int32_t count, uint8_t* out) {
  const size_t bytes = size_t(count) * kRawSectorBytes;
  if (segment.file < 0) {
    std::memset(out, 0, bytes);
    return true;
  }
  ImageDataFile& file = *m_files[size_t(segment.file)];
  const int64_t offset = segment.fileOffset + int64_t(first) * kRawSectorBytes;
  // The padding of a last sector that the file holds only in part.
  const int64_t held = std::clamp<int64_t>(file.Size() - offset, 0, int64_t(bytes));
  std::memset(out + held, 0, bytes - size_t(held));
  return held == 0 || file.Read(offset, out, size_t(held), &m_lastError);
}

}  // namespace korvi
