// korvi-cli drive and offset through the emulated drive: what the drive says of itself, what timing
// its reads finds of its cache, its read offset from AccurateRip's drive list (served by a stand-in
// on 127.0.0.1, kept in the library folder and used by a rip), and its offset found from a disc
// whose checksums the stand-in holds.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <regex>

#include "fixtures/accuraterip_db.h"
#include "drive/drive_env.h"
#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/http_server.h"
#include "fixtures/temp_dir.h"
#include "fixtures/time_scale.h"
#include "verify/accuraterip_ids.h"

namespace korvi {
namespace {

using namespace std::chrono_literals;
using fixtures::HttpTestServer;

const std::string kDrive = "/dev/sr21";
const std::string kIdentity = ",vendor=ACME,model=SPINNER 9,revision=2.1";
const std::string kListPath = "/accuraterip/DriveOffsets.bin";

// One record of AccurateRip's drive list: the offset, the name in 32 bytes, a NUL, the count of
// submissions, and 33 bytes not used.
std::string ListRecord(int16_t offset, const std::string& name, uint8_t submissions = 9) {
  std::string record(69, '\0');
  record[0] = char(uint16_t(offset) & 0xFF);
  record[1] = char(uint16_t(offset) >> 8);
  record.replace(2, std::min<size_t>(name.size(), 32), name.substr(0, 32));
  record[35] = char(submissions);
  return record;
}

class DriveFacts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", fixtures::ThreeTrackDisc(11), &m_image, nullptr));
    ASSERT_TRUE(m_server.Start());
  }

  fixtures::ChildResult Run(std::vector<std::string> args, const std::string& behaviours) {
    fixtures::ChildOptions options;
    options.args = {KORVI_CLI_PATH};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.env =
        fixtures::FakeDriveEnv(kDrive + "=" + m_image.cue.string() + behaviours, m_dir / "home", m_server.HostPort());
    options.workDir = m_dir.path();
    return fixtures::RunChild(options, fixtures::Scaled(120s));
  }

  fixtures::ChildResult Rip(const std::string& source, const std::string& folder, const std::string& behaviours) {
    std::filesystem::create_directories(m_dir / folder);
    return Run({"rip", source, "--format", "wav", "--out", (m_dir / folder).string(), "--mode", "burst", "--no-verify"},
               behaviours);
  }

  std::string Track(const std::string& folder, int track) const {
    return fixtures::FileText(m_dir / folder / ("Track " + std::to_string(track) + ".wav"));
  }

  std::filesystem::path KeptList() const {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dir / "home"))
      if (entry.path().filename() == "DriveOffsets.bin") return entry.path();
    return {};
  }

  void ServeList(const std::string& bytes) { m_server.SetResponse(kListPath, {HttpTestServer::Mode::kReply, 200, bytes}); }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  HttpTestServer m_server;
};

// The size the drive printed for its cache, or -1.
int CacheSectors(const std::string& out) {
  std::smatch match;
  if (!std::regex_search(out, match, std::regex(R"(audio cache: (\d+) sectors)"))) return -1;
  return std::stoi(match[1]);
}

