#pragma once
// One program at a time rips from a drive. Two rippers on one drive would seek over each other
// and each get a slow, doubtful copy, so a rip holds the drive's claim while it runs and a second
// program asking for it is told the drive is busy.

#include <optional>
#include <string>

#include "common/fs_util.h"

namespace korvi {

class DriveClaim {
 public:
  // The claim on a drive's device path, released when the returned object goes. Nullopt when
  // another program holds it, with "the drive D is busy: another program is ripping from it" in
  // *error. A claim that cannot be asked for (the device cannot be opened here) is not refused:
  // the rip itself then says what is wrong with the drive.
  static std::optional<DriveClaim> Take(const std::string& device, std::string* error);

 private:
  explicit DriveClaim(UniqueFd fd) : m_fd(std::move(fd)) {}
  UniqueFd m_fd;
};

}  // namespace korvi
