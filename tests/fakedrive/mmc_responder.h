#pragma once

#include <cstddef>
#include <cstdint>

#include "fakedrive/emulated_drive.h"

namespace korvi::fakedrive {

// Answers one MMC command (the CDB as the kernel's packet and SCSI generic calls pass it) as a CD
// drive does. On success the bytes transferred; -1 for CHECK CONDITION with *sense set.
long RunMmcCommand(EmulatedDrive& drive, const uint8_t* cdb, size_t cdbLength, uint8_t* data, size_t dataLength,
                   Sense* sense);

}  // namespace korvi::fakedrive
