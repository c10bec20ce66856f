#pragma once

#include "fakedrive/emulated_drive.h"

namespace korvi::fakedrive {

// Answers an ioctl on a descriptor of the drive as the kernel's CD-ROM driver does: the CD-ROM
// calls, and MMC commands sent as packets or through SCSI generic. -1 with errno on failure.
int DriveIoctl(EmulatedDrive& drive, unsigned long request, void* argument);

}  // namespace korvi::fakedrive
