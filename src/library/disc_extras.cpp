#include "library/disc_extras.h"

#include <zlib.h>

#include <charconv>
#include <climits>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include "text/utf8_text.h"

namespace korvi {
namespace {

using Json = nlohmann::json;
// Written in this key order, so that the file reads top down as the suggested layout.
using OrderedJson = nlohmann::ordered_json;

constexpr int kFormat = 1;

// A member of the right type, or nothing; a member of any other type makes `ok` false, so that a
// file of wrong types is refused whole rather than read in part.
class Reader {
 public:
  explicit Reader(const Json& object) : m_object(object) {}
  bool ok() const { return m_ok; }

  void Text(const char* key, std::string& field) {
    const Json* value = Find(key);
    if (!value) return;
    if (!value->is_string()) {
      m_ok = false;
      return;
    }
    // Texts are shown on one line, a terminal's included, as the library file's titles are.
    field = ReplaceControls(value->get_ref<const std::string&>(), ' ');
  }

  void Count(const char* key, int& field) {
    const Json* value = Find(key);
    if (!value) return;
    if (!value->is_number_unsigned() || value->get<uint64_t>() > uint64_t(INT_MAX)) {
      m_ok = false;
      return;
    }
    field = static_cast<int>(value->get<uint64_t>());
  }

  void Texts(const char* key, std::vector<std::string>& field) {
    const Json* value = Find(key);
    if (!value) return;
    if (!value->is_array()) {
      m_ok = false;
      return;
    }
    std::vector<std::string> texts;
    for (const Json& item : *value) {
      if (!item.is_string()) {
        m_ok = false;
        return;
      }
      texts.push_back(ReplaceControls(item.get_ref<const std::string&>(), ' '));
    }
    field = std::move(texts);
  }

  // A number written as 1 to 8 hex digits.
  void Hex(const char* key, std::optional<uint32_t>& field) {
    const Json* value = Find(key);
    if (!value) return;
    const std::string* text = value->is_string() ? &value->get_ref<const std::string&>() : nullptr;
    uint32_t number = 0;
    if (!text || text->empty() || text->size() > 8 ||
        std::from_chars(text->data(), text->data() + text->size(), number, 16).ptr !=
            text->data() + text->size()) {
      m_ok = false;
      return;
    }
    field = number;
  }

  // The member when it is an object, null when it is missing; another type is refused.
  const Json* Object(const char* key) {
    const Json* value = Find(key);
    if (value && !value->is_object()) {
      m_ok = false;
      return nullptr;
    }
    return value;
  }

 private:
  const Json* Find(const char* key) const {
    const auto found = m_object.find(key);
    return found == m_object.end() ? nullptr : &*found;
  }

  const Json& m_object;
  bool m_ok = true;
};

void PutText(OrderedJson& object, const char* key, const std::string& text) {
  if (!text.empty()) object[key] = text;
}

void PutCount(OrderedJson& object, const char* key, int count) {
  if (count > 0) object[key] = count;
}

std::string HexText(uint32_t number) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", number);
  return text;
}

}  // namespace

bool DiscExtras::empty() const { return *this == DiscExtras(); }

ExtrasStamp StampOf(uint32_t discId, const std::string& libraryFileBytes) {
  uLong crc = crc32(0, nullptr, 0);
  // A library file is far below zlib's 4 GiB a call.
  crc = crc32(crc, reinterpret_cast<const Bytef*>(libraryFileBytes.data()),
              static_cast<uInt>(libraryFileBytes.size()));
  return {discId, static_cast<uint32_t>(crc)};
}

std::string FormatDiscExtras(const DiscExtras& extras, const std::optional<ExtrasStamp>& stamp) {
  OrderedJson musicBrainz = OrderedJson::object();
  PutText(musicBrainz, "disc_id", extras.musicBrainzDiscId);
  PutText(musicBrainz, "release_id", extras.musicBrainzReleaseId);
  PutText(musicBrainz, "release_date", extras.releaseDate);
  PutText(musicBrainz, "first_release_date", extras.originalDate);
  PutText(musicBrainz, "country", extras.releaseCountry);
  PutText(musicBrainz, "label", extras.label);
  PutText(musicBrainz, "catalog_number", extras.catalogNumber);
  PutCount(musicBrainz, "disc_number", extras.discNumber);
  PutCount(musicBrainz, "disc_count", extras.discCount);
  if (!extras.recordingIds.empty()) musicBrainz["recording_ids"] = extras.recordingIds;

  OrderedJson file = OrderedJson::object();
  file["format"] = kFormat;
  PutText(file, "source", extras.source);
  PutText(file, "genre", extras.genre);
  if (!musicBrainz.empty()) file["musicbrainz"] = std::move(musicBrainz);
  if (stamp) file["library_file"] = {{"disc_id", HexText(stamp->discId)}, {"crc32", HexText(stamp->crc32)}};
  // Text that is not UTF-8 is written with replacement characters instead of throwing.
  return file.dump(2, ' ', false, Json::error_handler_t::replace) + '\n';
}

bool ParseDiscExtras(const std::string& text, size_t trackCount, DiscExtras& extras,
                     std::optional<ExtrasStamp>* stamp) {
  const Json file = Json::parse(text, nullptr, false);
  if (!file.is_object()) return false;
  const auto format = file.find("format");
  if (format == file.end() || !format->is_number_unsigned() || format->get<uint64_t>() != kFormat)
    return false;

  DiscExtras read;
  Reader top(file);
  top.Text("source", read.source);
  top.Text("genre", read.genre);
  if (const Json* musicBrainz = top.Object("musicbrainz")) {
    Reader inner(*musicBrainz);
    inner.Text("disc_id", read.musicBrainzDiscId);
    inner.Text("release_id", read.musicBrainzReleaseId);
    inner.Text("release_date", read.releaseDate);
    inner.Text("first_release_date", read.originalDate);
    inner.Text("country", read.releaseCountry);
    inner.Text("label", read.label);
    inner.Text("catalog_number", read.catalogNumber);
    inner.Count("disc_number", read.discNumber);
    inner.Count("disc_count", read.discCount);
    inner.Texts("recording_ids", read.recordingIds);
    if (!inner.ok()) return false;
  }
  std::optional<ExtrasStamp> readStamp;
  if (const Json* libraryFile = top.Object("library_file")) {
    Reader inner(*libraryFile);
    std::optional<uint32_t> discId, crc;
    inner.Hex("disc_id", discId);
    inner.Hex("crc32", crc);
    // Half a stamp is a damaged one, not none.
    if (!inner.ok() || !discId || !crc) return false;
    readStamp = ExtrasStamp{*discId, *crc};
  }
  // More recordings than tracks: the file belongs to another disc of the same CDDB id.
  if (!top.ok() || read.recordingIds.size() > trackCount) return false;
  extras = std::move(read);
  if (stamp) *stamp = readStamp;
  return true;
}

}  // namespace korvi
