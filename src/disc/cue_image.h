#pragma once
// A disc image described by a cue sheet, over any number of data files of any readable type: the
// disc laid out as if it were written as one bin (PREGAP and POSTGAP silence included, in no
// file), its tracks, and its sectors as 2352 raw bytes each.

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
    int32_t start = 0;                   // logical sector of INDEX 01
    std::optional<int32_t> pregapBegin;  // of INDEX 00, or of the PREGAP silence
  };

  // Reads the cue sheet and opens every file it names (relative to the sheet's folder, in any
  // letter case that exists there). Null with the cause in *error: the sheet cannot be read, a
  // file is missing or unreadable, a file ends before an index the sheet puts in it, indexes
  // overlap or go backwards.
  static std::unique_ptr<CueImage> Open(const std::filesystem::path& cuePath, std::string* error);
  ~CueImage() override;

  const std::vector<TrackLayout>& Tracks() const { return m_tracks; }
  // The first logical sector past the disc's last one.
  int32_t LeadOut() const { return m_leadOut; }
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
  bool PlaceTracks(const CueSheet& sheet, const std::function<int32_t(const CueIndex&)>& discSector,
                   std::string* error);
  bool ReadSegment(const Segment& segment, int32_t first, int32_t count, uint8_t* out);

  std::vector<std::unique_ptr<ImageDataFile>> m_files;
  std::vector<Segment> m_segments;  // in disc order, gapless from sector 0 to the lead-out
  std::vector<TrackLayout> m_tracks;
  int32_t m_leadOut = 0;
  DiscText m_text;
  std::string m_lastError;
};

// The file a cue sheet's FILE line names: relative to the sheet's folder, the exact name when
// anything exists there (a "\" in it taken as it is), else with each "\" as "/" (a Windows
// folder's end) the exact name or the one regular file in its folder whose name differs only in
// letter case. Nullopt when there is none.
std::optional<std::filesystem::path> FindCueDataFile(const std::filesystem::path& cueFolder,
                                                     const std::string& name);

}  // namespace korvi
