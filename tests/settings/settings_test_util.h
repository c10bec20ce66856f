// Throwaway folders, files and environment for the settings tests; the real
// home folder is never touched.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "settings/reg_file.h"
#include "settings/user_folders.h"

namespace korvi {

inline void PrintTo(const RegValue& value, std::ostream* out) {
  *out << "type " << value.type << ", bytes";
  for (uint8_t byte : value.data) *out << ' ' << std::hex << unsigned{byte} << std::dec;
}

}  // namespace korvi

namespace korvi::settings_test {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "korvi-settings-XXXXXX").string();
    if (mkdtemp(pattern.data())) m_path = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string operator/(std::string_view name) const { return m_path + "/" + std::string(name); }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

inline void WriteFile(const std::string& path, std::string_view bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sets (or with nullopt, unsets) one variable for the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    Apply(value);
  }
  ~ScopedEnv() { Apply(m_old); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Apply(const std::optional<std::string>& value) {
    if (value)
      setenv(m_name, value->c_str(), 1);
    else
      unsetenv(m_name);
  }
  const char* m_name;
  std::optional<std::string> m_old;
};

// A user whose home and XDG folders all live in a temporary folder.
struct TempUser {
  TempFolder root;
  ScopedEnv home{"HOME", root / "home"};
  ScopedEnv config{"XDG_CONFIG_HOME", root / "config"};
  ScopedEnv data{"XDG_DATA_HOME", root / "data"};
  UserFolders folders = UserFolders::FromEnvironment();
  std::string storePath = folders.config + "/registry.reg";
};

}  // namespace korvi::settings_test
