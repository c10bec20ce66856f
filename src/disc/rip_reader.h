#pragma once
// What a rip reads from: the device, through paranoia in secure mode, shifted back by the drive's
// read offset. The rip job sees one source and never learns which.

#include <cstdint>
#include <memory>
#include <string>

#include "disc/cdrom_toc.h"
#include "disc/sector_source.h"

namespace korvi {

enum class ReadMode : int32_t {
  kSecure = 0,  // every sector verified by paranoia
  kBurst = 1,   // read once, in batches
};

class OffsetSectorSource;
class SecureSectorSource;

class RipReader {
 public:
  // Null when the reader cannot be set up (the cause in *error): secure reading and an offset need
  // the disc's table of contents.
  static std::unique_ptr<RipReader> Open(ISectorSource& device, const DiscToc& disc, ReadMode mode,
                                         int32_t offsetSamples, std::string* error = nullptr);
  ~RipReader();
  RipReader(const RipReader&) = delete;
  RipReader& operator=(const RipReader&) = delete;

  ISectorSource& Source() { return *m_top; }

 private:
  RipReader() = default;
  std::unique_ptr<SecureSectorSource> m_secure;
  std::unique_ptr<OffsetSectorSource> m_offset;
  ISectorSource* m_top = nullptr;
};

}  // namespace korvi
