#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvi::fakedrive {

struct SectorRange {
  int32_t first = 0;
  int32_t last = 0;
  bool Touches(int32_t start, int32_t count) const { return start <= last && start + count - 1 >= first; }
};

// One emulated drive as KORVI_FAKE_DRIVES describes it.
struct DriveConfig {
  std::string device;  // the path the drive answers at
  std::string image;   // any image the core's reader opens
  int32_t offsetSamples = 0;
  std::vector<SectorRange> bad;    // medium errors
  std::vector<SectorRange> flaky;  // sectors that read differently every time
  int32_t cacheSectors = 0;        // how many sectors the read cache holds
  std::string vendor = "KORVI";
  std::string model = "EMULATED CD";
  std::string revision = "1.00";
  bool trayOpen = false;
  bool noDisc = false;
  int latencyUs = 0;                // every command's overhead, given in (fractional) milliseconds
  bool c2 = false;                  // reports C2 error pointers for the bytes it damaged
  std::vector<SectorRange> jitter;  // reads starting here come back shifted by a few samples
  double speed = 0;                 // times real time (75 sectors a second); 0 for no limit
  // After this many sectors have been read the tray opens (openAfter) or the disc is changed for
  // changeTo, or the same image again (changeAfter); -1: never.
  int32_t openAfter = -1;
  int32_t changeAfter = -1;
  std::string changeTo;
  // A file whose content, read again whenever it changes, sets the tray and the disc while a
  // program runs: "open", "closed", "nodisc" or "disc=IMAGE".
  std::string stateFile;
};

// 'DEVICE=IMAGE,behaviour,...;...'. Entries or behaviours it cannot read are named in *error and
// leave the list empty, so that a typing mistake never passes for a drive without the fault.
std::vector<DriveConfig> ParseDriveList(const std::string& text, std::string* error);

}  // namespace korvi::fakedrive
