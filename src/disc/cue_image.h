#pragma once
// A disc image described by a cue sheet, over any number of data files of any readable type: the
// disc laid out as if it were written as one bin (PREGAP and POSTGAP silence included, in no
// file, and the gap before a second session that the files do not hold), its tracks, and its
// sectors as 2352 raw bytes each.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disc/cd_text.h"
#include "disc/image_file.h"
#include "disc/sector_source.h"

namespace korvi {

struct CueIndex;
struct CueSheet;

class CueImage : public ISectorSource {
 public:
  struct Insertion;

  struct TrackLayout {
    int number = 1;
    bool audio = true;
    bool preEmphasis = false;
    int32_t start = 0;                   // logical sector of INDEX 01
    std::optional<int32_t> pregapBegin;  // of INDEX 00, or of the PREGAP silence
  };

  // Reads the cue sheet and opens every file it names (see FindCueDataFile). Null with the cause
  // in *error: the sheet cannot be read, a file is missing or unreadable, a file ends before an
  // index the sheet puts in it, indexes overlap or go backwards.
  static std::unique_ptr<CueImage> Open(const std::filesystem::path& cuePath, std::string* error);
  ~CueImage() override;

  // The tracks on the disc: a placeholder data track is not one of them, and the disc ends at its
  // first index.
  const std::vector<TrackLayout>& Tracks() const { return m_tracks; }
  // The first logical sector past the disc's last one.
  int32_t LeadOut() const { return m_leadOut; }
  // Where the audio ends when the sheet marks a second session (REM SESSION 02): as on a drive,
  // 11400 sectors before the session's first track, which is laid out there when the files do not
  // hold the gap. Nullopt for a sheet of one session.
  std::optional<int32_t> SessionAudioEnd() const { return m_sessionAudioEnd; }
  // One entry per track of Tracks().
  const DiscText& Text() const { return m_text; }

  // Sectors that lie in PREGAP or POSTGAP silence, or in the padding of a file whose length is not
  // a whole number of sectors, read as zeros. The cause of a failure in LastError().
  bool ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) override;
  const std::string& LastError() const { return m_lastError; }

 private:
  // A run of sectors of the disc: from one file at a byte offset, or silence (file < 0).
  struct Segment {
    int32_t discStart = 0;
    int32_t sectors = 0;
    int file = -1;
    int64_t fileOffset = 0;
  };

  CueImage() = default;
  // Lays the disc out: the files' sectors, the silence between them, the tracks' places.
  bool Lay(const CueSheet& sheet, std::string* error);
  bool CountFileSectors(const CueSheet& sheet, std::vector<int32_t>& fileSectors, std::string* error);
  bool LayFiles(const std::vector<int32_t>& fileSectors, const std::vector<Insertion>& insertions,
                std::vector<int32_t>& fileDiscStart, std::string* error);
  // The silence before a second session's first track that puts it 11400 sectors after the audio
  // (none when the layout holds the gap), with m_sessionAudioEnd set; nullopt without sessions.
  std::optional<Insertion> SessionGap(const CueSheet& sheet, const std::vector<int32_t>& fileDiscStart,
                                      const std::function<int32_t(const CueIndex&)>& discSector);
  bool PlaceTracks(const CueSheet& sheet, const std::function<int32_t(const CueIndex&)>& discSector,
                   std::string* error);
  bool ReadSegment(const Segment& segment, int32_t first, int32_t count, uint8_t* out);

  std::vector<std::unique_ptr<ImageDataFile>> m_files;
  std::vector<Segment> m_segments;  // in disc order, gapless from sector 0 to the lead-out
  std::vector<TrackLayout> m_tracks;
  int32_t m_leadOut = 0;
  std::optional<int32_t> m_sessionAudioEnd;
  DiscText m_text;
  std::string m_lastError;
};

// The file a cue sheet's FILE line names: relative to the sheet's folder, the exact name when
// anything exists there (a "\" in it taken as it is), else with each "\" as "/" (a Windows
// folder's end) the exact name or the one regular file in its folder whose name differs only in
// letter case; failing that, the name's last part in the sheet's own folder, found the same way
// (a sheet written where the files lay elsewhere, "D:\Rips\Album\a.wav"). Nullopt when there
// is none.
std::optional<std::filesystem::path> FindCueDataFile(const std::filesystem::path& cueFolder,
                                                     const std::string& name);

}  // namespace korvi
