// korvi-cli xmcd FILE: a CDDB entry from a file, parsed as a server's entry is, printed as JSON.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

#include "cddb/cddb_client.h"
#include "cddb/xmcd_parser.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "common/fs_util.h"
#include "text/utf8_text.h"

namespace korvi::cli {
namespace {

// No CDDB entry comes near this; a larger file is not one.
constexpr size_t kMaxEntryBytes = kCddbMaxReplyBytes;

// A JSON string: quotes, backslashes and control characters escaped; the text is UTF-8.
std::string JsonString(std::string_view raw) {
  const std::string text = ToUtf8(raw);
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

template <typename T, typename Format>
std::string JsonArray(const std::vector<T>& items, Format format) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + format(items[i]);
  return out + "]";
}

std::string RecordJson(const CCDDBRecord& record) {
  char id[16];
  std::snprintf(id, sizeof id, "%08x", record.discId);
  const auto number = [](int32_t value) { return std::to_string(value); };
  const auto text = [](const std::string& value) { return JsonString(value); };
  return std::string("{") + "\"discid\":" + JsonString(id) + ",\"artist\":" + JsonString(record.discArtist) +
         ",\"title\":" + JsonString(record.discTitle) + ",\"year\":" + number(record.year) +
         ",\"genre\":" + JsonString(record.genre) + ",\"disc_length\":" + number(record.discLength) +
         ",\"revision\":" + number(record.revision) + ",\"client_name\":" + JsonString(record.clientName) +
         ",\"client_version\":" + JsonString(record.clientVersion) +
         ",\"client_remark\":" + JsonString(record.clientRemark) +
         ",\"offsets\":" + JsonArray(record.trackFrameOffsets, number) +
         ",\"track_titles\":" + JsonArray(record.trackTitles, text) +
         ",\"extd\":" + JsonString(record.extendedDiscData) +
         ",\"extt\":" + JsonArray(record.extendedTrackData, text) +
         ",\"play_order\":" + JsonArray(record.playOrder, number) + "}";
}

bool ReadEntryFile(const std::string& path, std::string& text, std::string& error) {
  uint64_t size = 0;
  const UniqueFd fd = OpenRegularFile(path, &error, &size);
  if (!fd.Valid()) return false;
  if (size > kMaxEntryBytes) {
    error = path + " is larger than any CDDB entry (over 1 MiB)";
    return false;
  }
  if (!ReadUpTo(fd.Get(), kMaxEntryBytes, text)) {
    error = text.size() > kMaxEntryBytes ? path + " is larger than any CDDB entry (over 1 MiB)"
                                         : "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

int Xmcd(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string error;
  const std::optional<std::string> path = ParseXmcdOptions(args, error);
  if (!path) {
    err << "korvi-cli: " << error << '\n';
    return kExitUsage;
  }
  std::string text;
  if (!ReadEntryFile(*path, text, error)) {
    err << "korvi-cli: " << error << '\n';
    return kExitFailed;
  }
  CCDDBRecord record;
  std::string reason;
  if (!ParseXmcd(text, record, &reason)) {
    err << "korvi-cli: " << *path << ": not a valid CDDB entry: " << reason << '\n';
    return kExitFailed;
  }
  out << RecordJson(record) << '\n';
  return kExitOk;
}

}  // namespace korvi::cli
