#include "metadata/musicbrainz_release.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <limits>
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

// Whether the medium has as many tracks as the disc, by its count or by its list.
bool HasTracks(const Json& medium, size_t count) {
  return Count(medium, "track-count", 1, kMaxTracks) == int(count) || Array(medium, "tracks").size() == count;
}

// The largest difference of one track's length from the disc's, in sectors; none when the lengths
// are not all known or their number differs.
std::optional<int64_t> Distance(const std::vector<int64_t>& lengths, const std::vector<int32_t>& disc) {
  if (lengths.size() != disc.size() || disc.empty()) return std::nullopt;
  int64_t worst = 0;
  for (size_t i = 0; i < disc.size(); ++i) worst = std::max(worst, std::abs(lengths[i] - int64_t(disc[i])));
  return worst;
}

// A disc id's track lengths, from its offsets (sectors, the lead-in included) and its lead-out.
std::optional<int64_t> DiscDistance(const Json& disc, const std::vector<int32_t>& trackSectors) {
  const Json& offsets = Array(disc, "offsets");
  const std::optional<int> leadOut = Count(disc, "sectors", 1, std::numeric_limits<int>::max());
  if (!leadOut || offsets.size() != trackSectors.size()) return std::nullopt;
  std::vector<int64_t> starts;
  for (const Json& offset : offsets) {
    if (!offset.is_number_unsigned()) return std::nullopt;
    starts.push_back(int64_t(std::min<uint64_t>(offset.get<uint64_t>(), uint64_t(INT32_MAX))));
  }
  starts.push_back(*leadOut);
  std::vector<int64_t> lengths;
  for (size_t i = 0; i + 1 < starts.size(); ++i) lengths.push_back(starts[i + 1] - starts[i]);
  return Distance(lengths, trackSectors);
}

// The medium's track lengths (milliseconds, the track's or else its recording's) in sectors.
std::optional<int64_t> TrackDistance(const Json& medium, const std::vector<int32_t>& trackSectors) {
  std::vector<int64_t> lengths;
  for (const Json& track : Array(medium, "tracks")) {
    std::optional<int> ms = Count(track, "length", 1, std::numeric_limits<int>::max());
    if (!ms) ms = Count(Object(track, "recording"), "length", 1, std::numeric_limits<int>::max());
    if (!ms) return std::nullopt;
    lengths.push_back((int64_t(*ms) * 75 + 500) / 1000);
  }
  return Distance(lengths, trackSectors);
}

// How far the medium is from the disc: the closest of its disc ids and its track lengths; none
// when nothing of it can be compared.
std::optional<int64_t> MediumDistance(const Json& medium, const std::vector<int32_t>& trackSectors) {
  std::optional<int64_t> best = TrackDistance(medium, trackSectors);
  for (const Json& disc : Array(medium, "discs"))
    if (const std::optional<int64_t> distance = DiscDistance(disc, trackSectors))
      best = best ? std::min(*best, *distance) : *distance;
  return best;
}

// The media of the release that may hold the disc: the one with its id; for a look-up by TOC the
// closest of those within a few sectors a track, or else every medium of as many tracks.
std::vector<const Json*> MediaFor(const Json& media, const std::string& discId,
                                  const std::vector<int32_t>& trackSectors, bool& close) {
  close = false;
  if (!discId.empty()) {
    for (const Json& medium : media)
      if (HoldsDisc(medium, discId)) return {&medium};
    return {};
  }
  std::vector<const Json*> sameCount;
  const Json* closest = nullptr;
  int64_t closestDistance = 0;
  for (const Json& medium : media) {
    if (!HasTracks(medium, trackSectors.size())) continue;
    sameCount.push_back(&medium);
    const std::optional<int64_t> distance = MediumDistance(medium, trackSectors);
    if (distance && *distance <= kCloseTrackSectors && (!closest || *distance < closestDistance)) {
      closest = &medium;
      closestDistance = *distance;
    }
  }
  if (!closest) return sameCount;
  close = true;
  return {closest};
}

