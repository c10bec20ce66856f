#include "settings/drive_read_offset.h"

#include "disc/offset_reader.h"
#include "verify/drive_offset_list.h"

namespace korvi {
namespace {

constexpr std::string_view kReadOffsetsKeyName = "ReadOffsets";
constexpr std::string_view kReadOffsetValue = "ReadOffset";

// A DWORD holding an offset a drive can have; a negative one is kept as its two's complement.
std::optional<int32_t> StoredOffset(const RegistryStore& store, const RegKey& key, std::string_view name) {
  const std::optional<RegValue> value = store.QueryValue(key, name);
  if (!value || value->type != kRegDword || value->data.size() != 4) return std::nullopt;
  const auto offset = static_cast<int32_t>(uint32_t(value->data[0]) | uint32_t(value->data[1]) << 8 |
                                           uint32_t(value->data[2]) << 16 | uint32_t(value->data[3]) << 24);
  if (offset < -kMaxReadOffset || offset > kMaxReadOffset) return std::nullopt;
  return offset;
}

}  // namespace

std::string ReadOffsetSourceText(ReadOffsetSource source) {
  switch (source) {
    case ReadOffsetSource::kModelSetting:
      return "your setting for this model";
    case ReadOffsetSource::kSetting:
      return "your setting for all drives";
    case ReadOffsetSource::kAccurateRipList:
      return "AccurateRip's drive list";
    case ReadOffsetSource::kNotKnown:
      break;
  }
  return "not known";
}

std::string ModelReadOffsetsKeyPath() { return JoinKeyPath(CAppSettings::OptionsKeyPath(), kReadOffsetsKeyName); }

std::optional<int32_t> LoadModelReadOffset(const RegistryStore& store, const std::string& model) {
  const std::optional<RegKey> key = store.OpenKey(ModelReadOffsetsKeyPath());
  return key ? StoredOffset(store, *key, NormalizedDriveName(model)) : std::nullopt;
}

bool SaveModelReadOffset(RegistryStore& store, const std::string& model, int32_t offset) {
  const std::string name = NormalizedDriveName(model);
  if (name.empty() || offset < -kMaxReadOffset || offset > kMaxReadOffset) return false;
  store.Reload();
  const std::optional<RegKey> key = store.CreateKey(ModelReadOffsetsKeyPath());
  const auto value = static_cast<uint32_t>(offset);
  const uint8_t bytes[] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
  return key && store.SetValue(*key, name, kRegDword, bytes) && store.Save();
}

DriveReadOffset ReadOffsetOfModel(const RegistryStore& store, const CAppSettings& settings, const std::string& model,
                                  bool askServer) {
  DriveReadOffset found;
  if (const std::optional<int32_t> offset = LoadModelReadOffset(store, model)) {
    found.offset = *offset;
    found.source = ReadOffsetSource::kModelSetting;
    return found;
  }
  // Written only once the user changed it, so a stored value is a choice they made.
  const std::optional<RegKey> options = store.OpenKey(CAppSettings::OptionsKeyPath());
  if (const std::optional<int32_t> offset = options ? StoredOffset(store, *options, kReadOffsetValue) : std::nullopt) {
    found.offset = *offset;
    found.source = ReadOffsetSource::kSetting;
    return found;
  }
  const DriveOffsetListCopy list = LoadDriveOffsetList(settings.DefaultLibFolder, askServer);
  found.problem = list.problem;
  if (list.list)
    if (const std::optional<int32_t> offset = list.list->OffsetOf(model)) {
      found.offset = *offset;
      found.source = ReadOffsetSource::kAccurateRipList;
    }
  return found;
}

}  // namespace korvi
