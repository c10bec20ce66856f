#include "verify/drive_offset_list.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "disc/offset_reader.h"

namespace korvi {
namespace {

constexpr size_t kRecordBytes = 69;
constexpr size_t kNameOffset = 2;
constexpr size_t kNameBytes = 32;

// The name field up to its first NUL; nullopt when it holds anything but printable ASCII.
std::optional<std::string> NameField(const uint8_t* field) {
  std::string name;
  for (size_t i = 0; i < kNameBytes && field[i] != 0; ++i) {
    if (field[i] < 0x20 || field[i] > 0x7E) return std::nullopt;
    name += char(field[i]);
  }
  return name;
}

}  // namespace

std::string NormalizedDriveName(std::string_view name) {
  std::string out;
  bool blank = false;
  for (const char c : name) {
    if (c == ' ' || c == '\t') {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += char(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

std::optional<DriveOffsetList> DriveOffsetList::Parse(std::string_view bytes, std::string* reason) {
  const auto refuse = [reason](std::string why) -> std::optional<DriveOffsetList> {
    if (reason) *reason = std::move(why);
    return std::nullopt;
  };
  if (bytes.empty()) return refuse("the drive list is empty");
  if (bytes.size() > kMaxDriveOffsetListBytes)
    return refuse("the drive list is larger than " + std::to_string(kMaxDriveOffsetListBytes) + " bytes");
  if (bytes.size() % kRecordBytes != 0)
    return refuse("the drive list's " + std::to_string(bytes.size()) + " bytes are not whole " +
                  std::to_string(kRecordBytes) + "-byte records");
  DriveOffsetList list;
  for (size_t at = 0; at < bytes.size(); at += kRecordBytes) {
    const auto* record = reinterpret_cast<const uint8_t*>(bytes.data() + at);
    const auto offset = static_cast<int16_t>(uint16_t(record[0] | record[1] << 8));
    std::optional<std::string> name = NameField(record + kNameOffset);
    if (!name || NormalizedDriveName(*name).empty() || offset < -kMaxReadOffset || offset > kMaxReadOffset) continue;
    list.m_entries.push_back({std::move(*name), offset});
  }
  if (list.m_entries.empty()) return refuse("the drive list names no drive");
  return list;
}

std::optional<int32_t> DriveOffsetList::OffsetOf(std::string_view modelName) const {
  const std::string wanted = NormalizedDriveName(modelName);
  for (const DriveOffsetEntry& entry : m_entries)
    if (NormalizedDriveName(entry.name) == wanted) return entry.offset;
  return std::nullopt;
}

std::vector<int32_t> DriveOffsetList::PopularOffsets() const {
  std::map<int32_t, int> drives;
  for (const DriveOffsetEntry& entry : m_entries) ++drives[entry.offset];
  std::vector<std::pair<int, int32_t>> ranked;
  for (const auto& [offset, count] : drives) ranked.emplace_back(-count, offset);
  std::sort(ranked.begin(), ranked.end());
  std::vector<int32_t> offsets;
  for (const auto& [count, offset] : ranked) offsets.push_back(offset);
  return offsets;
}

}  // namespace korvi
