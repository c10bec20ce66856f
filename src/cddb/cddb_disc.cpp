// The disc-id step of the client: positions from the drive's table of contents, as the CD audio
// device would report them.
#include "cddb/cddb_client.h"
#include "disc/cd_device.h"

namespace korvi {

bool CCDDB::GetDiscTrackPositions(std::vector<CCDDBTrackPosition>& positions, const std::string& drive) {
  positions.clear();
  std::string name = drive;
  if (name.empty()) {
    const std::vector<std::string> drives = EnumerateDrives();
    if (drives.empty()) {
      m_lastMciError = kMciErrInvalidDeviceName;
      m_lastFailureText = "no CD drive";
      return false;
    }
    name = drives.front();
  }
  std::string error;
  const std::unique_ptr<CdDevice> device = CdDevice::Open(name, &error);
  if (!device) {
    m_lastMciError = kMciErrInvalidDeviceName;
    m_lastFailureText = error;
    return false;
  }
  DiscToc disc;
  if (!device->ReadToc(disc)) {
    m_lastMciError = kMciErrDeviceNotReady;
    m_lastFailureText = device->lastError();
    return false;
  }
  m_lastMciError = 0;
  if (TrackPositionsFromToc(disc.toc, positions)) return true;
  m_lastFailureText = "the disc holds no audio track";
  return false;
}

bool CCDDB::GetDiscId(const std::string& drive, uint32_t& discId) {
  std::vector<CCDDBTrackPosition> positions;
  if (!GetDiscTrackPositions(positions, drive)) return false;
  discId = ComputeDiscId(positions);
  return true;
}

}  // namespace korvi
