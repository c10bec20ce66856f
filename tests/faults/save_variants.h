#pragma once
// The two contents that the save loop alternates between, known to the loop and to the test that
// kills it.

#include <string>

#include "library/disc_info.h"
#include "settings/app_settings.h"

namespace korvi::faults {

constexpr uint32_t kLoopDiscId = 0x2A0B5C0D;
constexpr int kLoopDiscTracks = 12;

// The folders of a user whose config, music and data all lie under root.
inline UserFolders LoopFolders(const std::string& root) {
  return {root + "/music", root + "/data", root + "/config"};
}

inline CAppSettings SettingsVariant(int which, const std::string& root) {
  CAppSettings settings(LoopFolders(root));
  const bool b = which % 2 != 0;
  settings.BPS = b ? 320 : 128;
  settings.CompressionLevel = b ? 5000 : 1000;
  settings.SaveID3Tag = !b;
  settings.ReplacePrompt = b;
  settings.DefaultFolder = root + (b ? "/music/second choice" : "/music/first");
  return settings;
}

inline CDiscInfo LibraryVariant(int which) {
  const bool b = which % 2 != 0;
  CDiscInfo record;
  record.discId = kLoopDiscId;
  record.discLength = 2400;
  record.albumTitle = b ? "The Second Pressing" : "First";
  record.albumArtist = b ? "Someone Else" : "Someone";
  for (int i = 0; i < kLoopDiscTracks; ++i) {
    CTrackInfo track(i * 1000, i * 1000 + 999, ((b ? "Song B " : "Song A ") + std::to_string(i + 1)).c_str());
    track.artist = record.albumArtist;
    track.album = record.albumTitle;
    track.year = b ? 2001 : 1999;
    record.tracks.push_back(track);
  }
  record.extras.source = "MusicBrainz";
  record.extras.musicBrainzReleaseId =
      b ? "b0000000-0000-4000-8000-000000000002" : "a0000000-0000-4000-8000-000000000001";
  record.extras.recordingIds.assign(size_t(kLoopDiscTracks), b ? "b-recording" : "a-recording");
  return record;
}

}  // namespace korvi::faults
