#include "settings/user_folders.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "settings_test_util.h"

namespace korvi {
namespace {

using settings_test::ScopedEnv;
using settings_test::TempFolder;
using settings_test::WriteFile;

TEST(SettingsFolders, UserDirsMusicAssignment) {
  const std::string home = "/home/ana";
  EXPECT_EQ(MusicFolderFromUserDirs("XDG_MUSIC_DIR=\"$HOME/Musik\"\n", home), "/home/ana/Musik");
  EXPECT_EQ(MusicFolderFromUserDirs("XDG_MUSIC_DIR=\"$HOME\"", home), "/home/ana");
  EXPECT_EQ(MusicFolderFromUserDirs("XDG_MUSIC_DIR=\"/srv/My \\\"Best\\\" Music/\"", home),
            "/srv/My \"Best\" Music");
  EXPECT_EQ(MusicFolderFromUserDirs("XDG_MUSIC_DIR=$HOME/Bare # note", home), "/home/ana/Bare");
  EXPECT_EQ(MusicFolderFromUserDirs("XDG_MUSIC_DIR=\"$HOME/Musik\"", ""), std::nullopt);

  const char* const file =
      "# This file is written by xdg-user-dirs-update\r\n"
      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\r\n"
      "XDG_MUSIC_DIR=\"$HOME/Alt\"\n"
      "  XDG_MUSIC_DIR = \"$HOME/Musik\"  # the one in use\n"
      "# XDG_MUSIC_DIR=\"$HOME/Commented\"\n"
      "XDG_MUSIC_DIR=\"relative/ignored\"\n"
      "XDG_MUSIC_DIR=\"$HOMEWORK/ignored\"\n"
      "XDG_MUSIC_DIRS=\"$HOME/ignored\"\n"
      "XDG_MUSIC_DIR=\"$HOME/unterminated\n";
  EXPECT_EQ(MusicFolderFromUserDirs(file, home), "/home/ana/Musik");
  EXPECT_EQ(MusicFolderFromUserDirs("# nothing here\nXDG_VIDEOS_DIR=\"$HOME/Videos\"\n", home), std::nullopt);
}

TEST(SettingsFolders, FromEnvironmentUsesXdgVariablesAndUserDirs) {
  TempFolder root;
  ScopedEnv home("HOME", root / "home/");
  ScopedEnv config("XDG_CONFIG_HOME", root / "cfg");
  ScopedEnv data("XDG_DATA_HOME", root / "share/");
  WriteFile(root / "cfg/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Musik\"\n");

  UserFolders folders = UserFolders::FromEnvironment();
  EXPECT_EQ(folders.music, root / "home/Musik");
  EXPECT_EQ(folders.config, root / "cfg/korvi-cd-ripper");
  EXPECT_EQ(folders.appData, root / "share/korvi-cd-ripper");
}

TEST(SettingsFolders, DefaultsBelowHomeWhenXdgVariablesAreUnsetOrRelative) {
  TempFolder root;
  ScopedEnv home("HOME", root.Path());
  ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
  ScopedEnv data("XDG_DATA_HOME", "relative/share");

  UserFolders folders = UserFolders::FromEnvironment();
  EXPECT_EQ(folders.music, root / "Music");
  EXPECT_EQ(folders.config, root / ".config/korvi-cd-ripper");
  EXPECT_EQ(folders.appData, root / ".local/share/korvi-cd-ripper");

  WriteFile(root / ".config/user-dirs.dirs", "XDG_MUSIC_DIR=\"/mnt/audio\"\n");
  EXPECT_EQ(UserFolders::FromEnvironment().music, "/mnt/audio");
}

TEST(SettingsFolders, HomeFallsBackToPasswordDatabase) {
  ScopedEnv home("HOME", std::nullopt);
  const passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(HomeFolder(), entry->pw_dir);
}

}  // namespace
}  // namespace korvi
