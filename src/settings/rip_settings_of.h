#pragma once
// From the user's options to a rip job's settings: the job itself knows nothing of the store.

#include "rip/rip_job.h"
#include "settings/app_settings.h"

namespace korvi {

// The job's settings as the user's options give them, for a disc read from a drive (drive) or
// from an image, which holds the disc's samples as they are: read once, no offset. The caller sets
// the folder, the format and the report.
RipSettings RipSettingsOf(const CAppSettings& user, const DiscToc& disc, bool drive);

}  // namespace korvi
