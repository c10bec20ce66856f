// ParseCueSheet on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "disc/cue_sheet.h"
#include "fuzz_checks.h"

namespace {

void CheckText(const std::string& text) {
  korvi::fuzz::Require(korvi::IsValidUtf8(text));
  korvi::fuzz::Require(korvi::ReplaceControls(text, ' ') == text);
}

void CheckFields(const korvi::CdTextFields& fields) {
  CheckText(fields.title);
  CheckText(fields.performer);
  CheckText(fields.songwriter);
  CheckText(fields.isrc);
}

void CheckSheet(const korvi::CueSheet& sheet) {
  using korvi::fuzz::Require;
  Require(!sheet.files.empty() && !sheet.tracks.empty() && sheet.tracks.size() <= 99);
  Require(sheet.text.tracks.size() == sheet.tracks.size());
  bool audio = false;
  bool placeholder = false;
  for (size_t t = 0; t < sheet.tracks.size(); ++t) {
    const korvi::CueTrack& track = sheet.tracks[t];
    Require(track.number >= 1 && track.number <= 99 && track.session >= 1);
    Require(t == 0 || track.number == sheet.tracks[t - 1].number + 1);
    bool start = false;
    int previous = -1;
    for (const korvi::CueIndex& index : track.indexes) {
      Require(index.file < sheet.files.size() && index.frame >= 0 && index.number > previous);
      previous = index.number;
      start = start || index.number == 1;
    }
    // A placeholder data track has no INDEX 01 but an index, comes after audio, and only
    // placeholders follow it; every other track has its INDEX 01.
    Require(track.placeholder ? !start && !track.audio && audio && !track.indexes.empty()
                              : start && !placeholder);
    Require(track.pregap >= 0 && track.postgap >= 0);
    audio = audio || track.audio;
    placeholder = placeholder || track.placeholder;
    CheckFields(sheet.text.tracks[t]);
  }
  CheckFields(sheet.text.disc);
  CheckText(sheet.text.genre);
  CheckText(sheet.text.date);
  CheckText(sheet.text.catalog);
  CheckText(sheet.text.discId);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<korvi::CueSheet> sheet = korvi::ParseCueSheet(text, &error);
  korvi::fuzz::Require(sheet.has_value() == error.empty());
  if (sheet) CheckSheet(*sheet);
  return 0;
}
