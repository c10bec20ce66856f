// Disc images read through libcdio, checked against the image's own bytes, cd-info's track list
// and libdiscid's CDDB disc id.

#include "disc/cd_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "cddb/disc_id.h"
#include "disc/read_toc.h"
#include "disc/track_rows.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/oracles.h"
#include "fixtures/temp_dir.h"

namespace korvi {
namespace {

using fixtures::ImageLayout;
using fixtures::ImageTrack;
using fixtures::WrittenImage;

using fixtures::CdInfoTrack;
using fixtures::CdInfoTracks;
using fixtures::LibDiscIdFreedbId;

std::string DiscIdText(const CDROM_TOC& toc) {
  std::vector<CCDDBTrackPosition> positions;
  if (!TrackPositionsFromToc(toc, positions)) return {};
  char text[16];
  std::snprintf(text, sizeof text, "%08x", ComputeDiscId(positions));
  return text;
}

class DiscImageTest : public ::testing::Test {
 protected:
  WrittenImage Write(const ImageLayout& layout, const std::string& name = "disc.cue") {
    WrittenImage image;
    std::string error;
    EXPECT_TRUE(fixtures::WriteCueBinImage(m_dir / name, layout, &image, &error)) << error;
    return image;
  }

  // Reads the image as the program does and checks it against cd-info and libdiscid.
  void ExpectAgreesWithOracles(const WrittenImage& image, int expectedRows) {
    auto device = CdDevice::Open(image.cue.string());
    ASSERT_TRUE(device);
    DiscToc disc;
    TrackRowTable rows;
    ASSERT_EQ(ReadTocIntoRows(device.get(), disc, rows), 0) << device->lastError();
    ASSERT_EQ(rows.RowCount(), expectedRows);

    const std::vector<CdInfoTrack> oracle = CdInfoTracks(image.cue);
    ASSERT_EQ(oracle.size(), image.starts.size() + 1) << "cd-info did not list the image";
    ASSERT_EQ(oracle.back().number, 170);
    EXPECT_EQ(oracle.back().lsn, image.leadOut);
    // The audio after the data tracks that lead, up to the next data track.
    int first = 0;
    while (first + 1 < int(oracle.size()) && !oracle[first].audio) ++first;
    int audio = 0;
    while (first + audio + 1 < int(oracle.size()) && oracle[first + audio].audio) ++audio;
    EXPECT_EQ(rows.RowCount(), audio);
    for (int r = 0; r < rows.RowCount(); ++r) {
      EXPECT_EQ(rows.Text(r, kColumnName), "Track " + std::to_string(oracle[first + r].number));
      EXPECT_EQ(rows.Text(r, kColumnBegin), std::to_string(oracle[first + r].lsn)) << "row " << r;
      if (!disc.audioEnd) {
        EXPECT_EQ(rows.Text(r, kColumnEnd), std::to_string(oracle[first + r + 1].lsn - 1)) << "row " << r;
      }
    }
    const std::string expectedId = LibDiscIdFreedbId(oracle);
    ASSERT_FALSE(expectedId.empty());
    EXPECT_EQ(DiscIdText(disc.toc), expectedId);
  }

