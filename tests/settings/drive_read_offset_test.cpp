#include "settings/drive_read_offset.h"

#include <gtest/gtest.h>

#include "settings_test_util.h"

namespace korvi {
namespace {

using settings_test::ReadFile;
using settings_test::WriteFile;

const std::string kOptions =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CURRENT_USER\\Software\\Tessaline Technology\\Korvi CD Ripper\\Options]\n";

std::string ListRecord(int16_t offset, const std::string& name) {
  std::string record(69, '\0');
  record[0] = char(uint16_t(offset) & 0xFF);
  record[1] = char(uint16_t(offset) >> 8);
  record.replace(2, name.size(), name);
  return record;
}

class DriveReadOffsetTest : public testing::Test {
 protected:
  void SetUp() override {
    WriteFile(settings.DefaultLibFolder + "/DriveOffsets.bin",
              ListRecord(667, "ACME     - SPINNER 9") + ListRecord(6, "PLEXTOR - PREMIUM"));
  }
  DriveReadOffset Of(const std::string& model) {
    RegistryStore store = RegistryStore::Open(user.storePath);
    CAppSettings loaded(user.folders);
    loaded.LoadFromRegistry(store);
    return ReadOffsetOfModel(store, loaded, model, false);
  }

  settings_test::TempUser user;
  CAppSettings settings{user.folders};
};

TEST_F(DriveReadOffsetTest, AModelsSettingComesFirstThenTheSingleSettingOfBeforeThenTheDriveList) {
  // Without a setting: AccurateRip's list, where it names the model.
  DriveReadOffset offset = Of("acme - spinner  9");
  EXPECT_EQ(offset.offset, 667);
  EXPECT_EQ(offset.source, ReadOffsetSource::kAccurateRipList);
  offset = Of("ACME - SPINNER 10");
  EXPECT_EQ(offset.offset, 0);
  EXPECT_EQ(offset.source, ReadOffsetSource::kNotKnown);

  // A ReadOffset stored by an earlier version holds for every drive that has no setting of its own.
  WriteFile(user.storePath, kOptions + "\"DefaultFolder\"=\"/m\"\n\"DefaultLibFolder\"=\"" + settings.DefaultLibFolder +
                                "\"\n\"ReadOffset\"=dword:fffffb50\n");
  offset = Of("ACME - SPINNER 9");
  EXPECT_EQ(offset.offset, -1200);
  EXPECT_EQ(offset.source, ReadOffsetSource::kSetting);

  RegistryStore store = RegistryStore::Open(user.storePath);
  ASSERT_TRUE(SaveModelReadOffset(store, "ACME  - Spinner 9", 48));
  EXPECT_FALSE(SaveModelReadOffset(store, "ACME - SPINNER 9", 3001));
  offset = Of("ACME - SPINNER 9");
  EXPECT_EQ(offset.offset, 48);
  EXPECT_EQ(offset.source, ReadOffsetSource::kModelSetting);
  EXPECT_EQ(Of("PLEXTOR - PREMIUM").offset, -1200);
  // The single value is still there, for the drives without their own.
  EXPECT_NE(ReadFile(user.storePath).find("\"ReadOffset\"=dword:fffffb50"), std::string::npos);
  EXPECT_NE(ReadFile(user.storePath).find("\\Options\\ReadOffsets]\n\"ACME - SPINNER 9\"=dword:00000030"),
            std::string::npos)
      << ReadFile(user.storePath);

  // A value beyond what a drive can have is no setting.
  WriteFile(user.storePath, ReadFile(user.storePath) + "\n[HKEY_CURRENT_USER\\Software\\Tessaline Technology\\"
                                                       "Korvi CD Ripper\\Options\\ReadOffsets]\n\"X - Y\"=dword:00000fa0\n");
  EXPECT_EQ(Of("X - Y").source, ReadOffsetSource::kSetting);
}

}  // namespace
}  // namespace korvi
