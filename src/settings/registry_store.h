// A per-user typed key/value store with the shape of the platform registry API
// (open/create a key, query/set typed values), kept in one registry-export text
// file, by default <config folder>/registry.reg.
//
// The file is read when the store is opened and written only by Save(), which
// replaces it atomically. A file that does not start with the export header is
// treated as holding no values; before it is first overwritten it is copied to
// "<file>.bad" so nothing the user had is lost.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "settings/reg_file.h"
#include "settings/user_folders.h"

namespace korvi {

inline constexpr std::string_view kCurrentUserRoot = "HKEY_CURRENT_USER";

// "a" + "b" -> "a\b".
std::string JoinKeyPath(std::string_view parent, std::string_view child);

enum class StoreState {
  Missing,  // no file yet: the store is empty
  Loaded,
  Unreadable,  // the file exists but could not be read: empty, and Save() refuses
  Unparsable,  // no export header: empty, and Save() keeps a ".bad" copy first
};

// A key known to exist in the store; only the store hands these out.
class RegKey {
 public:
  const std::string& Path() const { return m_path; }

 private:
  friend class RegistryStore;
  explicit RegKey(std::string path) : m_path(std::move(path)) {}
  std::string m_path;
};

class RegistryStore {
 public:
  static constexpr std::string_view kFileName = "registry.reg";
  static constexpr std::string_view kBadCopySuffix = ".bad";

  static RegistryStore Open(std::string filePath);
  static RegistryStore OpenForUser(const UserFolders& folders);

  // Re-reads the file, dropping unsaved changes.
  StoreState Reload();
  StoreState State() const { return m_state; }

  // Creates the folder if needed. False leaves the file exactly as it was.
  bool Save();

  // Full paths such as "HKEY_CURRENT_USER\Software\...", compared ignoring ASCII case.
  // A key exists when it has a section of its own or any subkey does.
  std::optional<RegKey> OpenKey(std::string_view keyPath) const;
  // Fails only for a path that cannot name a key (empty, empty parts, line breaks).
  std::optional<RegKey> CreateKey(std::string_view keyPath);

  // "" names the key's default value.
  std::optional<RegValue> QueryValue(const RegKey& key, std::string_view name) const;
  // Fails for a name with a line break, or REG_EXPAND_SZ data that is not UTF-8.
  bool SetValue(const RegKey& key, std::string_view name, uint32_t type, std::span<const uint8_t> data);

 private:
  explicit RegistryStore(std::string filePath) : m_filePath(std::move(filePath)) {}

  bool KeepUnparsableCopy() const;

  std::string m_filePath;
  StoreState m_state = StoreState::Missing;
  RegDocument m_document;
};

}  // namespace korvi
