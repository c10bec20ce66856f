#include "fakedrive/mmc_responder.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

namespace korvi::fakedrive {
namespace {

constexpr Sense kInvalidOpcode{0x05, 0x20, 0x00};
constexpr Sense kInvalidField{0x05, 0x24, 0x00};
constexpr int kUserDataBytes = 2048;
constexpr int kC2Bytes = EmulatedDrive::kC2BitsBytes;

using Reply = std::vector<uint8_t>;

uint32_t Big(const uint8_t* at, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | at[i];
  return value;
}

void PutBig(Reply& reply, size_t at, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i, value >>= 8) reply[at + size_t(i)] = uint8_t(value);
}

void PutText(Reply& reply, size_t at, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) reply[at + i] = i < text.size() ? uint8_t(text[i]) : ' ';
}

void PutAddress(Reply& reply, size_t at, const uint8_t address[4], bool msf) {
  if (msf) {
    std::memcpy(&reply[at], address, 4);
  } else {
    PutBig(reply, at, uint32_t(SectorFromMsf(address)), 4);
  }
}

Reply Inquiry(const DriveConfig& config) {
  Reply reply(36, 0);
  reply[0] = 0x05;  // CD/DVD device
  reply[1] = 0x80;  // removable medium
  reply[2] = 0x05;
  reply[3] = 0x02;
  reply[4] = 31;
  PutText(reply, 8, config.vendor, 8);
  PutText(reply, 16, config.model, 16);
  PutText(reply, 32, config.revision, 4);
  return reply;
}

// Formats 0 (tracks), 1 (sessions) and 2 (the raw TOC), as READ TOC/PMA/ATIP gives them.
bool ReadToc(const DiscToc& disc, const uint8_t* cdb, Reply& reply, Sense* sense) {
  const CDROM_TOC& toc = disc.toc;
  const int count = TocTrackCount(toc);
  const bool msf = (cdb[1] & 0x02) != 0;
  const int format = cdb[2] & 0x0F;
  reply.assign(4, 0);
  reply[2] = toc.FirstTrack;
  reply[3] = toc.LastTrack;
  const auto add = [&reply](std::initializer_list<uint8_t> bytes) { reply.insert(reply.end(), bytes); };
  if (format == 0) {
    for (int i = 0; i <= count; ++i) {
      const TRACK_DATA& entry = toc.TrackData[i];
      if (i < count && entry.TrackNumber < cdb[6]) continue;
      add({0, entry.ControlAdr, entry.TrackNumber, 0, 0, 0, 0, 0});
      PutAddress(reply, reply.size() - 4, entry.Address, msf);
    }
    if (reply.size() == 4) return *sense = kInvalidField, false;
  } else if (format == 1) {
    reply[2] = reply[3] = 1;
    add({0, toc.TrackData[0].ControlAdr, toc.TrackData[0].TrackNumber, 0, 0, 0, 0, 0});
    PutAddress(reply, reply.size() - 4, toc.TrackData[0].Address, msf);
  } else if (format == 2) {
    reply[2] = reply[3] = 1;
    const TRACK_DATA& lead = toc.TrackData[count];
    const uint8_t firstControl = toc.TrackData[0].ControlAdr;
    const uint8_t lastControl = toc.TrackData[count - 1].ControlAdr;
    add({1, firstControl, 0, 0xA0, 0, 0, 0, 0, toc.FirstTrack, 0, 0});
    add({1, lastControl, 0, 0xA1, 0, 0, 0, 0, toc.LastTrack, 0, 0});
    add({1, lead.ControlAdr, 0, 0xA2, 0, 0, 0, 0, lead.Address[1], lead.Address[2], lead.Address[3]});
    for (int i = 0; i < count; ++i) {
      const TRACK_DATA& entry = toc.TrackData[i];
      add({1, entry.ControlAdr, 0, entry.TrackNumber, 0, 0, 0, 0, entry.Address[1], entry.Address[2],
           entry.Address[3]});
    }
  } else {
    return *sense = kInvalidField, false;
  }
  PutBig(reply, 0, uint32_t(reply.size() - 2), 2);
  return true;
}

