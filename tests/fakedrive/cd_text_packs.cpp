#include "fakedrive/cd_text_packs.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "text/utf8_text.h"

namespace korvi::fakedrive {
namespace {

constexpr size_t kPackBytes = 18;
constexpr size_t kPayloadBytes = 12;
constexpr uint8_t kTitle = 0x80;
constexpr uint8_t kSizeInfo = 0x8F;
constexpr uint8_t kEnglish = 0x09;

// What the disc's one block says in ISO 8859-1: a character outside it becomes '?'.
std::string Latin1(std::string_view utf8) {
  std::string out;
  for (size_t pos = 0; pos < utf8.size();) {
    const std::optional<char32_t> cp = DecodeUtf8(utf8, pos);
    if (!cp) {
      ++pos;
      out += '?';
      continue;
    }
    out += *cp != 0 && *cp < 0x100 ? char(*cp) : '?';
  }
  return out;
}

class PackWriter {
 public:
  // One pack type: each string (the disc's first, then each track's) ended by a zero, cut into
  // payloads; a pack names the string its first byte belongs to and how far into it that byte is.
  void AddType(uint8_t type, const std::vector<std::string>& strings, int firstTrack) {
    std::string bytes;
    std::vector<std::pair<size_t, int>> starts;  // where each string begins, and its track
    for (size_t i = 0; i < strings.size(); ++i) {
      starts.emplace_back(bytes.size(), i == 0 ? 0 : firstTrack + int(i) - 1);
      bytes += strings[i];
      bytes += '\0';
    }
    for (size_t at = 0; at < bytes.size(); at += kPayloadBytes) {
      size_t string = 0;
      while (string + 1 < starts.size() && starts[string + 1].first <= at) ++string;
      const size_t into = at - starts[string].first;
      std::array<uint8_t, kPayloadBytes> payload{};
      for (size_t i = 0; i < kPayloadBytes && at + i < bytes.size(); ++i) payload[i] = uint8_t(bytes[at + i]);
      Add(type, uint8_t(starts[string].second), uint8_t(into < 15 ? into : 15), payload);
    }
  }

  // The size information closes the block: character code, track range, pack counts per type,
  // the block's last sequence number and its language.
  std::vector<uint8_t> Finish(int firstTrack, int lastTrack) {
    m_counts[kSizeInfo - kTitle] = 3;
    std::array<uint8_t, 36> info{};
    info[0] = 0x00;  // ISO 8859-1
    info[1] = uint8_t(firstTrack);
    info[2] = uint8_t(lastTrack);
    for (size_t i = 0; i < 16; ++i) info[4 + i] = m_counts[i];
    info[20] = uint8_t(m_sequence + 2);  // the last of the three packs below
    info[28] = kEnglish;
    for (uint8_t i = 0; i < 3; ++i) {
      std::array<uint8_t, kPayloadBytes> payload{};
      std::copy_n(info.begin() + i * kPayloadBytes, kPayloadBytes, payload.begin());
      Add(kSizeInfo, i, 0, payload);
    }
    return std::move(m_packs);
  }

 private:
  void Add(uint8_t type, uint8_t track, uint8_t position, const std::array<uint8_t, kPayloadBytes>& payload) {
    const size_t at = m_packs.size();
    m_packs.resize(at + kPackBytes);
    uint8_t* pack = &m_packs[at];
    pack[0] = type;
    pack[1] = track;
    pack[2] = m_sequence++;
    pack[3] = position;  // block 0, single-byte characters
    std::copy(payload.begin(), payload.end(), pack + 4);
    const uint16_t crc = CdTextCrc(pack, 16);
    pack[16] = uint8_t(crc >> 8);
    pack[17] = uint8_t(crc);
    if (type != kSizeInfo) ++m_counts[type - kTitle];
  }

  std::vector<uint8_t> m_packs;
  uint8_t m_sequence = 0;
  std::array<uint8_t, 16> m_counts{};
};

}  // namespace

uint16_t CdTextCrc(const uint8_t* bytes, size_t count) {
  uint16_t crc = 0;
  for (size_t i = 0; i < count; ++i) {
    crc ^= uint16_t(bytes[i] << 8);
    for (int bit = 0; bit < 8; ++bit) crc = uint16_t(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
  }
  return uint16_t(~crc);
}

std::vector<uint8_t> CdTextPacks(const DiscText& text, int firstTrack, int lastTrack) {
  using Field = std::string CdTextFields::*;
  PackWriter writer;
  bool any = false;
  const Field fields[] = {&CdTextFields::title, &CdTextFields::performer, &CdTextFields::songwriter};
  for (uint8_t i = 0; i < 3; ++i) {
    const Field field = fields[i];
    std::vector<std::string> strings = {Latin1(text.disc.*field)};
    bool used = !strings[0].empty();
    for (int track = firstTrack; track <= lastTrack; ++track) {
      const size_t index = size_t(track - firstTrack);
      strings.push_back(index < text.tracks.size() ? Latin1(text.tracks[index].*field) : std::string());
      used = used || !strings.back().empty();
    }
    if (!used) continue;
    writer.AddType(uint8_t(kTitle + i), strings, firstTrack);
    any = true;
  }
  if (!any) return {};
  return writer.Finish(firstTrack, lastTrack);
}

}  // namespace korvi::fakedrive