std::optional<MusicBrainzRelease> ReleaseOf(const Json& json, const Json& medium, size_t mediaCount) {
  MusicBrainzRelease release;
  release.releaseId = Text(json, "id");
  release.title = Text(json, "title");
  release.artist = Credits(json);
  release.date = Text(json, "date");
  release.firstReleaseDate = Text(Object(json, "release-group"), "first-release-date");
  // The release's own year, as the date tag gives it; the first release's where it has none.
  release.year = YearOf(release.date);
  if (release.year.empty()) release.year = YearOf(release.firstReleaseDate);
  release.country = Text(json, "country");
  for (const Json& info : Array(json, "label-info")) {
    release.label = Text(Object(info, "label"), "name");
    release.catalogNumber = Text(info, "catalog-number");
    if (!release.label.empty() || !release.catalogNumber.empty()) break;
  }
  release.barcode = Text(json, "barcode");
  release.format = Text(medium, "format");
  release.discNumber = Count(medium, "position", 1, 999).value_or(0);
  release.discCount = int(std::min<size_t>(mediaCount, 999));

  const Json& tracks = Array(medium, "tracks");
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
  release.trackCount = Count(medium, "track-count", 1, kMaxTracks).value_or(int(release.tracks.size()));
  return release;
}

// What a reply would cost before it is built: a reply nested thousands deep, or made of countless
// tiny values, takes many times its size as a tree. The parse stops at the first bound passed.
class ShapeCheck final : public nlohmann::json_sax<Json> {
 public:
  const std::string& Why() const { return m_why; }

  bool null() override { return Item(); }
  bool boolean(bool) override { return Item(); }
  bool number_integer(number_integer_t) override { return Item(); }
  bool number_unsigned(number_unsigned_t) override { return Item(); }
  bool number_float(number_float_t, const string_t&) override { return Item(); }
  bool string(string_t&) override { return Item(); }
  bool binary(binary_t&) override { return Item(); }
  bool key(string_t&) override { return Item(); }
  bool start_object(std::size_t) override { return Enter(); }
  bool start_array(std::size_t) override { return Enter(); }
  bool end_object() override { return Leave(); }
  bool end_array() override { return Leave(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& failure) override;

 private:
  bool Item() {
    if (++m_items <= kMaxMusicBrainzItems) return true;
    m_why = "it holds more than " + std::to_string(kMaxMusicBrainzItems) + " values";
    return false;
  }
  bool Enter() {
    if (++m_depth <= kMaxMusicBrainzDepth) return Item();
    m_why = "it nests deeper than " + std::to_string(kMaxMusicBrainzDepth) + " levels";
    return false;
  }
  bool Leave() {
    --m_depth;
    return true;
  }

  int m_depth = 0;
  size_t m_items = 0;
  std::string m_why;
};

// nlohmann's message without its "[json.exception.parse_error.101] " tag.
std::string Reason(const std::exception& failure) {
  std::string text = failure.what();
  if (text.starts_with("[json.exception.")) {
    const size_t end = text.find("] ");
    if (end != std::string::npos) text.erase(0, end + 2);
  }
  return text;
}

bool ShapeCheck::parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& failure) {
  m_why = Reason(failure);
  return false;
}

}  // namespace

std::optional<std::vector<MusicBrainzRelease>> ParseMusicBrainzReleases(
    std::string_view json, const std::string& discId, const std::vector<int32_t>& trackSectors,
    std::string* error) {
  // The parser's complaint quotes the reply's bytes.
  const auto fail = [error](std::string_view why) {
    if (error) *error = "the reply is not MusicBrainz JSON: " + SanitizeServerText(why);
    return std::nullopt;
  };
  try {
    ShapeCheck shape;
    if (!Json::sax_parse(json, &shape)) return fail(shape.Why().empty() ? "it cannot be read" : shape.Why());
    const Json reply = Json::parse(json);
    if (!reply.is_object()) return fail("it is not an object");
    const Json* releases = Member(reply, "releases");
    if (!releases || !releases->is_array()) return fail("it has no list of releases");
    std::vector<MusicBrainzRelease> found;
    for (const Json& release : *releases) {
      const Json& media = Array(release, "media");
      bool close = false;
      for (const Json* medium : MediaFor(media, discId, trackSectors, close)) {
        std::optional<MusicBrainzRelease> one = ReleaseOf(release, *medium, media.size());
        if (!one) continue;
        one->closeMatch = close;
        found.push_back(std::move(*one));
      }
    }
    // The closest guess is the one taken without a choice.
    std::stable_partition(found.begin(), found.end(),
                          [](const MusicBrainzRelease& release) { return release.closeMatch; });
    return found;
  } catch (const Json::exception& failure) {
    return fail(Reason(failure));
  } catch (const std::exception& failure) {
    // std::bad_alloc, among others.
    return fail(failure.what());
  }
}

}  // namespace korvi