  fixtures::TempDir m_dir;
};

TEST_F(DiscImageTest, AllAudioWithStoredPregaps) {
  ImageLayout layout;
  layout.tracks = {{false, 900, 0, {}}, {false, 1210, 150, {}}, {false, 377, 75, {}}, {false, 2000, 150, {}}};
  ExpectAgreesWithOracles(Write(layout), 4);
}

TEST_F(DiscImageTest, FirstTrackNotOnAWholeSecond) {
  ImageLayout layout;
  layout.tracks = {{false, 800, 33, {}}, {false, 640, 150, {}}, {false, 1111, 0, {}}};
  const WrittenImage image = Write(layout);
  EXPECT_EQ(image.starts[0], 33);
  ExpectAgreesWithOracles(image, 3);
}

TEST_F(DiscImageTest, DataTrackLastInTheSameSession) {
  ImageLayout layout;
  layout.tracks = {{false, 700, 0, {}}, {false, 900, 150, {}}, {true, 600, 150, {}}};
  ExpectAgreesWithOracles(Write(layout), 2);
}

TEST_F(DiscImageTest, MixedModeListsTheAudioAfterTheDataTrack) {
  ImageLayout layout;
  layout.tracks = {{true, 800, 0, {}}, {false, 500, 150, {}}, {false, 500, 0, {}}};
  ExpectAgreesWithOracles(Write(layout), 2);
}

TEST_F(DiscImageTest, ManyShortTracks) {
  ExpectAgreesWithOracles(Write(fixtures::AllAudioLayout(40, 80, 9)), 40);
}

// An image has no sessions: the audio before a data track ends where the image puts the data
// track's pregap, and at the data track itself when there is none, however long the audio is.
TEST_F(DiscImageTest, AudioBeforeADataTrackEndsAtItsPregap) {
  struct Case {
    const char* what;
    int32_t audioSectors;
    int32_t dataPregap;
  };
  for (const Case& c : {Case{"gapless", 20000, 0}, Case{"short pregap", 900, 150},
                        Case{"session gap stored as pregap", 750, kSessionGapSectors + 40}}) {
    SCOPED_TRACE(c.what);
    ImageLayout layout;
    layout.tracks = {{false, 600, 0, {}}, {false, c.audioSectors, 150, {}}, {true, 300, c.dataPregap, {}}};
    const WrittenImage image = Write(layout, std::string(c.what) + ".cue");
    ExpectAgreesWithOracles(image, 2);

    auto device = CdDevice::Open(image.cue.string());
    ASSERT_TRUE(device);
    DiscToc disc;
    TrackRowTable rows;
    ASSERT_EQ(ReadTocIntoRows(device.get(), disc, rows), 0);
    EXPECT_EQ(rows.Text(0, kColumnEnd), std::to_string(image.starts[1] - 1));
    EXPECT_EQ(rows.Text(1, kColumnEnd), std::to_string(image.starts[1] + c.audioSectors - 1));
    EXPECT_EQ(rows.Text(1, kColumnEnd), std::to_string(image.starts[2] - c.dataPregap - 1));
  }
}

TEST_F(DiscImageTest, RawReadOfAWholeTrackEqualsTheImageBytes) {
  ImageLayout layout;
  layout.tracks = {{false, 300, 0, {}}, {false, 457, 150, {}}};
  const WrittenImage image = Write(layout);
  auto device = CdDevice::Open(image.cue.string());
  ASSERT_TRUE(device);
  DiscToc disc;
  TrackRowTable rows;
  ASSERT_EQ(ReadTocIntoRows(device.get(), disc, rows), 0);
  const TrackSpan span = RowSpan(rows, 1);
  const int32_t count = span.end - span.begin + 1;

  std::ifstream bin(image.bin, std::ios::binary);
  std::vector<char> expected(size_t(count) * kRawSectorBytes);
  bin.seekg(std::streamoff(span.begin) * kRawSectorBytes);
  ASSERT_TRUE(bin.read(expected.data(), std::streamsize(expected.size())));

  // One sector a call, as the rip does, and 20 a call, as playback does.
  std::vector<uint8_t> one(expected.size()), twenty(expected.size());
  for (int32_t s = 0; s < count; ++s)
    ASSERT_TRUE(device->ReadRawSectors(span.begin + s, one.data() + size_t(s) * kRawSectorBytes, 1)) << s;
  for (int32_t s = 0; s < count; s += 20) {
    const int32_t n = std::min<int32_t>(20, count - s);
    ASSERT_TRUE(device->ReadRawSectors(span.begin + s, twenty.data() + size_t(s) * kRawSectorBytes, n)) << s;
  }
  EXPECT_EQ(0, std::memcmp(one.data(), expected.data(), expected.size()));
  EXPECT_EQ(0, std::memcmp(twenty.data(), expected.data(), expected.size()));
  // The content is not silence, or the comparison would prove little.
  EXPECT_NE(std::count(expected.begin(), expected.end(), 0), std::ptrdiff_t(expected.size()));
}

// The player reads on the GUI thread while a rip reads on its worker; libcdio has one stream for
// the image, so without the device's lock one thread's seek lands between the other's seek and read.
TEST_F(DiscImageTest, ReadsFromTwoThreadsEachGetTheirOwnSectors) {
  const WrittenImage image = Write(fixtures::AllAudioLayout(2, 400, 4));
  auto device = CdDevice::Open(image.cue.string());
  ASSERT_TRUE(device);
  const std::vector<uint8_t> expected = fixtures::ReadBinSectors(image.bin, 0, 799);
  ASSERT_EQ(expected.size(), 800u * kRawSectorBytes);
  std::atomic<int> wrong{0};
  const auto reader = [&](int32_t first) {
    std::vector<uint8_t> buffer(20 * kRawSectorBytes);
    for (int round = 0; round < 300; ++round) {
      const int32_t start = first + (round * 20) % 400;
      if (!device->ReadRawSectors(start, buffer.data(), 20) ||
          !std::equal(buffer.begin(), buffer.end(), expected.begin() + ptrdiff_t(start) * kRawSectorBytes))
        ++wrong;
    }
  };
  std::thread player(reader, 0);
  std::thread ripper(reader, 400);
  player.join();
  ripper.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(DiscImageTest, BadReadsFailCleanly) {
  const WrittenImage image = Write(fixtures::AllAudioLayout(2, 100));
  auto device = CdDevice::Open(image.cue.string());
  ASSERT_TRUE(device);
  std::vector<uint8_t> buffer(kRawSectorBytes * 4);
  EXPECT_FALSE(device->ReadRawSectors(-1, buffer.data(), 1));
  EXPECT_FALSE(device->ReadRawSectors(0, buffer.data(), 0));
  EXPECT_FALSE(device->ReadRawSectors(image.leadOut + 10, buffer.data(), 1));
  EXPECT_FALSE(device->lastError().empty());
  EXPECT_TRUE(device->IsAudioTrack(1));
  EXPECT_FALSE(device->IsAudioTrack(0));
  EXPECT_FALSE(device->IsAudioTrack(3));
}

TEST_F(DiscImageTest, MissingOrBrokenImagesFailTheTocRead) {
  std::string error;
  EXPECT_FALSE(CdDevice::Open((m_dir / "absent.cue").string(), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(CdDevice::Open("", &error));

  const auto expectNoToc = [](const std::filesystem::path& path) {
    auto device = CdDevice::Open(path.string());
    if (!device) return;  // refused at open: as good as a failed read
    DiscToc disc;
    TrackRowTable rows;
    rows.InsertRow(0, "stale");
    EXPECT_EQ(ReadTocIntoRows(device.get(), disc, rows), -1) << path;
    EXPECT_EQ(rows.RowCount(), 0);
  };
  const auto writeText = [this](const std::string& name, const std::string& text) {
    std::ofstream(m_dir / name, std::ios::binary) << text;
    return m_dir / name;
  };
  static const char kGarbage[] = "\x7f\x45\x4c\x46\x00\x01 not a cue sheet \xff\xfe";
  expectNoToc(writeText("garbage.cue", std::string(kGarbage, sizeof kGarbage - 1)));
  expectNoToc(writeText("empty.cue", ""));
  expectNoToc(writeText("notracks.cue", "FILE \"notracks.bin\" BINARY\n"));
  writeText("nobin.cue", "FILE \"nobin.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
  expectNoToc(m_dir / "nobin.cue");

  TrackRowTable rows;
  DiscToc disc;
  EXPECT_EQ(ReadTocIntoRows(nullptr, disc, rows), -1);
}

TEST(DriveList, ImagesFromTheEnvironmentFollowTheDrives) {
  setenv("KORVI_CD_IMAGES", "/tmp/a.cue::/tmp/b.cue:", 1);
  const std::vector<std::string> drives = EnumerateDrives();
  unsetenv("KORVI_CD_IMAGES");
  ASSERT_GE(drives.size(), 2u);
  EXPECT_EQ(drives[drives.size() - 2], "/tmp/a.cue");
  EXPECT_EQ(drives.back(), "/tmp/b.cue");
  const std::vector<std::string> none = EnumerateDrives();
  EXPECT_EQ(none.size(), drives.size() - 2);
}

}  // namespace
}  // namespace korvi
