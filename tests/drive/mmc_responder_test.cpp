// The emulated drive's MMC answers byte by byte, where no outside tool reads them: READ TOC in its
// three formats against the image's table of contents, READ CD with and without C2 bits, READ(10)
// and sense data for what a drive refuses; the C2 bits of damaged bytes and the read speed, with
// the capabilities page that announces both.

#include "fakedrive/mmc_responder.h"

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>
#include <linux/cdrom.h>

#include <chrono>
#include <functional>
#include <vector>

#include "fakedrive/drive_ioctls.h"
#include "fakedrive/cd_text_packs.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"

namespace korvi::fakedrive {
namespace {

class MmcResponder : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 300, 0, ""}, {false, 450, 75, ""}};
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", layout, &m_image, nullptr));
    DriveConfig config;
    config.device = "/dev/sr27";
    config.image = m_image.cue.string();
    config.bad = {{500, 501}};
    config.flaky = {{20, 20}};
    config.cacheSectors = 4;
    m_drive = std::make_unique<EmulatedDrive>(config);
  }

  // The same disc behind a drive given other behaviours.
  void Remake(const std::function<void(DriveConfig&)>& change) {
    DriveConfig config = m_drive->Config();
    change(config);
    m_drive = std::make_unique<EmulatedDrive>(config);
  }

  // MODE SENSE(10) of the capabilities page: the page's bytes.
  std::vector<uint8_t> CapabilitiesPage() {
    const std::vector<uint8_t> sensed = Run({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0xFF}, 255);
    return sensed.size() > 8 ? std::vector<uint8_t>(sensed.begin() + 8, sensed.end()) : sensed;
  }

  std::vector<uint8_t> Run(std::vector<uint8_t> cdb, size_t length, Sense* sense = nullptr) {
    cdb.resize(12, 0);
    std::vector<uint8_t> data(length, 0xEE);
    Sense ignored;
    const long n = RunMmcCommand(*m_drive, cdb.data(), cdb.size(), data.data(), data.size(), sense ? sense : &ignored);
    if (n < 0) return {};
    data.resize(size_t(n));
    return data;
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  std::unique_ptr<EmulatedDrive> m_drive;
};

TEST_F(MmcResponder, ReadTocGivesTheImagesTracksInLbaMsfAndRawForms) {
  const std::vector<uint8_t> lba = Run({0x43, 0, 0, 0, 0, 0, 1, 0x03, 0x24}, 804);
  // Header (length, first, last), then tracks 1, 2 and the lead-out at the image's sectors.
  ASSERT_EQ(lba.size(), 4u + 3 * 8);
  EXPECT_EQ(std::vector<uint8_t>(lba.begin(), lba.begin() + 4), (std::vector<uint8_t>{0, 26, 1, 2}));
  const int32_t wanted[] = {m_image.starts[0], m_image.starts[1], m_image.leadOut};
  const uint8_t numbers[] = {1, 2, 0xAA};
  for (size_t i = 0; i < 3; ++i) {
    const uint8_t* entry = &lba[4 + 8 * i];
    EXPECT_EQ(entry[1], 0x10) << i;  // ADR 1, audio
    EXPECT_EQ(entry[2], numbers[i]) << i;
    EXPECT_EQ(int32_t(entry[4] << 24 | entry[5] << 16 | entry[6] << 8 | entry[7]), wanted[i]) << i;
  }
  const std::vector<uint8_t> msf = Run({0x43, 0x02, 0, 0, 0, 0, 2, 0x03, 0x24}, 804);
  ASSERT_EQ(msf.size(), 4u + 2 * 8);  // from track 2 on
  const int32_t frames = m_image.starts[1] + 150;
  EXPECT_EQ(std::vector<uint8_t>(msf.begin() + 8, msf.begin() + 12),
            (std::vector<uint8_t>{0, uint8_t(frames / 4500), uint8_t(frames / 75 % 60), uint8_t(frames % 75)}));

  const std::vector<uint8_t> raw = Run({0x43, 0x02, 0x02, 0, 0, 0, 0, 0x03, 0x24}, 804);
  ASSERT_EQ(raw.size(), 4u + 5 * 11);  // A0, A1, A2, then the two tracks
  EXPECT_EQ(raw[4 + 3], 0xA0);
  EXPECT_EQ(raw[4 + 8], 1);
  EXPECT_EQ(raw[15 + 8], 2);
  const int32_t leadOut = m_image.leadOut + 150;
  EXPECT_EQ(std::vector<uint8_t>(raw.begin() + 26 + 8, raw.begin() + 26 + 11),
            (std::vector<uint8_t>{uint8_t(leadOut / 4500), uint8_t(leadOut / 75 % 60), uint8_t(leadOut % 75)}));
}

