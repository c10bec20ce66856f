#include "disc/drive_claim.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace korvi {

std::optional<DriveClaim> DriveClaim::Take(const std::string& device, std::string* error) {
  // An advisory lock on the device node, not an exclusive open: the kernel refuses O_EXCL on a
  // drive whose data session the desktop has mounted, which would refuse a rip of an enhanced CD.
  UniqueFd fd(::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.Valid()) return DriveClaim(UniqueFd());
  int result;
  do {
    result = ::flock(fd.Get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0 && errno == EWOULDBLOCK) {
    if (error) *error = "the drive " + device + " is busy: another program is ripping from it";
    return std::nullopt;
  }
  return DriveClaim(std::move(fd));
}

}  // namespace korvi