// READ CD: the sector's 2352 bytes, with the C2 error bits after them when asked: 294 bytes, or
// 296 with the block error byte (the OR of them all) and a pad byte after them.
bool ReadCd(EmulatedDrive& drive, const uint8_t* cdb, size_t dataLength, Reply& reply, Sense* sense) {
  const auto start = int32_t(Big(cdb + 2, 4));
  const auto count = int32_t(Big(cdb + 6, 3));
  const int c2 = (cdb[9] & 0x06) == 0x02 ? kC2Bytes : (cdb[9] & 0x06) == 0x04 ? kC2Bytes + 2 : 0;
  if ((cdb[9] & 0xF8) == 0 || (cdb[10] & 0x07) != 0) return *sense = kInvalidField, false;
  // More than the host's buffer holds is a request no kernel passes on.
  if (size_t(count) * size_t(kRawSectorBytes + c2) > dataLength) return *sense = kInvalidField, false;
  if (count == 0) return true;
  std::vector<uint8_t> audio(size_t(count) * kRawSectorBytes);
  std::vector<uint8_t> bits(size_t(count) * kC2Bytes);
  if (!drive.ReadSectors(start, count, audio.data(), sense, false, bits.data())) return false;
  const size_t stride = size_t(kRawSectorBytes + c2);
  reply.assign(size_t(count) * stride, 0);
  for (size_t i = 0; i < size_t(count); ++i) {
    std::memcpy(&reply[i * stride], &audio[i * kRawSectorBytes], kRawSectorBytes);
    if (c2 == 0) continue;
    const uint8_t* sectorBits = &bits[i * kC2Bytes];
    std::memcpy(&reply[i * stride + kRawSectorBytes], sectorBits, kC2Bytes);
    if (c2 > kC2Bytes)
      reply[i * stride + kRawSectorBytes + kC2Bytes] =
          std::accumulate(sectorBits, sectorBits + kC2Bytes, uint8_t(0), std::bit_or<uint8_t>());
  }
  return true;
}

// READ(10) and READ(12): whole sectors when the buffer holds them, else the data part of each.
bool ReadBlocks(EmulatedDrive& drive, const uint8_t* cdb, size_t dataLength, Reply& reply, Sense* sense) {
  const auto start = int32_t(Big(cdb + 2, 4));
  const auto count = int32_t(cdb[0] == 0x28 ? Big(cdb + 7, 2) : Big(cdb + 6, 4));
  if (size_t(count) * kUserDataBytes > dataLength) return *sense = kInvalidField, false;
  if (count == 0) return true;
  std::vector<uint8_t> raw(size_t(count) * kRawSectorBytes);
  const bool forceUnitAccess = (cdb[1] & 0x08) != 0;
  if (!drive.ReadSectors(start, count, raw.data(), sense, forceUnitAccess)) return false;
  if (dataLength >= raw.size()) return reply = std::move(raw), true;
  reply.resize(size_t(count) * kUserDataBytes);
  for (int32_t i = 0; i < count; ++i)
    std::memcpy(&reply[size_t(i) * kUserDataBytes], &raw[size_t(i) * kRawSectorBytes + 16], kUserDataBytes);
  return true;
}