TEST_F(DriveFacts, DriveSaysWhatItIsAndTimingFindsItsCacheOnlyWhenItHasOne) {
  // A large read offset puts the disc's first sector out of the drive's reach; it is measured all
  // the same.
  const fixtures::ChildResult cached = Run({"drive", kDrive}, kIdentity + ",cache=100,latency_ms=15,offset=667");
  ASSERT_TRUE(cached.exited) << cached.err;
  ASSERT_EQ(cached.status, 0) << cached.out << cached.err;
  EXPECT_NE(cached.out.find("vendor: ACME\nmodel: SPINNER 9\nrevision: 2.1\n"), std::string::npos) << cached.out;
  // No setting, and the stand-in has no drive list.
  EXPECT_NE(cached.out.find("read offset: not known"), std::string::npos) << cached.out;
  EXPECT_NE(cached.out.find("C2 error pointers: no\n"), std::string::npos) << cached.out;
  // The emulated cache keeps the last 100 sectors read; a wide bound, as timing on a busy machine is.
  const int sectors = CacheSectors(cached.out);
  EXPECT_GE(sectors, 50) << cached.out;
  EXPECT_LE(sectors, 200) << cached.out;
  EXPECT_NE(cached.out.find("FUA reads: bypass the cache\n"), std::string::npos) << cached.out;

  // The same slow drive without a cache: every re-read takes as long as the first.
  const fixtures::ChildResult uncached = Run({"drive", kDrive}, kIdentity + ",latency_ms=15");
  ASSERT_EQ(uncached.status, 0) << uncached.out << uncached.err;
  EXPECT_NE(uncached.out.find("audio cache: none found\n"), std::string::npos) << uncached.out;
  EXPECT_NE(uncached.out.find("FUA reads: supported (no cache found to bypass)\n"), std::string::npos) << uncached.out;

  // A cache larger than half the disc cannot be flushed by reading the rest: its size is a lower bound.
  const fixtures::ChildResult large = Run({"drive", kDrive}, kIdentity + ",cache=5000,latency_ms=15");
  ASSERT_EQ(large.status, 0) << large.err;
  EXPECT_NE(large.out.find("audio cache: at least 1024 sectors"), std::string::npos) << large.out;

  // Without a disc the drive still says what it is.
  const fixtures::ChildResult empty = Run({"drive", kDrive}, kIdentity + ",nodisc");
  ASSERT_EQ(empty.status, 0) << empty.err;
  EXPECT_NE(empty.out.find("model: SPINNER 9\n"), std::string::npos) << empty.out;
  EXPECT_NE(empty.out.find("audio cache: not measured (no audio disc)\n"), std::string::npos) << empty.out;

  // An image is no drive.
  const fixtures::ChildResult image = Run({"drive", m_image.cue.string()}, "");
  EXPECT_EQ(image.status, 1);
  EXPECT_NE(image.err.find("is an image, not a drive"), std::string::npos) << image.err;
}

TEST_F(DriveFacts, AccurateRipsDriveListGivesTheOffsetThatARipCorrectsAndIsKept) {
  // Blanks as the list pads names, and other drives around it.
  ServeList(ListRecord(6, "PLEXTOR - CD-R   PREMIUM") + ListRecord(667, "ACME     - SPINNER 9") +
            ListRecord(-30, "ACME - SPINNER 10") + ListRecord(102, std::string(32, '\x7F')));
  const std::string drive = kIdentity + ",offset=667";
  const fixtures::ChildResult facts = Run({"drive", kDrive}, drive);
  ASSERT_EQ(facts.status, 0) << facts.err;
  EXPECT_NE(facts.out.find("read offset: +667 (AccurateRip's drive list)\n"), std::string::npos) << facts.out;
  ASSERT_FALSE(KeptList().empty());

  // The rip asks nothing more of the server: the library folder's copy answers.
  const fixtures::ChildResult image = Rip(m_image.cue.string(), "image", "");
  const fixtures::ChildResult rip = Rip(kDrive, "drive", drive);
  ASSERT_EQ(image.status, 0) << image.err;
  ASSERT_EQ(rip.status, 0) << rip.err;
  EXPECT_NE(rip.err.find("read offset +667 (AccurateRip's drive list)"), std::string::npos) << rip.err;
  EXPECT_EQ(m_server.Requests().size(), 1u);
  EXPECT_GT(Track("image", 2).size(), 44u);
  EXPECT_TRUE(Track("drive", 2) == Track("image", 2));
}

TEST_F(DriveFacts, AHostileDriveListIsRefusedAndNotKept) {
  const std::string record = ListRecord(667, "ACME - SPINNER 9");
  for (const std::string& list : {record.substr(0, 68), record + record.substr(0, 10), std::string(69 * 3, '\xFF'),
                                  std::string(69 * 20000, '\0')}) {
    ServeList(list);
    const fixtures::ChildResult facts = Run({"drive", kDrive}, kIdentity);
    ASSERT_EQ(facts.status, 0) << facts.err;
    EXPECT_NE(facts.out.find("read offset: not known"), std::string::npos) << facts.out;
    EXPECT_NE(facts.err.find("AccurateRip's drive list: "), std::string::npos) << facts.err;
    EXPECT_TRUE(KeptList().empty()) << list.size();
  }
}

