#pragma once
// What every parsed result must satisfy, whatever the input was. A violation aborts, so the fuzzer
// reports it like a crash.

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cddb/cddb_record.h"
#include "text/utf8_text.h"

namespace korvi::fuzz {

inline void Require(bool condition) {
  if (!condition) std::abort();
}

// A temporary folder for the whole run (one per target), removed at exit.
class RunFolder {
 public:
  explicit RunFolder(const std::string& name) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / ("korvi-fuzz-" + name + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) std::abort();
    m_path = pattern;
  }
  ~RunFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

inline void RequireUtf8(const std::string& text) { Require(IsValidUtf8(text)); }

inline void CheckRecordText(const CCDDBRecord& record) {
  for (const std::string* text :
       {&record.clientName, &record.clientVersion, &record.clientRemark, &record.discArtist,
        &record.discTitle, &record.extendedDiscData, &record.genre})
    RequireUtf8(*text);
  for (const std::string& text : record.trackTitles) RequireUtf8(text);
  for (const std::string& text : record.extendedTrackData) RequireUtf8(text);
  Require(record.trackTitles.size() <= 99 && record.extendedTrackData.size() <= 99);
}

inline void CheckAcceptedRecord(const CCDDBRecord& record) {
  CheckRecordText(record);
  Require(record.trackTitles.size() == record.extendedTrackData.size());
  Require(!record.trackFrameOffsets.empty());
}

}  // namespace korvi::fuzz
