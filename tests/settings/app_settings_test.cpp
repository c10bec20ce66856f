#include "settings/app_settings.h"

#include <gtest/gtest.h>

#include <tuple>

#include "settings_test_util.h"

namespace korvi {
namespace {

using settings_test::ReadFile;
using settings_test::WriteFile;
namespace fs = std::filesystem;

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";
const std::string kOptionsSection =
    "[HKEY_CURRENT_USER\\Software\\Tessaline Technology\\Korvi CD Ripper\\Options]\n";

auto Fields(const CAppSettings& s) {
  return std::tuple(s.ShowSelectorBeforeSave, s.GetDiscInfoAutomatically, s.SaveLibraryAutomatically,
                    s.ReplacePrompt, s.DefaultFolder, s.DefaultLibFolder, s.BPS, s.SaveID3Tag,
                    s.CompressionLevel);
}

class SettingsApp : public testing::Test {
 protected:
  settings_test::TempUser user;
  const std::string music = user.folders.music;
  const std::string library = user.folders.appData + "/DiscInfo";

  void WriteOptions(const std::string& lines) {
    WriteFile(user.storePath, kHeader + kOptionsSection + lines);
  }

  CAppSettings Loaded(CAppSettings settings) {
    settings.LoadFromRegistry(RegistryStore::Open(user.storePath));
    return settings;
  }
  CAppSettings Loaded() { return Loaded(CAppSettings(user.folders)); }
  bool Save(const CAppSettings& settings) {
    RegistryStore store = RegistryStore::Open(user.storePath);
    return settings.SaveToRegistry(store);
  }
};

TEST_F(SettingsApp, FirstRunUsesDefaultsCreatesFoldersAndWritesNothing) {
  ASSERT_FALSE(fs::exists(user.folders.appData));
  CAppSettings settings;  // the environment points at the temporary user
  EXPECT_EQ(Fields(settings), std::tuple(true, true, true, true, music, library, 192, true, 2000));
  EXPECT_TRUE(fs::is_directory(library));
  EXPECT_TRUE(fs::is_directory(music));
  EXPECT_FALSE(settings.LoadFromRegistry(RegistryStore::Open(user.storePath)));
  EXPECT_FALSE(fs::exists(user.folders.config));

  ASSERT_TRUE(Save(settings));
  EXPECT_EQ(ReadFile(user.storePath), kHeader + kOptionsSection +
                                          "\"ShowSelectorBeforeSave\"=dword:00000001\n"
                                          "\"GetDiscInfoAutomatically\"=dword:00000001\n"
                                          "\"SaveLibraryAutomatically\"=dword:00000001\n"
                                          "\"DefaultFolder\"=\"" +
                                          music +
                                          "\"\n"
                                          "\"DefaultLibFolder\"=\"" +
                                          library +
                                          "\"\n"
                                          "\"ReplacePrompt\"=dword:00000001\n"
                                          "\"BPS\"=dword:000000c0\n"
                                          "\"SaveID3Tag\"=dword:00000001\n"
                                          "\"CompressionLevel\"=dword:000007d0\n\n");
}

TEST_F(SettingsApp, SavedValuesReadBackEqual) {
  CAppSettings settings(user.folders);
  std::tie(settings.ShowSelectorBeforeSave, settings.SaveLibraryAutomatically, settings.SaveID3Tag) =
      std::tuple(false, false, false);
  settings.DefaultFolder = "/srv/rips \"best\" \\ \xC3\xA9";
  settings.DefaultLibFolder = "";
  settings.BPS = 320;
  settings.CompressionLevel = -5;
  ASSERT_TRUE(Save(settings));
  EXPECT_EQ(Fields(Loaded()), Fields(settings));
}

// Tracks encoded at once: absent from the file until set, then kept even when set back to one per
// core; a stored number beyond the limit is not used.
TEST_F(SettingsApp, EncoderJobsIsWrittenOnceSetAndReadWithinItsLimit) {
  CAppSettings settings(user.folders);
  settings.EncoderJobs = 3;
  ASSERT_TRUE(Save(settings));
  EXPECT_NE(
      ReadFile(user.storePath).find("\"CompressionLevel\"=dword:000007d0\n\"EncoderJobs\"=dword:00000003\n"),
      std::string::npos);
  EXPECT_EQ(Loaded().EncoderJobs, 3);
  settings.EncoderJobs = 0;
  ASSERT_TRUE(Save(settings));
  EXPECT_NE(ReadFile(user.storePath).find("\"EncoderJobs\"=dword:00000000\n"), std::string::npos);
  EXPECT_EQ(Loaded().EncoderJobs, 0);

  CAppSettings two(user.folders);
  two.EncoderJobs = 2;
  for (const char* stored : {"00000041", "ffffffff"}) {
    WriteOptions("\"DefaultFolder\"=\"/m\"\n\"DefaultLibFolder\"=\"/l\"\n\"EncoderJobs\"=dword:" +
                 std::string(stored) + "\n");
    EXPECT_EQ(Loaded(two).EncoderJobs, 2) << stored;
  }
}

// The FLAC level: absent from the file until changed, then kept; a stored level above 8 is not used.
TEST_F(SettingsApp, FlacLevelIsWrittenOnceChangedAndReadWithinItsRange) {
  CAppSettings settings(user.folders);
  EXPECT_EQ(settings.FlacLevel, 5);
  ASSERT_TRUE(Save(settings));
  EXPECT_EQ(ReadFile(user.storePath).find("FlacLevel"), std::string::npos);
  settings.FlacLevel = 8;
  ASSERT_TRUE(Save(settings));
  EXPECT_NE(ReadFile(user.storePath).find("\"FlacLevel\"=dword:00000008\n"), std::string::npos);
  EXPECT_EQ(Loaded().FlacLevel, 8);
  settings.FlacLevel = 5;
  ASSERT_TRUE(Save(settings));
  EXPECT_NE(ReadFile(user.storePath).find("\"FlacLevel\"=dword:00000005\n"), std::string::npos);

  CAppSettings two(user.folders);
  two.FlacLevel = 2;
  for (const char* stored : {"00000009", "ffffffff", "fffffffe"}) {
    WriteOptions("\"DefaultFolder\"=\"/m\"\n\"DefaultLibFolder\"=\"/l\"\n\"FlacLevel\"=dword:" +
                 std::string(stored) + "\n");
    EXPECT_EQ(Loaded(two).FlacLevel, 2) << stored;
  }
  WriteOptions("\"DefaultFolder\"=\"/m\"\n\"DefaultLibFolder\"=\"/l\"\n\"FlacLevel\"=dword:00000000\n");
  EXPECT_EQ(Loaded(two).FlacLevel, 0);
}

// The Opus bit rate the same way; stored rates outside 64 to 256 kbit/s are not used.
TEST_F(SettingsApp, OpusBitrateIsWrittenOnceChangedAndReadWithinItsRange) {
  CAppSettings settings(user.folders);
  EXPECT_EQ(settings.OpusBitrate, 160);
  ASSERT_TRUE(Save(settings));
  EXPECT_EQ(ReadFile(user.storePath).find("OpusBitrate"), std::string::npos);
  settings.OpusBitrate = 256;
  ASSERT_TRUE(Save(settings));
  EXPECT_NE(ReadFile(user.storePath).find("\"OpusBitrate\"=dword:00000100\n"), std::string::npos);
  EXPECT_EQ(Loaded().OpusBitrate, 256);

  CAppSettings two(user.folders);
  two.OpusBitrate = 96;
  for (const char* stored : {"0000003f", "00000101", "ffffffff"}) {
    WriteOptions("\"DefaultFolder\"=\"/m\"\n\"DefaultLibFolder\"=\"/l\"\n\"OpusBitrate\"=dword:" +
                 std::string(stored) + "\n");
    EXPECT_EQ(Loaded(two).OpusBitrate, 96) << stored;
  }
  WriteOptions("\"DefaultFolder\"=\"/m\"\n\"DefaultLibFolder\"=\"/l\"\n\"OpusBitrate\"=dword:00000040\n");
  EXPECT_EQ(Loaded(two).OpusBitrate, 64);
}

// The reading settings: a negative offset survives as its two's complement; a stored mode or offset
// out of range is not used.
TEST_F(SettingsApp, ReadSettingsRoundTripAndOutOfRangeValuesAreIgnored) {
  CAppSettings settings(user.folders);
  settings.ReadMode = 1;
  settings.ReadOffset = -1200;
  settings.TestAndCopy = true;
  settings.ReadSpeed = 12;
  settings.EjectAfterRip = true;
  ASSERT_TRUE(Save(settings));
  EXPECT_NE(
      ReadFile(user.storePath)
          .find("\"ReadMode\"=dword:00000001\n\"ReadOffset\"=dword:fffffb50\n\"TestAndCopy\"=dword:00000001\n"
                "\"ReadSpeed\"=dword:0000000c\n\"EjectAfterRip\"=dword:00000001\n"),
      std::string::npos)
      << ReadFile(user.storePath);
  const CAppSettings loaded = Loaded();
  EXPECT_EQ(loaded.ReadMode, 1);
  EXPECT_EQ(loaded.ReadOffset, -1200);
  EXPECT_TRUE(loaded.TestAndCopy);
  EXPECT_EQ(loaded.ReadSpeed, 12);
  EXPECT_TRUE(loaded.EjectAfterRip);

  CAppSettings two(user.folders);
  two.ReadOffset = 6;
  WriteOptions(
      "\"DefaultFolder\"=\"/m\"\n\"DefaultLibFolder\"=\"/l\"\n\"ReadMode\"=dword:00000002\n"
      "\"ReadOffset\"=dword:fffff447\n\"ReadSpeed\"=dword:00000065\n");  // −3001, 101x
  EXPECT_EQ(Loaded(two).ReadMode, 0);
  EXPECT_EQ(Loaded(two).ReadSpeed, 0);
  EXPECT_EQ(Loaded(two).ReadOffset, 6);
}

// Full tags: on by default and not written until turned off, then kept off.
TEST_F(SettingsApp, TagsV2IsWrittenOnceTurnedOff) {
  CAppSettings settings(user.folders);
  EXPECT_TRUE(settings.TagsV2);
  ASSERT_TRUE(Save(settings));
  EXPECT_EQ(ReadFile(user.storePath).find("TagsV2"), std::string::npos);
  settings.TagsV2 = false;
  ASSERT_TRUE(Save(settings));
  EXPECT_NE(ReadFile(user.storePath).find("\"TagsV2\"=dword:00000000\n"), std::string::npos);
  EXPECT_FALSE(Loaded().TagsV2);
}

// The address for the CDDB hello: absent until set, then kept, even once cleared, so that a cleared
// address stays cleared.
TEST_F(SettingsApp, CddbEmailIsWrittenOnceSet) {
  CAppSettings settings(user.folders);
  settings.CDDBEmail = "jane.doe+cds@example.org";
  ASSERT_TRUE(Save(settings));
  EXPECT_NE(ReadFile(user.storePath)
                .find("\"CompressionLevel\"=dword:000007d0\n"
                      "\"CDDBEmail\"=\"jane.doe+cds@example.org\"\n"),
            std::string::npos)
      << ReadFile(user.storePath);
  EXPECT_EQ(Loaded().CDDBEmail, "jane.doe+cds@example.org");
  settings.CDDBEmail.clear();
  ASSERT_TRUE(Save(settings));
  EXPECT_NE(ReadFile(user.storePath).find("\"CDDBEmail\"=\"\"\n"), std::string::npos);
  CAppSettings preset(user.folders);
  preset.CDDBEmail = "old@example.org";
  EXPECT_EQ(Loaded(preset).CDDBEmail, "");
}

// The sources a lookup asks, in order: absent until changed, then kept, even when set back to the
// default or to none at all; a stored value is read in the program's spelling, and one that names
// no source gives the default order.
TEST_F(SettingsApp, LookupOrderIsWrittenOnceChangedAndLoadsCleaned) {
  CAppSettings settings(user.folders);
  ASSERT_TRUE(Save(settings));
  EXPECT_EQ(ReadFile(user.storePath).find("LookupOrder"), std::string::npos);
  EXPECT_EQ(Loaded().LookupOrder, "MusicBrainz,CDDB,CD-Text");

  settings.LookupOrder = "CD-Text,CDDB";
  ASSERT_TRUE(Save(settings));
  EXPECT_NE(ReadFile(user.storePath)
                .find("\"CompressionLevel\"=dword:000007d0\n\"LookupOrder\"=\"CD-Text,CDDB\"\n"),
            std::string::npos)
      << ReadFile(user.storePath);
  EXPECT_EQ(Loaded().LookupOrder, "CD-Text,CDDB");
  settings.LookupOrder = kDefaultLookupOrder;
  ASSERT_TRUE(Save(settings));
  EXPECT_NE(ReadFile(user.storePath).find("\"LookupOrder\"=\"MusicBrainz,CDDB,CD-Text\"\n"),
            std::string::npos);
  // None at all: only the library is asked, and that is not the default.
  settings.LookupOrder.clear();
  ASSERT_TRUE(Save(settings));
  EXPECT_NE(ReadFile(user.storePath).find("\"LookupOrder\"=\"\"\n"), std::string::npos);
  EXPECT_EQ(Loaded().LookupOrder, "");

  CAppSettings preset(user.folders);
  preset.LookupOrder = "CDDB";
  const std::string folders = "\"DefaultFolder\"=\"/m\"\n\"DefaultLibFolder\"=\"/l\"\n";
  for (const auto& [stored, loaded] :
       {std::pair{"\"nonsense\"", "MusicBrainz,CDDB,CD-Text"}, std::pair{"\"cddb, cd-text\"", "CDDB,CD-Text"},
        std::pair{"\" CD-TEXT ,musicbrainz,cd-text\"", "CD-Text,MusicBrainz"},
        std::pair{"dword:00000001", "CDDB"}}) {
    WriteOptions(folders + "\"LookupOrder\"=" + stored + "\n");
    EXPECT_EQ(Loaded(preset).LookupOrder, loaded) << stored;
  }
}

TEST_F(SettingsApp, FlagsAloneLoadAndTheRestKeepDefaults) {
  WriteOptions(
      "\"ShowSelectorBeforeSave\"=dword:00000000\n\"GetDiscInfoAutomatically\"=dword:00000000\n"
      "\"SaveLibraryAutomatically\"=dword:00000000\n\"ReplacePrompt\"=dword:00000000\n");
  EXPECT_EQ(Fields(Loaded()), std::tuple(false, false, false, false, music, library, 192, true, 2000));
}

TEST_F(SettingsApp, UnreadableFolderStopsEverythingAfterIt) {
  const std::string later =
      "\"BPS\"=dword:00000080\n\"SaveID3Tag\"=dword:00000000\n\"CompressionLevel\"=dword:00000001\n";
  WriteOptions("\"DefaultLibFolder\"=\"/lib\"\n\"ReplacePrompt\"=dword:00000000\n" + later);
  EXPECT_EQ(Fields(Loaded()), std::tuple(true, true, true, false, music, library, 192, true, 2000));

  WriteOptions("\"DefaultFolder\"=\"/rips\"\n\"DefaultLibFolder\"=dword:00000001\n" + later);
  EXPECT_EQ(Fields(Loaded()), std::tuple(true, true, true, true, "/rips", library, 192, true, 2000));

  WriteOptions("\"DefaultFolder\"=\"/rips\"\n\"DefaultLibFolder\"=\"/lib\"\n" + later);
  EXPECT_EQ(Fields(Loaded()), std::tuple(true, true, true, true, "/rips", "/lib", 128, false, 1));
}

TEST_F(SettingsApp, UnusableDwordsCountAsMissing) {
  WriteOptions(
      "\"DefaultFolder\"=\"\"\n\"DefaultLibFolder\"=\"\"\n"
      "\"BPS\"=\"320\"\n"
      "\"ReplacePrompt\"=dword:ffffffff\n"
      "\"ShowSelectorBeforeSave\"=hex:00,00,00,00\n"
      "\"GetDiscInfoAutomatically\"=hex(4):00,00,00,00,00\n"
      "\"SaveLibraryAutomatically\"=hex(4):\n"
      "\"SaveID3Tag\"=dword:00000000\n"
      "\"CompressionLevel\"=hex(4):01\n");
  CAppSettings preset(user.folders);
  std::tie(preset.ShowSelectorBeforeSave, preset.GetDiscInfoAutomatically, preset.SaveLibraryAutomatically,
           preset.ReplacePrompt) = std::tuple(false, false, false, false);
  // Short DWORD data fills the low bytes of an all-ones word.
  EXPECT_EQ(Fields(Loaded(preset)), std::tuple(false, false, false, false, "", "", 192, false, -255));
}

TEST_F(SettingsApp, AnyNonZeroFlagLoadsTrueAndSavesAsOne) {
  WriteOptions("\"ReplacePrompt\"=dword:00000005\n\"SaveID3Tag\"=dword:00000000\n");
  CAppSettings settings(user.folders);
  settings.ReplacePrompt = false;
  settings = Loaded(settings);
  EXPECT_TRUE(settings.ReplacePrompt);
  ASSERT_TRUE(Save(settings));
  EXPECT_NE(ReadFile(user.storePath).find("\"ReplacePrompt\"=dword:00000001\n"), std::string::npos);
}

std::string Utf16Hex(const std::string& ascii) {
  std::string hex;
  for (char c : ascii) {
    char unit[8];
    std::snprintf(unit, sizeof unit, "%02x,00,", static_cast<unsigned>(c));
    hex += unit;
  }
  return hex + "00,00";
}

TEST_F(SettingsApp, FolderLimitIsThePathLimitOfUtf8WithNul) {
  const std::string later = "\"DefaultLibFolder\"=\"/lib\"\n\"BPS\"=dword:00000080\n";
  const std::string fits = "/" + std::string(4094, 'a');
  WriteOptions("\"DefaultFolder\"=\"" + fits + "\"\n" + later);
  EXPECT_EQ(Fields(Loaded()), std::tuple(true, true, true, true, fits, "/lib", 128, true, 2000));

  WriteOptions("\"DefaultFolder\"=\"" + fits + "a\"\n" + later);
  EXPECT_EQ(Fields(Loaded()), std::tuple(true, true, true, true, music, library, 192, true, 2000));

  // Non-ASCII names take two or three bytes a character: a 150-character folder is no problem.
  std::string accented = "/";
  for (int i = 0; i < 150; ++i) accented += "\xC3\xA9";
  WriteOptions("\"DefaultFolder\"=\"" + accented + "\"\n" + later);
  EXPECT_EQ(Fields(Loaded()), std::tuple(true, true, true, true, accented, "/lib", 128, true, 2000));

  // As UTF-16 the file holds twice the bytes; the limit applies to the UTF-8 text.
  WriteOptions("\"DefaultFolder\"=hex(2):" + Utf16Hex(fits) + "\n" + later);
  EXPECT_EQ(Loaded().DefaultFolder, fits);
}

TEST_F(SettingsApp, StringDataRules) {
  WriteOptions("\"DefaultFolder\"=hex(2):" + Utf16Hex("$HOME/Rips") +
               "\n"
               "\"DefaultLibFolder\"=hex(2):" +
               Utf16Hex("%USERPROFILE%\\Disc") + "\n\"BPS\"=dword:00000001\n");
  EXPECT_EQ(Fields(Loaded()),
            std::tuple(true, true, true, true, "$HOME/Rips", "%USERPROFILE%\\Disc", 1, true, 2000));

  WriteOptions(
      "\"DefaultFolder\"=hex(1):2f,61,00,62,00\n\"DefaultLibFolder\"=hex(1):\n\"BPS\"=dword:00000001\n");
  EXPECT_EQ(Fields(Loaded()), std::tuple(true, true, true, true, "/a", "", 1, true, 2000));

  WriteOptions("\"DefaultFolder\"=\"/a\"\n\"DefaultLibFolder\"=hex(1):2f,62\n\"BPS\"=dword:00000001\n");
  EXPECT_EQ(Fields(Loaded()), std::tuple(true, true, true, true, "/a", library, 192, true, 2000));

  WriteOptions("\"DefaultFolder\"=hex:2f,61,00\n\"DefaultLibFolder\"=\"/b\"\n");
  EXPECT_EQ(Loaded().DefaultLibFolder, library);
}

class SettingsAppBadStore : public SettingsApp,
                            public testing::WithParamInterface<std::pair<const char*, std::string>> {};

TEST_P(SettingsAppBadStore, LoadsDefaultsAndSaveKeepsBadCopy) {
  WriteFile(user.storePath, GetParam().second);
  CAppSettings settings = Loaded();
  EXPECT_EQ(Fields(settings), std::tuple(true, true, true, true, music, library, 192, true, 2000));
  settings.BPS = 256;
  ASSERT_TRUE(Save(settings));
  EXPECT_EQ(ReadFile(user.storePath + ".bad"), GetParam().second);
  EXPECT_EQ(Loaded().BPS, 256);
}

INSTANTIATE_TEST_SUITE_P(SettingsFiles, SettingsAppBadStore,
                         testing::Values(std::pair{"Empty", std::string()},
                                         std::pair{"Binary", std::string("\x7f"
                                                                         "ELF\x02\x01\x01\x00\x00\xff",
                                                                         10)},
                                         std::pair{"Garbage",
                                                   std::string("garbage garbage\n\"BPS\"=dword:00000080\n")},
                                         std::pair{"NoHeader", kOptionsSection + "\"BPS\"=dword:00000080\n"}),
                         [](const auto& info) { return std::string(info.param.first); });

TEST_F(SettingsApp, SaveKeepsOtherKeysIncludingOnesWrittenSinceOpening) {
  const std::string window =
      "[HKEY_CURRENT_USER\\Software\\Tessaline Technology\\Korvi CD "
      "Ripper\\Window]\n\"Left\"=dword:00000010\n\n";
  WriteFile(user.storePath,
            kHeader + window + kOptionsSection + "\"BPS\"=dword:00000080\n\"Mine\"=\"x\"\n\n");
  RegistryStore store = RegistryStore::Open(user.storePath);
  const std::string other = "[HKEY_CURRENT_USER\\Software\\Else]\n\"Name\"=\"v\"\n\n";
  WriteFile(user.storePath, ReadFile(user.storePath) + other);

  ASSERT_TRUE(CAppSettings(user.folders).SaveToRegistry(store));
  std::string saved = ReadFile(user.storePath);
  EXPECT_EQ(saved.substr(0, kHeader.size() + window.size()), kHeader + window);
  EXPECT_EQ(saved.substr(saved.size() - other.size()), other);
  EXPECT_NE(saved.find("\"BPS\"=dword:000000c0\n\"Mine\"=\"x\"\n"), std::string::npos);
}

TEST_F(SettingsApp, SaveFailsWithoutWritingWhenTheFolderCannotBeMade) {
  WriteFile(user.folders.config, "a file where the folder should be");
  EXPECT_FALSE(Save(CAppSettings(user.folders)));
  EXPECT_EQ(ReadFile(user.folders.config), "a file where the folder should be");
}

TEST_F(SettingsApp, FoldersThatCannotBeCreatedOrFormed) {
  WriteFile(user.root / "blocker", "");
  CAppSettings blocked(UserFolders{user.root / "blocker/Music", user.root / "blocker/data", ""});
  EXPECT_EQ(blocked.DefaultFolder, user.root / "blocker/Music");
  EXPECT_EQ(blocked.DefaultLibFolder, user.root / "blocker/data/DiscInfo");

  CAppSettings nowhere(UserFolders{});
  EXPECT_EQ(nowhere.DefaultFolder, "");
  EXPECT_EQ(nowhere.DefaultLibFolder, "");
}

}  // namespace
}  // namespace korvi
