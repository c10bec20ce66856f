#include "settings/registry_store.h"

#include <algorithm>

#include "common/fs_util.h"
#include "text/utf16_text.h"

namespace korvi {

namespace {

constexpr mode_t kPrivateFolderMode = 0700;

bool IsValidKeyPath(std::string_view path) {
  if (path.empty() || path.front() == '\\' || path.back() == '\\' || path.front() == '-') return false;
  // A leading '-' would read back as a deletion entry; "\\" would be an empty subkey name.
  return path.find("\\\\") == std::string_view::npos && path.find_first_of("\r\n") == std::string_view::npos;
}

bool IsSubkeyOf(std::string_view candidate, std::string_view keyPath) {
  return candidate.size() > keyPath.size() && candidate[keyPath.size()] == '\\' &&
         EqualsIgnoringCase(candidate.substr(0, keyPath.size()), keyPath);
}

std::string_view AsText(std::span<const uint8_t> data) {
  return {reinterpret_cast<const char*>(data.data()), data.size()};
}

}  // namespace

std::string JoinKeyPath(std::string_view parent, std::string_view child) {
  std::string path(parent);
  path += '\\';
  path += child;
  return path;
}

RegistryStore RegistryStore::Open(std::string filePath) {
  RegistryStore store(std::move(filePath));
  store.Reload();
  return store;
}

RegistryStore RegistryStore::OpenForUser(const UserFolders& folders) {
  // Without a config folder there is nowhere to keep the file; the store stays empty.
  return Open(folders.config.empty() ? std::string() : folders.config + "/" + std::string(kFileName));
}

StoreState RegistryStore::Reload() {
  m_document = {};
  FileContents file = ReadWholeFile(m_filePath);
  if (file.status != ReadStatus::Ok) {
    m_state = file.status == ReadStatus::Missing ? StoreState::Missing : StoreState::Unreadable;
    return m_state;
  }
  std::optional<RegDocument> document = ParseRegFile(file.bytes);
  m_state = document ? StoreState::Loaded : StoreState::Unparsable;
  if (document) m_document = std::move(*document);
  return m_state;
}

bool RegistryStore::Save() {
  if (m_filePath.empty() || !MakeDirectories(ParentFolder(m_filePath), kPrivateFolderMode) ||
      !KeepUnparsableCopy())
    return false;
  if (!ReplaceFileAtomically(m_filePath, FormatRegFile(m_document))) return false;
  m_state = StoreState::Loaded;
  return true;
}

// Looks at the file as it is now rather than as it was at load time, so a file
// damaged since then is preserved too. A file that cannot be read cannot be
// judged, so it blocks the save instead of being overwritten blind.
bool RegistryStore::KeepUnparsableCopy() const {
  FileContents current = ReadWholeFile(m_filePath);
  if (current.status == ReadStatus::Missing) return true;
  if (current.status == ReadStatus::Error) return false;
  if (HasRegFileHeader(current.bytes)) return true;
  return ReplaceFileAtomically(m_filePath + std::string(kBadCopySuffix), current.bytes);
}

std::optional<RegKey> RegistryStore::OpenKey(std::string_view keyPath) const {
  auto matches = [keyPath](const RegSection& section) {
    return EqualsIgnoringCase(section.keyPath, keyPath) || IsSubkeyOf(section.keyPath, keyPath);
  };
  const auto& sections = m_document.sections;
  if (!IsValidKeyPath(keyPath) || std::none_of(sections.begin(), sections.end(), matches))
    return std::nullopt;
  return RegKey(std::string(keyPath));
}

std::optional<RegKey> RegistryStore::CreateKey(std::string_view keyPath) {
  if (!IsValidKeyPath(keyPath)) return std::nullopt;
  return RegKey(FindOrAddSection(m_document, keyPath).keyPath);
}

std::optional<RegValue> RegistryStore::QueryValue(const RegKey& key, std::string_view name) const {
  const RegSection* section = FindSection(m_document, key.Path());
  if (!section) return std::nullopt;
  for (const RegEntry& entry : section->entries) {
    if (entry.name && EqualsIgnoringCase(*entry.name, name)) return entry.value;
  }
  return std::nullopt;
}

bool RegistryStore::SetValue(const RegKey& key, std::string_view name, uint32_t type,
                             std::span<const uint8_t> data) {
  if (name.find_first_of("\r\n") != std::string_view::npos) return false;
  if (type == kRegExpandSz && !Utf8ToUtf16Le(AsText(data))) return false;
  RegEntry entry{std::string(name), RegValue{type, {data.begin(), data.end()}}, {}};
  PutEntry(FindOrAddSection(m_document, key.Path()), std::move(entry));
  return true;
}

}  // namespace korvi
