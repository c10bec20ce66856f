#include "settings/app_settings.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "common/fs_util.h"
#include "rip/job_limits.h"

namespace korvi {

namespace {

// A folder value longer than any path the system takes (PATH_MAX counts the NUL) is refused.
constexpr size_t kMaxPathBytes = PATH_MAX;
constexpr uint32_t kAllBitsSet = 0xffffffff;
constexpr mode_t kMusicFolderMode = 0755;
constexpr mode_t kDataFolderMode = 0700;

constexpr std::string_view kShowSelectorBeforeSave = "ShowSelectorBeforeSave";
constexpr std::string_view kGetDiscInfoAutomatically = "GetDiscInfoAutomatically";
constexpr std::string_view kSaveLibraryAutomatically = "SaveLibraryAutomatically";
constexpr std::string_view kDefaultFolder = "DefaultFolder";
constexpr std::string_view kDefaultLibFolder = "DefaultLibFolder";
constexpr std::string_view kReplacePrompt = "ReplacePrompt";
constexpr std::string_view kEncoderJobs = "EncoderJobs";
constexpr std::string_view kReadMode = "ReadMode";
constexpr std::string_view kReadOffset = "ReadOffset";
constexpr std::string_view kTestAndCopy = "TestAndCopy";
constexpr std::string_view kReadSpeed = "ReadSpeed";
constexpr std::string_view kEjectAfterRip = "EjectAfterRip";
constexpr std::string_view kVerifyAccurateRip = "VerifyAccurateRip";
constexpr std::string_view kWriteLog = "WriteLog";
constexpr std::string_view kWriteCueSheet = "WriteCueSheet";
constexpr std::string_view kTagsV2 = "TagsV2";
constexpr std::string_view kCddbEmail = "CDDBEmail";
constexpr std::string_view kLookupOrder = "LookupOrder";
// The read offsets a drive can have, in samples.
constexpr int32_t kReadOffsetLimit = 3000;

std::string LibraryFolderIn(const std::string& appData) {
  return appData.empty() ? std::string() : appData + "/DiscInfo";
}

// All bits set means "not stored". Data shorter than four bytes fills the low
// bytes of an all-ones word, as a preset 4-byte query buffer would, so empty
// data is missing too.
std::optional<uint32_t> ReadDword(const RegistryStore& store, const RegKey& key, std::string_view name) {
  std::optional<RegValue> value = store.QueryValue(key, name);
  if (!value || value->type != kRegDword || value->data.size() > sizeof(uint32_t)) return std::nullopt;
  uint32_t number = kAllBitsSet;
  for (size_t i = 0; i < value->data.size(); ++i) {
    number &= ~(uint32_t{0xff} << (8 * i));
    number |= uint32_t{value->data[i]} << (8 * i);
  }
  if (number == kAllBitsSet) return std::nullopt;
  return number;
}

// The text ends at the first NUL, as it would in a C buffer.
std::optional<std::string> ReadString(const RegistryStore& store, const RegKey& key, std::string_view name) {
  std::optional<RegValue> value = store.QueryValue(key, name);
  if (!value || value->data.size() > kMaxPathBytes) return std::nullopt;
  if (value->type != kRegSz && value->type != kRegExpandSz) return std::nullopt;
  const std::vector<uint8_t>& data = value->data;
  if (!data.empty() && data.back() != 0) return std::nullopt;
  return std::string(data.begin(), std::find(data.begin(), data.end(), uint8_t{0}));
}

void ReadFlag(const RegistryStore& store, const RegKey& key, std::string_view name, bool& field) {
  if (std::optional<uint32_t> value = ReadDword(store, key, name)) field = *value != 0;
}

// A switch as a flag; a number as it is stored when the option takes any, else only an allowed one.
void LoadFormatOption(const RegistryStore& store, const RegKey& key, const FormatOption& option,
                      FormatOptions& options) {
  const std::optional<uint32_t> stored = ReadDword(store, key, option.settingsKey);
  if (!stored) return;
  const int32_t value = option.kind == OptionKind::kSwitch ? (*stored != 0) : static_cast<int32_t>(*stored);
  if (option.loadsAnyNumber || option.Allows(value)) option.Set(options, value);
}

bool WriteDword(RegistryStore& store, const RegKey& key, std::string_view name, uint32_t value) {
  const uint8_t bytes[] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                           static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return store.SetValue(key, name, kRegDword, bytes);
}

// A value that came after the nine: written once it differs from its default or is stored already.
bool WriteLaterDword(RegistryStore& store, const RegKey& key, std::string_view name, uint32_t value,
                     bool isDefault) {
  return (isDefault && !store.QueryValue(key, name)) || WriteDword(store, key, name, value);
}

bool WriteString(RegistryStore& store, const RegKey& key, std::string_view name, const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return store.SetValue(key, name, kRegSz, bytes);
}

// A later text: written once it differs from its default or is stored already.
bool WriteLaterString(RegistryStore& store, const RegKey& key, std::string_view name, const std::string& text,
                      bool isDefault) {
  return (isDefault && !store.QueryValue(key, name)) || WriteString(store, key, name, text);
}

}  // namespace

CAppSettings::CAppSettings() : CAppSettings(UserFolders::FromEnvironment()) {}

CAppSettings::CAppSettings(const UserFolders& folders)
    : DefaultFolder(folders.music), DefaultLibFolder(LibraryFolderIn(folders.appData)) {
  if (!DefaultFolder.empty()) MakeDirectories(DefaultFolder, kMusicFolderMode);
  if (!DefaultLibFolder.empty()) MakeDirectories(DefaultLibFolder, kDataFolderMode);
}

std::string CAppSettings::OptionsKeyPath() {
  return JoinKeyPath(JoinKeyPath(kCurrentUserRoot, kAppKeyPath), kOptionsKeyName);
}

bool CAppSettings::LoadFromRegistry(const RegistryStore& store) {
  std::optional<RegKey> key = store.OpenKey(OptionsKeyPath());
  if (!key) return false;
  LoadFlags(store, *key);
  if (LoadFolders(store, *key)) {
    LoadEncoderOptions(store, *key);
    LoadReadOptions(store, *key);
    LoadLookupOptions(store, *key);
  }
  return true;
}

void CAppSettings::LoadFlags(const RegistryStore& store, const RegKey& key) {
  ReadFlag(store, key, kShowSelectorBeforeSave, ShowSelectorBeforeSave);
  ReadFlag(store, key, kGetDiscInfoAutomatically, GetDiscInfoAutomatically);
  ReadFlag(store, key, kSaveLibraryAutomatically, SaveLibraryAutomatically);
  ReadFlag(store, key, kReplacePrompt, ReplacePrompt);
}

bool CAppSettings::LoadFolders(const RegistryStore& store, const RegKey& key) {
  std::optional<std::string> folder = ReadString(store, key, kDefaultFolder);
  if (!folder) return false;
  DefaultFolder = std::move(*folder);
  std::optional<std::string> libraryFolder = ReadString(store, key, kDefaultLibFolder);
  if (!libraryFolder) return false;
  DefaultLibFolder = std::move(*libraryFolder);
  return true;
}

void CAppSettings::LoadEncoderOptions(const RegistryStore& store, const RegKey& key) {
  for (const OutputFormatInfo& format : OutputFormats())
    for (const FormatOption& option : format.options) LoadFormatOption(store, key, option, *this);
  if (std::optional<uint32_t> jobs = ReadDword(store, key, kEncoderJobs); jobs && *jobs <= kMaxEncoderJobs)
    EncoderJobs = static_cast<int32_t>(*jobs);
}

void CAppSettings::LoadReadOptions(const RegistryStore& store, const RegKey& key) {
  if (std::optional<uint32_t> mode = ReadDword(store, key, kReadMode); mode && *mode <= 1)
    ReadMode = static_cast<int32_t>(*mode);
  // A negative offset is kept as its 32-bit two's complement.
  if (std::optional<uint32_t> offset = ReadDword(store, key, kReadOffset)) {
    const auto value = static_cast<int32_t>(*offset);
    if (value >= -kReadOffsetLimit && value <= kReadOffsetLimit) ReadOffset = value;
  }
  ReadFlag(store, key, kTestAndCopy, TestAndCopy);
  if (std::optional<uint32_t> speed = ReadDword(store, key, kReadSpeed); speed && *speed <= kMaxReadSpeed)
    ReadSpeed = static_cast<int32_t>(*speed);
  ReadFlag(store, key, kEjectAfterRip, EjectAfterRip);
  ReadFlag(store, key, kVerifyAccurateRip, VerifyAccurateRip);
  ReadFlag(store, key, kWriteLog, WriteLog);
  ReadFlag(store, key, kWriteCueSheet, WriteCueSheet);
  ReadFlag(store, key, kTagsV2, TagsV2);
}

void CAppSettings::LoadLookupOptions(const RegistryStore& store, const RegKey& key) {
  if (std::optional<std::string> email = ReadString(store, key, kCddbEmail)) CDDBEmail = std::move(*email);
  // Spelled as the program spells it; a value that names no source gives the default order.
  if (std::optional<std::string> order = ReadString(store, key, kLookupOrder))
    LookupOrder = FormatLookupOrder(ParseLookupOrder(*order));
}

bool CAppSettings::SaveToRegistry(RegistryStore& store) const {
  store.Reload();
  std::optional<RegKey> key = store.CreateKey(OptionsKeyPath());
  return key && WriteAll(store, *key) && store.Save();
}

bool CAppSettings::WriteAll(RegistryStore& store, const RegKey& key) const {
  return WriteDword(store, key, kShowSelectorBeforeSave, ShowSelectorBeforeSave ? 1 : 0) &&
         WriteDword(store, key, kGetDiscInfoAutomatically, GetDiscInfoAutomatically ? 1 : 0) &&
         WriteDword(store, key, kSaveLibraryAutomatically, SaveLibraryAutomatically ? 1 : 0) &&
         WriteString(store, key, kDefaultFolder, DefaultFolder) &&
         WriteString(store, key, kDefaultLibFolder, DefaultLibFolder) &&
         WriteDword(store, key, kReplacePrompt, ReplacePrompt ? 1 : 0) &&
         WriteFormatOptions(store, key, true) && WriteLaterValues(store, key) &&
         WriteFormatOptions(store, key, false);
}

bool CAppSettings::WriteFormatOptions(RegistryStore& store, const RegKey& key, bool always) const {
  for (const OutputFormatInfo& format : OutputFormats())
    for (const FormatOption& option : format.options) {
      if (option.alwaysWritten != always) continue;
      const int32_t value = option.Get(*this);
      const auto stored = static_cast<uint32_t>(value);
      const bool written = always ? WriteDword(store, key, option.settingsKey, stored)
                                  : WriteLaterDword(store, key, option.settingsKey, stored, value == option.defaultValue);
      if (!written) return false;
    }
  return true;
}

bool CAppSettings::WriteLaterValues(RegistryStore& store, const RegKey& key) const {
  // At their defaults a settings file holds the nine values it always held.
  return WriteLaterDword(store, key, kEncoderJobs, static_cast<uint32_t>(EncoderJobs), EncoderJobs == 0) &&
         WriteLaterDword(store, key, kReadMode, static_cast<uint32_t>(ReadMode), ReadMode == 0) &&
         WriteLaterDword(store, key, kReadOffset, static_cast<uint32_t>(ReadOffset), ReadOffset == 0) &&
         WriteLaterDword(store, key, kTestAndCopy, TestAndCopy ? 1 : 0, !TestAndCopy) &&
         WriteLaterDword(store, key, kReadSpeed, static_cast<uint32_t>(ReadSpeed), ReadSpeed == 0) &&
         WriteLaterDword(store, key, kEjectAfterRip, EjectAfterRip ? 1 : 0, !EjectAfterRip) &&
         WriteLaterDword(store, key, kVerifyAccurateRip, VerifyAccurateRip ? 1 : 0, VerifyAccurateRip) &&
         WriteLaterDword(store, key, kWriteLog, WriteLog ? 1 : 0, WriteLog) &&
         WriteLaterDword(store, key, kWriteCueSheet, WriteCueSheet ? 1 : 0, WriteCueSheet) &&
         WriteLaterDword(store, key, kTagsV2, TagsV2 ? 1 : 0, TagsV2) &&
         WriteLaterString(store, key, kCddbEmail, CDDBEmail, CDDBEmail.empty()) &&
         WriteLaterString(store, key, kLookupOrder, LookupOrder, LookupOrder == kDefaultLookupOrder);
}

}  // namespace korvi
