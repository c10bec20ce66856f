// korvi-cli as a script sees it: its output, its messages and its exit status.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "fixtures/disc_image_writer.h"
#include "fixtures/oracles.h"
#include "fixtures/temp_dir.h"

namespace korvi {
namespace {

using fixtures::RunCommand;
using fixtures::ShellQuote;

std::string Cli(const std::string& args) { return ShellQuote(KORVI_CLI_PATH) + " " + args; }

std::vector<std::vector<std::string>> TabRows(const std::string& out) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream fieldsIn(line);
    for (std::string field; std::getline(fieldsIn, field, '\t');) fields.push_back(field);
    rows.push_back(fields);
  }
  return rows;
}

TEST(KorviCliToc, PrintsTheRowsAndDiscIdThatTheOraclesConfirm) {
  fixtures::TempDir dir;
  fixtures::ImageLayout layout;
  layout.tracks = {
      {false, 3000, 20, {}}, {false, 4567, 150, {}}, {false, 1500, 150, {}}, {true, 900, 150, {}}};
  fixtures::WrittenImage image;
  ASSERT_TRUE(fixtures::WriteCueBinImage(dir / "cli.cue", layout, &image, nullptr));

  const auto result = RunCommand(Cli("toc " + ShellQuote(image.cue.string())));
  ASSERT_EQ(result.status, 0);
  const auto rows = TabRows(result.out);
  const auto oracle = fixtures::CdInfoTracks(image.cue);
  ASSERT_EQ(oracle.size(), 5u);
  ASSERT_EQ(rows.size(), 4u);  // three audio tracks, then the disc id
  for (int r = 0; r < 3; ++r) {
    ASSERT_EQ(rows[r].size(), 4u) << result.out;
    EXPECT_EQ(rows[r][0], "Track " + std::to_string(r + 1));
    EXPECT_EQ(rows[r][2], std::to_string(oracle[r].lsn));
    EXPECT_EQ(rows[r][3], std::to_string(oracle[r + 1].lsn - 1));
  }
  EXPECT_EQ(rows[1][1], "0:1:2");  // (4567 + 150 − 1) / 75 = 62 s
  ASSERT_EQ(rows[3].size(), 1u);
  EXPECT_EQ(rows[3][0], "discid " + fixtures::LibDiscIdFreedbId(oracle));
}

TEST(KorviCliToc, UnreadableDrivesAndUsageErrors) {
  fixtures::TempDir dir;
  auto missing = RunCommand(Cli("toc " + ShellQuote((dir / "missing.cue").string()) + " 2>&1"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("korvi-cli:"), std::string::npos) << missing.out;
  EXPECT_NE(missing.out.find("missing.cue"), std::string::npos) << missing.out;

  std::ofstream(dir / "junk.cue") << "this is not a cue sheet\n";
  auto junk = RunCommand(Cli("toc " + ShellQuote((dir / "junk.cue").string()) + " 2>&1"));
  EXPECT_EQ(junk.status, 1);
  EXPECT_NE(junk.out.find("korvi-cli:"), std::string::npos) << junk.out;

  EXPECT_EQ(RunCommand(Cli("2>/dev/null")).status, 2);
  EXPECT_EQ(RunCommand(Cli("toc 2>/dev/null")).status, 2);
  EXPECT_EQ(RunCommand(Cli("toc a b 2>/dev/null")).status, 2);
  EXPECT_EQ(RunCommand(Cli("frobnicate 2>/dev/null")).status, 2);
  EXPECT_EQ(RunCommand(Cli("drives extra 2>/dev/null")).status, 2);
  auto help = RunCommand(Cli("--help"));
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("toc DRIVE"), std::string::npos);
}

TEST(KorviCliDrives, ListsTheImagesAfterTheDrives) {
  const auto without = RunCommand("env -u KORVI_CD_IMAGES " + Cli("drives"));
  ASSERT_EQ(without.status, 0);
  const auto with = RunCommand("KORVI_CD_IMAGES=/x/one.cue:/x/two.cue " + Cli("drives"));
  ASSERT_EQ(with.status, 0);
  EXPECT_EQ(with.out, without.out + "/x/one.cue\n/x/two.cue\n");
}

}  // namespace
}  // namespace korvi
