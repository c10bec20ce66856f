// Where this user's music, application data and configuration live, resolved
// from the XDG base-directory variables and user-dirs.dirs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvi {

inline constexpr std::string_view kAppFolderName = "korvi-cd-ripper";

struct UserFolders {
  std::string music;    // XDG music folder, else $HOME/Music
  std::string appData;  // $XDG_DATA_HOME/korvi-cd-ripper
  std::string config;   // $XDG_CONFIG_HOME/korvi-cd-ripper

  // Any folder that cannot be formed (no home and no XDG variable) is left empty.
  static UserFolders FromEnvironment();
};

// $HOME, else the password database entry; "" when neither is known.
std::string HomeFolder();

// The XDG_MUSIC_DIR assignment of a user-dirs.dirs text, "$HOME" expanded. The
// last valid assignment wins, as when the shell sources the file; nullopt when
// there is none or it is not an absolute path.
std::optional<std::string> MusicFolderFromUserDirs(std::string_view userDirsText, std::string_view home);

}  // namespace korvi
