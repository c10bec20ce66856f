#include "settings/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "common/fs_util.h"

namespace korvi {

namespace {

constexpr std::string_view kMusicVariable = "XDG_MUSIC_DIR";
constexpr std::string_view kHomeVariable = "$HOME";

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string JoinPath(std::string_view folder, std::string_view child) {
  std::string path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path += child;
  return path;
}

std::string PasswordDatabaseHome() {
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
  struct passwd entry {};
  struct passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) != 0 || !result ||
      !result->pw_dir)
    return "";
  return result->pw_dir;
}

// An XDG base variable counts only when absolute; otherwise home + fallback.
std::string BaseFolder(const char* variable, std::string_view home, std::string_view fallback) {
  std::string value = Environment(variable);
  if (value.starts_with('/')) return WithoutTrailingSlashes(value);
  return home.empty() ? "" : JoinPath(home, fallback);
}

std::string_view Trim(std::string_view s) {
  size_t begin = s.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return {};
  return s.substr(begin, s.find_last_not_of(" \t\r") - begin + 1);
}

// The shell word after '=': a "..." string with backslash escapes, or a bare word.
std::optional<std::string> ShellWord(std::string_view text) {
  if (!text.starts_with('"')) return std::string(text.substr(0, text.find_first_of(" \t#")));
  std::string word;
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '"') return word;
    if (text[i] == '\\' && i + 1 < text.size()) ++i;
    word += text[i];
  }
  return std::nullopt;
}

std::optional<std::string> ExpandHome(const std::string& path, std::string_view home) {
  std::string_view rest = path;
  if (rest.starts_with(kHomeVariable) &&
      (rest.size() == kHomeVariable.size() || rest[kHomeVariable.size()] == '/')) {
    if (home.empty()) return std::nullopt;
    rest.remove_prefix(kHomeVariable.size());
    std::string expanded = home == "/" ? std::string(rest) : std::string(home) + std::string(rest);
    return expanded.empty() ? "/" : WithoutTrailingSlashes(expanded);
  }
  if (!path.starts_with('/')) return std::nullopt;
  return WithoutTrailingSlashes(path);
}

std::optional<std::string> MusicAssignment(std::string_view line, std::string_view home) {
  line = Trim(line);
  if (!line.starts_with(kMusicVariable)) return std::nullopt;
  line = Trim(line.substr(kMusicVariable.size()));
  if (!line.starts_with('=')) return std::nullopt;
  std::optional<std::string> word = ShellWord(Trim(line.substr(1)));
  return word ? ExpandHome(*word, home) : std::nullopt;
}

}  // namespace

std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (home.empty()) home = PasswordDatabaseHome();
  return WithoutTrailingSlashes(home);
}

std::optional<std::string> MusicFolderFromUserDirs(std::string_view userDirsText, std::string_view home) {
  std::optional<std::string> music;
  while (!userDirsText.empty()) {
    size_t end = userDirsText.find('\n');
    if (std::optional<std::string> assigned = MusicAssignment(userDirsText.substr(0, end), home))
      music = std::move(assigned);
    if (end == std::string_view::npos) break;
    userDirsText.remove_prefix(end + 1);
  }
  return music;
}

UserFolders UserFolders::FromEnvironment() {
  std::string home = HomeFolder();
  std::string configBase = BaseFolder("XDG_CONFIG_HOME", home, ".config");
  std::string dataBase = BaseFolder("XDG_DATA_HOME", home, ".local/share");

  UserFolders folders;
  if (!configBase.empty()) {
    FileContents userDirs = ReadWholeFile(JoinPath(configBase, "user-dirs.dirs"));
    if (userDirs.status == ReadStatus::Ok)
      folders.music = MusicFolderFromUserDirs(userDirs.bytes, home).value_or("");
    folders.config = JoinPath(configBase, kAppFolderName);
  }
  if (folders.music.empty() && !home.empty()) folders.music = JoinPath(home, "Music");
  if (!dataBase.empty()) folders.appData = JoinPath(dataBase, kAppFolderName);
  return folders;
}

}  // namespace korvi