TEST_F(MmcResponder, ReadsGiveTheImagesSectorsAndRefusalsGiveSense) {
  const std::vector<uint8_t> disc = fixtures::ReadBinSectors(m_image.bin, 10, 11);
  EXPECT_EQ(Run({0xBE, 0x04, 0, 0, 0, 10, 0, 0, 2, 0x10}, 2 * 2352), disc);
  // With C2 error bits: 294 zero bytes after each sector.
  const std::vector<uint8_t> c2 = Run({0xBE, 0x04, 0, 0, 0, 10, 0, 0, 2, 0x12}, 2 * 2646);
  ASSERT_EQ(c2.size(), 2u * 2646);
  EXPECT_TRUE(std::equal(disc.begin(), disc.begin() + 2352, c2.begin()));
  EXPECT_EQ(std::count(c2.begin() + 2352, c2.begin() + 2646, 0), 294);
  EXPECT_TRUE(std::equal(disc.begin() + 2352, disc.end(), c2.begin() + 2646));
  EXPECT_EQ(Run({0x28, 0, 0, 0, 0, 10, 0, 0, 2}, 2 * 2352), disc);

  const auto refused = [this](std::vector<uint8_t> cdb, size_t length) {
    Sense sense;
    EXPECT_TRUE(Run(cdb, length, &sense).empty());
    return std::vector<int>{sense.key, sense.asc, sense.ascq};
  };
  EXPECT_EQ(refused({0xBE, 0x04, 0, 0, 0x01, 0xF3, 0, 0, 3, 0x10}, 3 * 2352), (std::vector<int>{3, 0x11, 0}));
  EXPECT_EQ(refused({0xBE, 0x04, 0, 0, 0x04, 0x00, 0, 0, 1, 0x10}, 2352), (std::vector<int>{5, 0x21, 0}));
  EXPECT_EQ(refused({0xA3}, 64), (std::vector<int>{5, 0x20, 0}));
  EXPECT_EQ(refused({0x43, 0, 0x07}, 64), (std::vector<int>{5, 0x24, 0}));
  m_drive->SetTrayOpen(true);
  EXPECT_EQ(refused({0x00}, 0), (std::vector<int>{2, 0x3A, 2}));
}

TEST_F(MmcResponder, AFlakySectorReadsDifferentlyExceptFromTheCacheWhichFuaOrReadsElsewhereGetPast) {
  const std::vector<uint8_t> disc = fixtures::ReadBinSectors(m_image.bin, 20, 20);
  const std::vector<uint8_t> readCd = {0xBE, 0x04, 0, 0, 0, 20, 0, 0, 1, 0x10};
  const std::vector<uint8_t> first = Run(readCd, 2352);
  ASSERT_EQ(first.size(), 2352u);
  EXPECT_NE(first, disc);
  EXPECT_EQ(Run(readCd, 2352), first);  // the cache answers with the first read's bytes
  const std::vector<uint8_t> forced = Run({0x28, 0x08, 0, 0, 0, 20, 0, 0, 1}, 2352);
  EXPECT_NE(forced, first);
  EXPECT_NE(forced, disc);
  EXPECT_EQ(Run(readCd, 2352), forced);
  ASSERT_EQ(Run({0xBE, 0x04, 0, 0, 0, 100, 0, 0, 4, 0x10}, 4 * 2352).size(), 4u * 2352);
  const std::vector<uint8_t> afterFlush = Run(readCd, 2352);
  EXPECT_NE(afterFlush, forced);
  EXPECT_NE(afterFlush, disc);
}

// Which bytes of a sector the C2 bits after it mark.
std::vector<size_t> MarkedBytes(const uint8_t* bits) {
  std::vector<size_t> marked;
  for (size_t at = 0; at < 2352; ++at)
    if (bits[at / 8] & (0x80 >> (at % 8))) marked.push_back(at);
  return marked;
}

