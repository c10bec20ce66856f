// The user's options, kept in the per-user registry store under
// HKEY_CURRENT_USER\<kAppKeyPath>\Options.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/output_format.h"
#include "metadata/lookup_order.h"
#include "settings/registry_store.h"
#include "settings/user_folders.h"

namespace korvi {

inline constexpr std::string_view kAppKeyPath = "Software\\Tessaline Technology\\Korvi CD Ripper";
inline constexpr std::string_view kOptionsKeyName = "Options";

// The format options (BPS, SaveID3Tag, CompressionLevel, FlacLevel, OpusBitrate) are kept under the
// format table's keys, by its rules.
class CAppSettings : public FormatOptions {
 public:
  bool ShowSelectorBeforeSave = true;
  bool GetDiscInfoAutomatically = true;
  bool SaveLibraryAutomatically = true;
  bool ReplacePrompt = true;
  std::string DefaultFolder;     // where ripped files go; the music folder by default
  std::string DefaultLibFolder;  // where disc information is kept
  int32_t EncoderJobs = 0;        // tracks encoded at once; 0: one per core
  int32_t ReadMode = 0;           // 0 secure (verified through paranoia), 1 burst; for drives
  int32_t ReadOffset = 0;         // the drive's read offset in samples, −3000 to 3000; for drives
  bool TestAndCopy = false;       // each track read twice and the two reads compared
  int32_t ReadSpeed = 0;          // a drive's read speed in times real time; 0: its fastest
  bool EjectAfterRip = false;     // the drive's tray opened when a rip ends without a failure
  bool VerifyAccurateRip = true;  // each ripped track matched against the AccurateRip database
  bool WriteLog = true;           // a rip log beside the files
  bool WriteCueSheet = true;      // a cue sheet beside the files
  bool TagsV2 = true;             // full tags (ID3v2, APEv2, Vorbis comments) in the ripped files
  std::string CDDBEmail;          // the user's address in the CDDB hello; empty: login and host names
  // The online sources a lookup asks after the library, in order, comma-separated; empty: none.
  std::string LookupOrder = kDefaultLookupOrder;

  // Defaults for the folders of this environment's user.
  CAppSettings();
  // Defaults for `folders`. Creates the music folder and the library folder
  // (with its parents) when missing; a failure there is not an error.
  explicit CAppSettings(const UserFolders& folders);

  // "HKEY_CURRENT_USER\Software\...\Options".
  static std::string OptionsKeyPath();

  // Values that are absent or unusable leave their field as it is. An unusable
  // DefaultFolder or DefaultLibFolder also leaves every option stored after it.
  // False when the store has no options key; never an error for the user.
  bool LoadFromRegistry(const RegistryStore& store);

  // Re-reads the store's file so values written since it was opened survive, writes all nine
  // options (and each later one once it differs from its default or was stored) and saves. False
  // when the file could not be written, in which case nothing changed on disk.
  bool SaveToRegistry(RegistryStore& store) const;

 private:
  void LoadFlags(const RegistryStore& store, const RegKey& key);
  bool LoadFolders(const RegistryStore& store, const RegKey& key);
  void LoadEncoderOptions(const RegistryStore& store, const RegKey& key);
  void LoadReadOptions(const RegistryStore& store, const RegKey& key);
  void LoadLookupOptions(const RegistryStore& store, const RegKey& key);
  bool WriteAll(RegistryStore& store, const RegKey& key) const;
  bool WriteLaterValues(RegistryStore& store, const RegKey& key) const;
  // The format options that are among the nine (always) or came later.
  bool WriteFormatOptions(RegistryStore& store, const RegKey& key, bool always) const;
};

}  // namespace korvi
