#include "settings/rip_settings_of.h"

namespace korvi {

RipSettings RipSettingsOf(const CAppSettings& user, const DiscToc& disc, bool drive) {
  RipSettings settings;
  settings.replacePrompt = user.ReplacePrompt;
  static_cast<FormatOptions&>(settings.writer) = user;
  settings.encoderJobs = user.EncoderJobs;
  settings.progressMessages = false;
  settings.readMode = drive ? static_cast<ReadMode>(user.ReadMode) : ReadMode::kBurst;
  settings.readOffset = drive ? user.ReadOffset : 0;
  settings.testAndCopy = drive && user.TestAndCopy;
  settings.readSpeed = user.ReadSpeed;
  settings.ejectAfterRip = user.EjectAfterRip;
  settings.disc = disc;
  // Verification and the reports judge the audio as it is, from a drive or an image alike.
  settings.verifyAccurateRip = user.VerifyAccurateRip;
  settings.writeLog = user.WriteLog;
  settings.writeCueSheet = user.WriteCueSheet;
  settings.writeTags = user.TagsV2;
  return settings;
}

}  // namespace korvi