std::vector<size_t> DifferingBytes(const uint8_t* got, const uint8_t* wanted) {
  std::vector<size_t> differing;
  for (size_t at = 0; at < 2352; ++at)
    if (got[at] != wanted[at]) differing.push_back(at);
  return differing;
}

TEST_F(MmcResponder, C2BitsMarkExactlyTheDamagedBytesWhereTheDriveReportsThem) {
  Remake([](DriveConfig& config) { config.c2 = true, config.flaky = {{20, 21}}, config.cacheSectors = 0; });
  EXPECT_EQ(CapabilitiesPage().at(5) & 0x10, 0x10);
  const std::vector<uint8_t> disc = fixtures::ReadBinSectors(m_image.bin, 19, 22);
  // Sectors 19 to 22: the two flaky ones in the middle, 294 C2 bytes after each sector.
  const std::vector<uint8_t> first = Run({0xBE, 0x04, 0, 0, 0, 19, 0, 0, 4, 0x12}, 4 * 2646);
  const std::vector<uint8_t> second = Run({0xBE, 0x04, 0, 0, 0, 19, 0, 0, 4, 0x12}, 4 * 2646);
  ASSERT_EQ(first.size(), 4u * 2646);
  ASSERT_EQ(second.size(), 4u * 2646);
  for (size_t i = 0; i < 4; ++i) {
    for (const std::vector<uint8_t>* read : {&first, &second}) {
      const uint8_t* sector = read->data() + i * 2646;
      const std::vector<size_t> damaged = DifferingBytes(sector, disc.data() + i * 2352);
      EXPECT_EQ(MarkedBytes(sector + 2352), damaged) << "sector " << 19 + i;
      EXPECT_EQ(damaged.empty(), i == 0 || i == 3) << "sector " << 19 + i;
    }
  }
  EXPECT_NE(MarkedBytes(&first[2646 + 2352]), MarkedBytes(&second[2646 + 2352]));

  // The form with the block error byte: the OR of the 294, then a pad byte.
  const std::vector<uint8_t> block = Run({0xBE, 0x04, 0, 0, 0, 20, 0, 0, 1, 0x14}, 2648);
  ASSERT_EQ(block.size(), 2648u);
  EXPECT_EQ(MarkedBytes(&block[2352]), DifferingBytes(block.data(), &disc[2352]));
  uint8_t any = 0;
  for (size_t at = 2352; at < 2352 + 294; ++at) any |= block[at];
  EXPECT_NE(any, 0);
  EXPECT_EQ(block[2646], any);
  EXPECT_EQ(block[2647], 0);

  // A drive without C2 reporting damages the bytes all the same and cannot say which.
  Remake([](DriveConfig& config) { config.c2 = false; });
  EXPECT_EQ(CapabilitiesPage().at(5) & 0x10, 0);
  const std::vector<uint8_t> blind = Run({0xBE, 0x04, 0, 0, 0, 20, 0, 0, 1, 0x12}, 2646);
  ASSERT_EQ(blind.size(), 2646u);
  EXPECT_FALSE(DifferingBytes(blind.data(), &disc[2352]).empty());
  EXPECT_TRUE(MarkedBytes(&blind[2352]).empty());
}

TEST_F(MmcResponder, ReadsTakeTheirTimeAtTheSpeedThatSetCdSpeedSelects) {
  Remake([](DriveConfig& config) { config.speed = 10, config.flaky.clear(); });
  const auto timed = [this](int32_t sectors) {
    const auto begun = std::chrono::steady_clock::now();
    EXPECT_EQ(Run({0xBE, 0x04, 0, 0, 0, 30, 0, 0, uint8_t(sectors), 0x10}, size_t(sectors) * 2352).size(),
              size_t(sectors) * 2352);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
  };
  const auto speeds = [this] {
    const std::vector<uint8_t> page = CapabilitiesPage();
    return page.size() < 16 ? std::vector<int>{} : std::vector<int>{page[8] << 8 | page[9], page[14] << 8 | page[15]};
  };
  // 10x is 750 sectors a second; 1x (176 kB/s) 75; all ones the maximum again. Lower bounds only.
  EXPECT_EQ(speeds(), (std::vector<int>{1764, 1764}));
  EXPECT_GE(timed(75), 0.1);
  EXPECT_TRUE(Run({0xBB, 0, 0, 176, 0xFF, 0xFF}, 0).empty());
  EXPECT_EQ(speeds(), (std::vector<int>{1764, 176}));
  EXPECT_GE(timed(15), 15 / (75 * 176 / 176.4));
  Run({0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF}, 0);
  EXPECT_EQ(speeds(), (std::vector<int>{1764, 1764}));
  // Asking for more than the drive can is the drive's maximum.
  Run({0xBB, 0, 0x6E, 0x40, 0xFF, 0xFF}, 0);
  EXPECT_EQ(speeds(), (std::vector<int>{1764, 1764}));
  // The kernel's call takes times real time, 0 for the maximum.
  EXPECT_EQ(DriveIoctl(*m_drive, CDROM_SELECT_SPEED, reinterpret_cast<void*>(uintptr_t(2))), 0);
  EXPECT_EQ(speeds(), (std::vector<int>{1764, 353}));
  EXPECT_GE(timed(30), 0.2);
  EXPECT_EQ(DriveIoctl(*m_drive, CDROM_SELECT_SPEED, nullptr), 0);
  EXPECT_EQ(speeds(), (std::vector<int>{1764, 1764}));
}