// READ SUB-CHANNEL: with SubQ set, the position, the catalogue number (MCN) or a track's ISRC as
// the disc's Q subchannel carries them, the valid bit set where the disc has the code.
bool SubChannel(const DiscToc& disc, const uint8_t* cdb, Reply& reply, Sense* sense) {
  const uint8_t format = cdb[3];
  if (format < 1 || format > 3) return *sense = kInvalidField, false;
  reply.assign(4, 0);
  reply[1] = 0x15;  // no audio status
  if (cdb[2] & 0x40) {
    reply.resize(format == 1 ? 16 : 24, 0);
    reply[4] = format;
    std::string code;
    if (format == 2) code = disc.text.catalog;
    if (format == 3) {
      const int index = cdb[6] - disc.toc.FirstTrack;
      if (cdb[6] < disc.toc.FirstTrack || cdb[6] > disc.toc.LastTrack) return *sense = kInvalidField, false;
      reply[5] = disc.toc.TrackData[index].ControlAdr;
      reply[6] = cdb[6];
      if (size_t(index) < disc.text.tracks.size()) code = disc.text.tracks[size_t(index)].isrc;
    }
    const size_t width = format == 2 ? 13 : 12;
    if (format != 1 && code.size() == width) {
      reply[8] = 0x80;  // MCVAL / TCVAL
      std::memcpy(&reply[9], code.data(), width);
    }
  }
  PutBig(reply, 2, uint32_t(reply.size() - 4), 2);
  return true;
}

// READ TOC format 5: the CD-Text packs behind a header; a disc without CD-Text has none to give.
bool CdText(const std::vector<uint8_t>& packs, Reply& reply, Sense* sense) {
  if (packs.empty()) return *sense = kInvalidField, false;
  reply.assign(4, 0);
  reply.insert(reply.end(), packs.begin(), packs.end());
  PutBig(reply, 0, uint32_t(reply.size() - 2), 2);
  return true;
}

// Kilobytes a second as MMC counts them: 1x is 176.4.
constexpr double kKilobytesPerSpeed = 176.4;

uint32_t Kilobytes(double timesRealTime) { return uint32_t(timesRealTime * kKilobytesPerSpeed + 0.5); }

