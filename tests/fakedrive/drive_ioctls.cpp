#include "fakedrive/drive_ioctls.h"

#include <linux/cdrom.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fakedrive/mmc_responder.h"

namespace korvi::fakedrive {
namespace {

constexpr int kFixedSenseBytes = 18;

void FillSense(const Sense& sense, uint8_t* out, size_t size) {
  uint8_t bytes[kFixedSenseBytes] = {};
  bytes[0] = 0x70;
  bytes[2] = sense.key;
  bytes[7] = kFixedSenseBytes - 8;
  bytes[12] = sense.asc;
  bytes[13] = sense.ascq;
  std::memcpy(out, bytes, std::min(size, sizeof bytes));
}

int Fail(int error) {
  errno = error;
  return -1;
}

int SendPacket(EmulatedDrive& drive, cdrom_generic_command& command) {
  Sense sense;
  const long n = RunMmcCommand(drive, command.cmd, CDROM_PACKET_SIZE, command.buffer, command.buflen, &sense);
  if (n >= 0) return 0;
  if (command.sense) FillSense(sense, reinterpret_cast<uint8_t*>(command.sense), sizeof(request_sense));
  command.stat = 0x02;
  return Fail(EIO);
}

int ScsiGeneric(EmulatedDrive& drive, sg_io_hdr& header) {
  if (header.interface_id != 'S' || !header.cmdp) return Fail(EINVAL);
  Sense sense;
  std::vector<uint8_t> cdb(header.cmdp, header.cmdp + header.cmd_len);
  const long n = RunMmcCommand(drive, cdb.data(), cdb.size(), static_cast<uint8_t*>(header.dxferp),
                               header.dxfer_len, &sense);
  header.host_status = header.driver_status = header.msg_status = 0;
  header.duration = 0;
  if (n >= 0) {
    header.status = header.masked_status = 0;
    header.sb_len_wr = 0;
    header.resid = int(header.dxfer_len) - int(n);
    header.info = SG_INFO_OK;
    return 0;
  }
  header.status = 0x02;         // CHECK CONDITION
  header.masked_status = 0x01;  // the same, shifted as the old interface has it
  header.driver_status = 0x08;  // sense data follows
  header.resid = int(header.dxfer_len);
  header.info = SG_INFO_CHECK;
  header.sb_len_wr = uint8_t(std::min<int>(header.mx_sb_len, kFixedSenseBytes));
  if (header.sbp) FillSense(sense, header.sbp, header.sb_len_wr);
  return 0;
}

int ReadTocEntry(EmulatedDrive& drive, cdrom_tocentry& entry) {
  Sense sense;
  const DiscToc* disc = drive.Toc(&sense);
  if (!disc) return Fail(ENOMEDIUM);
  const CDROM_TOC& toc = disc->toc;
  const int count = TocTrackCount(toc);
  const int index = entry.cdte_track == CDROM_LEADOUT ? count : entry.cdte_track - toc.FirstTrack;
  if (index < 0 || index > count) return Fail(EINVAL);
  const TRACK_DATA& track = toc.TrackData[index];
  entry.cdte_adr = track.ControlAdr >> 4;
  entry.cdte_ctrl = track.ControlAdr & 0x0F;
  entry.cdte_datamode = IsDataEntry(track) ? 1 : 0;
  if (entry.cdte_format == CDROM_MSF) {
    entry.cdte_addr.msf = {track.Address[1], track.Address[2], track.Address[3]};
  } else {
    entry.cdte_addr.lba = SectorFromMsf(track.Address);
  }
  return 0;
}

int32_t AudioStart(const cdrom_read_audio& read) {
  return read.addr_format == CDROM_MSF ? SectorFromMsf(read.addr.msf.minute, read.addr.msf.second, read.addr.msf.frame)
                                       : read.addr.lba;
}

int ReadAudio(EmulatedDrive& drive, cdrom_read_audio& read) {
  const int32_t start = AudioStart(read);
  if (read.nframes < 1 || read.nframes > CD_FRAMES) return Fail(EINVAL);
  Sense sense;
  if (drive.TakeUnitAttention(&sense)) return Fail(EIO);
  return drive.ReadSectors(start, read.nframes, read.buf, &sense) ? 0 : Fail(EIO);
}

int DiscStatus(EmulatedDrive& drive) {
  Sense sense;
  const DiscToc* disc = drive.Toc(&sense);
  if (!disc) return CDS_NO_INFO;
  bool data = false;
  bool audio = false;
  for (int i = 0; i < TocTrackCount(disc->toc); ++i)
    (IsDataEntry(disc->toc.TrackData[i]) ? data : audio) = true;
  return data && audio ? CDS_MIXED : data ? CDS_DATA_1 : CDS_AUDIO;
}

}  // namespace

int DriveIoctl(EmulatedDrive& drive, unsigned long request, void* argument) {
  // The packet and SCSI calls take the drive's lock themselves, per command.
  if (request == CDROM_SEND_PACKET) return SendPacket(drive, *static_cast<cdrom_generic_command*>(argument));
  if (request == SG_IO) return ScsiGeneric(drive, *static_cast<sg_io_hdr*>(argument));
  std::lock_guard lock(drive.Mutex());
  drive.FollowStateFile();
  // What the cache answers comes back without the disc's wait, as from a real drive's cache.
  const auto* audio = static_cast<const cdrom_read_audio*>(argument);
  if (request != CDROMREADAUDIO || !drive.CacheHolds(AudioStart(*audio), audio->nframes)) drive.Wait();
  Sense sense;
  switch (request) {
    case CDROM_GET_CAPABILITY:
      return CDC_CLOSE_TRAY | CDC_OPEN_TRAY | CDC_LOCK | CDC_SELECT_SPEED | CDC_MEDIA_CHANGED | CDC_PLAY_AUDIO |
             CDC_MCN | CDC_DRIVE_STATUS | CDC_GENERIC_PACKET | CDC_CD_R | CDC_CD_RW;
    case CDROM_DRIVE_STATUS:
      return drive.TrayOpen() ? CDS_TRAY_OPEN : drive.HasDisc() ? CDS_DISC_OK : CDS_NO_DISC;
    case CDROM_DISC_STATUS:
      return DiscStatus(drive);
    case CDROMREADTOCHDR: {
      const DiscToc* disc = drive.Toc(&sense);
      if (!disc) return Fail(ENOMEDIUM);
      auto* header = static_cast<cdrom_tochdr*>(argument);
      header->cdth_trk0 = disc->toc.FirstTrack;
      header->cdth_trk1 = disc->toc.LastTrack;
      return 0;
    }
    case CDROMREADTOCENTRY:
      return ReadTocEntry(drive, *static_cast<cdrom_tocentry*>(argument));
    case CDROMMULTISESSION: {
      if (!drive.Toc(&sense)) return Fail(ENOMEDIUM);
      auto* session = static_cast<cdrom_multisession*>(argument);
      session->xa_flag = 0;
      if (session->addr_format == CDROM_MSF)
        session->addr.msf = {0, 2, 0};
      else
        session->addr.lba = 0;
      return 0;
    }
    case CDROMREADAUDIO:
      return ReadAudio(drive, *static_cast<cdrom_read_audio*>(argument));
    case CDROM_MEDIA_CHANGED:
      return drive.TakeMediaChanged() ? 1 : 0;
    case CDROM_GET_MCN: {
      // The catalogue number from the disc's subchannel; a disc without one gives zeros.
      const DiscToc* disc = drive.Toc(&sense);
      if (!disc) return Fail(ENOMEDIUM);
      auto* mcn = static_cast<cdrom_mcn*>(argument);
      std::memset(mcn->medium_catalog_number, 0, sizeof mcn->medium_catalog_number);
      const std::string& catalog = disc->text.catalog;
      if (catalog.size() == 13) std::memcpy(mcn->medium_catalog_number, catalog.data(), 13);
      return 0;
    }
    case CDROM_LOCKDOOR:
      return 0;
    case CDROM_SELECT_SPEED:  // the speed in times real time, passed as the argument itself; 0 the maximum
      drive.SelectSpeed(double(reinterpret_cast<uintptr_t>(argument)));
      return 0;
    case CDROMEJECT:
      drive.SetTrayOpen(true);
      return 0;
    case CDROMCLOSETRAY:
      drive.SetTrayOpen(false);
      return 0;
    default:
      return Fail(EINVAL);
  }
}

}  // namespace korvi::fakedrive
