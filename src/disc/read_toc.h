#pragma once
// Reading a disc's table of contents into the track rows.

#include "disc/cdrom_toc.h"

namespace korvi {

class CdDevice;
class ITrackRows;

// Empties the rows, reads the table of contents of device into disc and appends one checked row
// per listed audio track (see ListedTracksOf). -1 when there is no device or the read fails (the
// rows stay empty), else 0.
int ReadTocIntoRows(CdDevice* device, DiscToc& disc, ITrackRows& rows);

}  // namespace korvi