TEST_F(MmcResponder, CdTextPacksCarryTheirCrcAndTheSizeInformationAndSubchannelTheCodes) {
  // The CRC of CD-Text: CCITT from 0 ("123456789" gives 0x31C3), inverted.
  EXPECT_EQ(CdTextCrc(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCE3C);
  {
    std::ifstream in(m_image.cue);
    std::string cue((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    cue = "CATALOG 0724384960650\nTITLE \"Disc\"\n" + cue;
    cue.insert(cue.find("  TRACK 02 AUDIO\n") + 17, "    TITLE \"Second\"\n    ISRC GBAYE0000351\n");
    std::ofstream(m_image.cue, std::ios::trunc) << cue;
  }
  const std::vector<uint8_t> text = Run({0x43, 0x02, 0x05, 0, 0, 0, 0, 0x10, 0x00}, 4096);
  // Titles "Disc", "", "Second": 13 bytes in two packs, then the three size packs.
  ASSERT_EQ(text.size(), 4u + 5 * 18);
  EXPECT_EQ(text[0] << 8 | text[1], int(text.size()) - 2);
  for (size_t at = 4; at < text.size(); at += 18) {
    EXPECT_EQ(text[at + 16] << 8 | text[at + 17], CdTextCrc(&text[at], 16)) << at;
    EXPECT_EQ(text[at + 2], (at - 4) / 18);  // sequence numbers
  }
  EXPECT_EQ(std::string(text.begin() + 4 + 4, text.begin() + 4 + 16), std::string("Disc\0\0Second", 12));
  EXPECT_EQ(text[4 + 18 + 1], 2);  // the second pack begins within track 2's title
  EXPECT_EQ(text[4 + 18 + 3], 6);  // six characters into it
  const uint8_t* size = &text[4 + 2 * 18];
  EXPECT_EQ(std::vector<int>(size, size + 4), (std::vector<int>{0x8F, 0, 2, 0}));
  EXPECT_EQ(std::vector<int>(size + 4, size + 8), (std::vector<int>{0, 1, 2, 0}));  // code, tracks 1-2
  EXPECT_EQ(size[8], 2);           // two title packs
  EXPECT_EQ(size[18 + 4 + 7], 3);  // three size packs
  EXPECT_EQ(size[18 + 4 + 8], 4);  // the last sequence number

  const std::vector<uint8_t> mcn = Run({0x42, 0, 0x40, 0x02, 0, 0, 0, 0, 24}, 24);
  ASSERT_EQ(mcn.size(), 24u);
  EXPECT_EQ(mcn[8], 0x80);
  EXPECT_EQ(std::string(mcn.begin() + 9, mcn.begin() + 22), "0724384960650");
  const std::vector<uint8_t> isrc = Run({0x42, 0, 0x40, 0x03, 0, 0, 2, 0, 24}, 24);
  EXPECT_EQ(std::string(isrc.begin() + 9, isrc.begin() + 21), "GBAYE0000351");
  EXPECT_EQ(Run({0x42, 0, 0x40, 0x03, 0, 0, 1, 0, 24}, 24)[8], 0);  // track 1 has none
  EXPECT_EQ(Run({0x42, 0, 0x00, 0x03, 0, 0, 2, 0, 24}, 24).size(), 4u);  // without SubQ, the header
}

}  // namespace
}  // namespace korvi::fakedrive
