#include "disc/read_toc.h"

#include "disc/cd_device.h"
#include "disc/track_rows.h"

namespace korvi {

int ReadTocIntoRows(CdDevice* device, DiscToc& disc, ITrackRows& rows) {
  rows.DeleteAllRows();
  if (!device || !device->ReadToc(disc)) return -1;
  AppendTrackRows(rows, disc);
  return 0;
}

}  // namespace korvi