TEST_F(DriveFacts, OffsetIsFoundFromTheDatabasesChecksumsAndSavedForTheModel) {
  const AccurateRipIds ids = fixtures::IdsOfImage(m_image.cue);
  const std::vector<fixtures::ImageTrackSums> sums = fixtures::SumsOfImage(m_image);
  ASSERT_EQ(sums.size(), 3u);
  const std::string drive = kIdentity + ",offset=667";
  // The v1 checksums only, and no drive list: every offset is summed.
  m_server.SetResponse(AccurateRipPath(ids),
                       {HttpTestServer::Mode::kReply, 200,
                        fixtures::PressingBytes(ids, {{5, sums[0].v1}, {7, sums[1].v1}, {12, sums[2].v1}})});
  const fixtures::ChildResult found = Run({"offset", kDrive, "--save"}, drive);
  ASSERT_EQ(found.status, 0) << found.out << found.err;
  EXPECT_NE(found.out.find("offset +667: 3 of 3 tracks matched (track 1 v1 confidence 5, track 2 v1 confidence 7, "
                           "track 3 v1 confidence 12)\nsaved as your setting for ACME - SPINNER 9\n"),
            std::string::npos)
      << found.out;
  const fixtures::ChildResult facts = Run({"drive", kDrive}, drive);
  EXPECT_NE(facts.out.find("read offset: +667 (your setting for this model)\n"), std::string::npos) << facts.out;
  // A rip without --offset corrects the saved offset; --offset still overrides it.
  const fixtures::ChildResult image = Rip(m_image.cue.string(), "image", "");
  const fixtures::ChildResult saved = Rip(kDrive, "saved", drive);
  ASSERT_EQ(saved.status, 0) << saved.err;
  EXPECT_NE(saved.err.find("read offset +667 (your setting for this model)"), std::string::npos) << saved.err;
  EXPECT_GT(Track("image", 2).size(), 44u);
  EXPECT_TRUE(Track("saved", 2) == Track("image", 2));
  const fixtures::ChildResult overridden = Run({"rip", kDrive, "--format", "wav", "--out", (m_dir / "saved").string(),
                                                "--mode", "burst", "--no-verify", "--offset", "0", "--tracks", "2",
                                                "--on-exists", "overwrite"},
                                               drive);
  ASSERT_EQ(overridden.status, 0) << overridden.err;
  EXPECT_EQ(overridden.err.find("read offset"), std::string::npos) << overridden.err;
  EXPECT_TRUE(Track("saved", 2) != Track("image", 2));

  // The v2 checksums, found at an offset of the drive list; a wrong one for track 1.
  ServeList(ListRecord(6, "PLEXTOR - CD-R PREMIUM") + ListRecord(-30, "OTHER - DRIVE"));
  m_server.SetResponse(AccurateRipPath(ids),
                       {HttpTestServer::Mode::kReply, 200,
                        fixtures::PressingBytes(ids, {{2, 0x0BADF00D}, {4, sums[1].v2}, {3, sums[2].v2}})});
  const fixtures::ChildResult listed = Run({"offset", kDrive}, kIdentity + ",offset=-30");
  ASSERT_EQ(listed.status, 0) << listed.out << listed.err;
  EXPECT_EQ(listed.out, "offset -30: 2 of 3 tracks matched (track 2 v2 confidence 4, track 3 v2 confidence 3)\n");

  // A disc the database does not know finds nothing.
  m_server.SetResponse(AccurateRipPath(ids), {HttpTestServer::Mode::kReply, 404, ""});
  const fixtures::ChildResult unknown = Run({"offset", kDrive}, drive);
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("the disc is not in the database"), std::string::npos) << unknown.err;
}

}  // namespace
}  // namespace korvi
