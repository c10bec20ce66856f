#include "metadata/musicbrainz_release.h"

#include <cctype>
#include <nlohmann/json.hpp>

#include "text/utf8_text.h"

namespace korvi {
namespace {

using Json = nlohmann::json;

// A CD has at most 99 tracks; a longer list is not this disc's.
constexpr size_t kMaxTracks = 99;

const Json* Member(const Json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

// The member as text; empty when it is missing or anything but a string.
std::string Text(const Json& object, const char* key) {
  const Json* value = Member(object, key);
  return value && value->is_string() ? value->get<std::string>() : std::string();
}

const Json& Object(const Json& object, const char* key) {
  static const Json kNone = Json::object();
  const Json* value = Member(object, key);
  return value && value->is_object() ? *value : kNone;
}

const Json& Array(const Json& object, const char* key) {
  static const Json kNone = Json::array();
  const Json* value = Member(object, key);
  return value && value->is_array() ? *value : kNone;
}

// A whole number from low to high; none for another type, a fraction or one out of range.
std::optional<int> Count(const Json& object, const char* key, int low, int high) {
  const Json* value = Member(object, key);
  if (!value) return std::nullopt;
  if (value->is_number_unsigned()) {
    const auto number = value->get<uint64_t>();
    if (number >= uint64_t(low) && number <= uint64_t(high)) return int(number);
  } else if (value->is_number_integer()) {
    const auto number = value->get<int64_t>();
    if (number >= low && number <= high) return int(number);
  }
  return std::nullopt;
}

// "Name1 & Name2 feat. Name3": each credit's name, then its join phrase.
std::string Credits(const Json& object) {
  std::string joined;
  for (const Json& credit : Array(object, "artist-credit")) {
    std::string name = Text(credit, "name");
    if (name.empty()) name = Text(Object(credit, "artist"), "name");
    joined += name + Text(credit, "joinphrase");
  }
  return joined;
}

std::string YearOf(const std::string& date) {
  if (date.size() < 4) return {};
  for (size_t i = 0; i < 4; ++i)
    if (!std::isdigit(static_cast<unsigned char>(date[i]))) return {};
  return date.substr(0, 4);
}

bool HoldsDisc(const Json& medium, const std::string& discId) {
  for (const Json& disc : Array(medium, "discs"))
    if (Text(disc, "id") == discId) return true;
  return false;
}

std::optional<MusicBrainzRelease> ReleaseOf(const Json& json, const std::string& discId, int trackCount) {
  const Json& media = Array(json, "media");
  const Json* medium = nullptr;
  for (const Json& candidate : media) {
    const bool matches = discId.empty() ? Count(candidate, "track-count", 1, kMaxTracks) == trackCount ||
                                              Array(candidate, "tracks").size() == size_t(trackCount)
                                        : HoldsDisc(candidate, discId);
    if (matches) {
      medium = &candidate;
      break;
    }
  }
  if (!medium) return std::nullopt;

  MusicBrainzRelease release;
  release.releaseId = Text(json, "id");
  release.title = Text(json, "title");
  release.artist = Credits(json);
  release.date = Text(json, "date");
  release.firstReleaseDate = Text(Object(json, "release-group"), "first-release-date");
  release.year = YearOf(release.firstReleaseDate);
  if (release.year.empty()) release.year = YearOf(release.date);
  release.country = Text(json, "country");
  for (const Json& info : Array(json, "label-info")) {
    release.label = Text(Object(info, "label"), "name");
    release.catalogNumber = Text(info, "catalog-number");
    if (!release.label.empty() || !release.catalogNumber.empty()) break;
  }
  release.discNumber = Count(*medium, "position", 1, 999).value_or(0);
  release.discCount = int(std::min<size_t>(media.size(), 999));

  const Json& tracks = Array(*medium, "tracks");
  if (tracks.size() > kMaxTracks) return std::nullopt;
  for (const Json& entry : tracks) {
    const Json& recording = Object(entry, "recording");
    MusicBrainzTrack track;
    track.title = Text(entry, "title");
    if (track.title.empty()) track.title = Text(recording, "title");
    track.artist = Credits(entry);
    if (track.artist.empty()) track.artist = Credits(recording);
    if (track.artist.empty()) track.artist = release.artist;
    track.recordingId = Text(recording, "id");
    release.tracks.push_back(std::move(track));
  }
  release.trackCount = Count(*medium, "track-count", 1, kMaxTracks).value_or(int(release.tracks.size()));
  return release;
}

// nlohmann's message without its "[json.exception.parse_error.101] " tag.
std::string Reason(const std::exception& failure) {
  std::string text = failure.what();
  if (text.starts_with("[json.exception.")) {
    const size_t end = text.find("] ");
    if (end != std::string::npos) text.erase(0, end + 2);
  }
  return text;
}

}  // namespace

std::optional<std::vector<MusicBrainzRelease>> ParseMusicBrainzReleases(std::string_view json,
                                                                        const std::string& discId,
                                                                        int trackCount, std::string* error) {
  // The parser's complaint quotes the reply's bytes.
  const auto fail = [error](std::string_view why) {
    if (error) *error = "the reply is not MusicBrainz JSON: " + SanitizeServerText(why);
    return std::nullopt;
  };
  try {
    const Json reply = Json::parse(json);
    if (!reply.is_object()) return fail("it is not an object");
    const Json* releases = Member(reply, "releases");
    if (!releases || !releases->is_array()) return fail("it has no list of releases");
    std::vector<MusicBrainzRelease> found;
    for (const Json& release : *releases)
      if (std::optional<MusicBrainzRelease> one = ReleaseOf(release, discId, trackCount))
        found.push_back(std::move(*one));
    return found;
  } catch (const Json::exception& failure) {
    return fail(Reason(failure));
  } catch (const std::exception& failure) {
    // std::bad_alloc from a reply made of countless tiny values, among others.
    return fail(failure.what());
  }
}

}  // namespace korvi