// The capabilities page: C2 pointers where the drive reports them, an accurate stream where reads
// do not jitter, the maximum and current read speeds (40x for a drive without a limit).
Reply Capabilities(const EmulatedDrive& drive, bool tenByteHeader) {
  Reply reply(tenByteHeader ? 8 : 4, 0);
  uint8_t page[] = {0x2A, 0x14, 0x03, 0x00, 0x01, 0x61, 0x29, 0x00, 0x00, 0x00, 0x01, 0x00,
                    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  const DriveConfig& config = drive.Config();
  if (config.c2) page[5] |= 0x10;
  if (config.jitter.empty()) page[5] |= 0x02;
  const size_t at = reply.size();
  reply.insert(reply.end(), std::begin(page), std::end(page));
  const uint32_t most = config.speed > 0 ? Kilobytes(config.speed) : Kilobytes(40);
  PutBig(reply, at + 8, most, 2);
  PutBig(reply, at + 14, drive.Speed() > 0 ? Kilobytes(drive.Speed()) : most, 2);
  if (tenByteHeader)
    PutBig(reply, 0, uint32_t(reply.size() - 2), 2);
  else
    reply[0] = uint8_t(reply.size() - 1);
  return reply;
}

// SET CD SPEED: the read speed in kilobytes a second, all ones (or 0) for the drive's maximum.
void SetCdSpeed(EmulatedDrive& drive, const uint8_t* cdb) {
  const uint32_t kilobytes = Big(cdb + 2, 2);
  drive.SelectSpeed(kilobytes == 0xFFFF ? 0 : double(kilobytes) / kKilobytesPerSpeed);
}

Reply Configuration() {
  // The header with the current profile (CD-ROM) and the profile list naming it.
  Reply reply = {0, 0, 0, 0, 0, 0, 0x00, 0x08, 0x00, 0x00, 0x03, 0x04, 0x00, 0x08, 0x01, 0x00};
  PutBig(reply, 0, uint32_t(reply.size() - 4), 4);
  return reply;
}

bool NeedsDisc(uint8_t opcode) {
  return opcode == 0x00 || opcode == 0x43 || opcode == 0xBE || opcode == 0x28 || opcode == 0xA8 ||
         opcode == 0x42 || opcode == 0x25;
}

// READ CD, READ(10) and READ(12) without FUA of sectors all in the cache.
bool AnsweredByCache(const EmulatedDrive& drive, const uint8_t* cdb, size_t cdbLength) {
  if (cdb[0] == 0xBE && cdbLength >= 12) return drive.CacheHolds(int32_t(Big(cdb + 2, 4)), int32_t(Big(cdb + 6, 3)));
  if (cdb[0] == 0x28 && cdbLength >= 10 && !(cdb[1] & 0x08))
    return drive.CacheHolds(int32_t(Big(cdb + 2, 4)), int32_t(Big(cdb + 7, 2)));
  if (cdb[0] == 0xA8 && cdbLength >= 12 && !(cdb[1] & 0x08))
    return drive.CacheHolds(int32_t(Big(cdb + 2, 4)), int32_t(Big(cdb + 6, 4)));
  return false;
}
// What a drive answers without reporting a change of disc first.
bool HeedlessOfChange(uint8_t opcode) { return opcode == 0x12 || opcode == 0x03 || opcode == 0x4A; }

bool Answer(EmulatedDrive& drive, const uint8_t* cdb, size_t dataLength, Reply& reply, Sense* sense) {
  const uint8_t opcode = cdb[0];
  if (!HeedlessOfChange(opcode) && drive.TakeUnitAttention(sense)) return false;
  const DiscToc* disc = NeedsDisc(opcode) ? drive.Toc(sense) : nullptr;
  if (NeedsDisc(opcode) && !disc) return false;
  switch (opcode) {
    case 0xBB:
      SetCdSpeed(drive, cdb);
      return true;
    case 0x00:  // TEST UNIT READY
    case 0x1E:  // PREVENT ALLOW MEDIUM REMOVAL
    case 0x15:  // MODE SELECT(6)
    case 0x55:  // MODE SELECT(10)
      return true;
    case 0x12:
      reply = Inquiry(drive.Config());
      return true;
    case 0x43:
      if ((cdb[2] & 0x0F) == 5) return CdText(drive.CdTextPacks(), reply, sense);
      return ReadToc(*disc, cdb, reply, sense);
    case 0xBE:
      return ReadCd(drive, cdb, dataLength, reply, sense);
    case 0x28:
    case 0xA8:
      return ReadBlocks(drive, cdb, dataLength, reply, sense);
    case 0x42:
      return SubChannel(*disc, cdb, reply, sense);
    case 0x25:  // READ CAPACITY
      reply.assign(8, 0);
      PutBig(reply, 0, uint32_t(drive.LeadOut() - 1), 4);
      PutBig(reply, 4, kUserDataBytes, 4);
      return true;
    case 0x46:
      reply = Configuration();
      return true;
    case 0x1A:
    case 0x5A:
      if ((cdb[2] & 0x3F) != 0x2A && (cdb[2] & 0x3F) != 0x3F) return *sense = kInvalidField, false;
      reply = Capabilities(drive, opcode == 0x5A);
      return true;
    case 0x1B:  // START STOP UNIT: with LoEj, eject or load
      if (cdb[4] & 0x02) drive.SetTrayOpen((cdb[4] & 0x01) == 0);
      return true;
    default:
      *sense = kInvalidOpcode;
      return false;
  }
}

}  // namespace

long RunMmcCommand(EmulatedDrive& drive, const uint8_t* cdb, size_t cdbLength, uint8_t* data, size_t dataLength,
                   Sense* sense) {
  if (cdbLength < 6) return *sense = kInvalidOpcode, -1;
  std::lock_guard lock(drive.Mutex());
  drive.FollowStateFile();
  // What the cache answers comes back without the disc's wait, as from a real drive's cache.
  if (!AnsweredByCache(drive, cdb, cdbLength)) drive.Wait();
  Reply reply;
  if (!Answer(drive, cdb, dataLength, reply, sense)) return -1;
  const size_t length = std::min(reply.size(), dataLength);
  if (length > 0 && data) std::memcpy(data, reply.data(), length);
  return long(length);
}

}  // namespace korvi::fakedrive
