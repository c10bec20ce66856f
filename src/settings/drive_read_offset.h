#pragma once
// A drive's read offset, per drive model: the user's setting for the model (kept under
// Options\ReadOffsets, a value per model), else the single ReadOffset of earlier versions when it
// was stored (so that a setting made then still holds), else AccurateRip's drive list, else none.

#include <cstdint>
#include <optional>
#include <string>

#include "settings/app_settings.h"
#include "settings/registry_store.h"

namespace korvi {

enum class ReadOffsetSource { kModelSetting, kSetting, kAccurateRipList, kNotKnown };

struct DriveReadOffset {
  int32_t offset = 0;
  ReadOffsetSource source = ReadOffsetSource::kNotKnown;
  std::string problem;  // why AccurateRip's list could not be asked, when it was needed
};

// "your setting for this model", "your setting for all drives", "AccurateRip's drive list",
// "not known".
std::string ReadOffsetSourceText(ReadOffsetSource source);

// "Options\ReadOffsets" under the options key.
std::string ModelReadOffsetsKeyPath();

// The offset stored for the model ("VENDOR - MODEL"); nullopt when none or out of range.
std::optional<int32_t> LoadModelReadOffset(const RegistryStore& store, const std::string& model);
// Stores it (re-reading the file first, as the options are saved); false when it cannot be written.
bool SaveModelReadOffset(RegistryStore& store, const std::string& model, int32_t offset);

// The offset for the model, in the order above (settings give the library folder). The drive list
// is read from the library folder's copy, and asked of the server when askServer and the copy is
// missing or old.
DriveReadOffset ReadOffsetOfModel(const RegistryStore& store, const CAppSettings& settings, const std::string& model,
                                  bool askServer);

}  // namespace korvi
