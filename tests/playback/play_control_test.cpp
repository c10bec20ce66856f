// The play control on a disc image and a test device: what it reads and in which chunks, what the
// device gets, the position texts, Play while playing, Stop then Play, unreadable sectors, the
// position record, and a missing or failing sound output.

#include "playback/play_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "disc/cd_device.h"
#include "disc/track_info.h"
#include "disc/track_rows.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/time_scale.h"
#include "fixtures/temp_dir.h"
#include "playback/fake_audio_device.h"
#include "playback/message_loop.h"
#include "play_messages.h"

namespace korvi {
namespace {

using namespace std::chrono_literals;

constexpr size_t kSectorBytes = 2352;

std::vector<uint8_t> Joined(const std::vector<std::vector<uint8_t>>& blocks, size_t from = 0) {
  std::vector<uint8_t> all;
  for (size_t i = from; i < blocks.size(); ++i) all.insert(all.end(), blocks[i].begin(), blocks[i].end());
  return all;
}

std::vector<int> ChunkSectors(const std::vector<std::vector<uint8_t>>& blocks) {
  std::vector<int> sectors;
  for (const auto& block : blocks) sectors.push_back(int(block.size() / kSectorBytes));
  return sectors;
}

// Sectors that cannot be read, over another source.
class ScratchedSource : public ISectorSource {
 public:
  ScratchedSource(ISectorSource& disc, std::set<int32_t> bad) : m_disc(disc), m_bad(std::move(bad)) {}
  bool ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) override {
    for (int32_t s = start; s < start + count; ++s)
      if (m_bad.count(s)) {
        std::fill_n(buffer, size_t(count) * kSectorBytes, 0xA5);  // what a failed read leaves behind
        return false;
      }
    return m_disc.ReadRawSectors(start, buffer, count);
  }

 private:
  ISectorSource& m_disc;
  std::set<int32_t> m_bad;
};

// Counts the reads that reach the disc.
class CountingSource : public ISectorSource {
 public:
  explicit CountingSource(ISectorSource& disc) : m_disc(disc) {}
  bool ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) override {
    m_reads.fetch_add(1);
    return m_disc.ReadRawSectors(start, buffer, count);
  }
  int Count() const { return m_reads.load(); }

 private:
  ISectorSource& m_disc;
  std::atomic<int> m_reads{0};
};

class PlayControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Track 1: 107 sectors (five full chunks and 7), track 2: 46, track 3: 41, track 4: 40,
    // track 5: 83, track 6: 4500.
    fixtures::ImageLayout layout;
    for (int32_t sectors : {107, 46, 41, 40, 83, 4500}) layout.tracks.push_back({false, sectors, 0, {}});
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", layout, &m_image, nullptr));
    m_disc = CdDevice::Open(m_image.cue.string());
    ASSERT_TRUE(m_disc);
  }
  void TearDown() override {
    if (!m_control) return;
    m_control->OnPlayStop();
    m_device->PlayByItself();
    m_loop.RunUntil([this] { return !m_control->IsBusy(); }, fixtures::Scaled(20s));
  }

  // Plays from the disc, or from a source that stands in front of it.
  void MakeControl(std::unique_ptr<ISectorSource> source = nullptr) {
    m_source = std::move(source);
    auto device = std::make_unique<fakes::FakeAudioDevice>();
    m_device = device.get();
    m_device->afterCompletion = [this] { m_loop.Wake(); };
    m_control = std::make_unique<PlayControl>(m_loop, m_source ? *m_source : *m_disc, std::move(device));
    m_control->onError = [this](const std::string& message, const std::string& cause) {
      m_errors.push_back(message + " / " + cause);
    };
  }
  int32_t Begin(int track) const { return m_image.starts[size_t(track - 1)]; }
  int32_t End(int track) const {
    return size_t(track) < m_image.starts.size() ? m_image.starts[size_t(track)] - 1 : m_image.leadOut - 1;
  }
  intptr_t PlayTrack(int track) {
    return m_control->Play(Begin(track), End(track), "Track " + std::to_string(track));
  }
  // Lets the device play by itself until the play is over.
  void PlayToTheEnd() {
    m_device->PlayByItself();
    ASSERT_TRUE(m_loop.RunUntil([this] { return !m_control->IsPlaying() && !m_control->IsBusy(); }, fixtures::Scaled(30s)));
  }
  void Finish(int n) {
    const int target = m_device->Completed() + n;
    m_device->Finish(n);
    ASSERT_TRUE(m_loop.RunUntil([&] { return m_device->Completed() >= target; }, fixtures::Scaled(10s)));
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  std::unique_ptr<CdDevice> m_disc;
  std::unique_ptr<ISectorSource> m_source;
  std::vector<std::string> m_errors;
  // The frame's part: what it does with each message (to the control made below).
  fixtures::PlayMessages m_messages{m_control};
  std::vector<std::string>& m_texts = m_messages.texts;
  MessageLoop m_loop{m_messages.Handler()};
  fakes::FakeAudioDevice* m_device = nullptr;
  std::unique_ptr<PlayControl> m_control;
};

TEST_F(PlayControlTest, PlaysEverySectorOfTheTrackInChunksOfTwenty) {
  MakeControl();
  ASSERT_EQ(PlayTrack(1), 0);
  EXPECT_TRUE(m_control->IsPlaying());
  EXPECT_EQ(m_device->Written().size(), 2u);
  PlayToTheEnd();
  const auto written = m_device->Written();
  EXPECT_EQ(ChunkSectors(written), (std::vector<int>{20, 20, 20, 20, 20, 7}));
  EXPECT_EQ(Joined(written), fixtures::ReadBinSectors(m_image.bin, Begin(1), End(1)));  // the last sector too
  EXPECT_EQ(m_device->MaxHeld(), 2);
  EXPECT_TRUE(m_errors.empty());
}

TEST_F(PlayControlTest, ShortTracksStartWithThreeChunksOrNotAtAll) {
  MakeControl();
  ASSERT_EQ(PlayTrack(2), 0);  // 46 sectors: end − begin is 45
  PlayToTheEnd();
  EXPECT_EQ(ChunkSectors(m_device->Written()), (std::vector<int>{20, 20, 6}));

  ASSERT_EQ(PlayTrack(3), 0);  // 41 sectors
  PlayToTheEnd();
  EXPECT_EQ(ChunkSectors(m_device->Written()), (std::vector<int>{20, 20, 6, 20, 20, 1}));

  EXPECT_EQ(PlayTrack(4), -1);  // 40 sectors: two chunks, too few to start
  EXPECT_FALSE(m_control->IsPlaying());
  EXPECT_EQ(m_device->Written().size(), 6u);
  EXPECT_TRUE(m_errors.empty());
}

TEST_F(PlayControlTest, PlayWhilePlayingIsRefusedAndTheTrackGoesOn) {
  MakeControl();
  ASSERT_EQ(PlayTrack(1), 0);
  EXPECT_EQ(PlayTrack(5), -1);
  PlayToTheEnd();
  EXPECT_EQ(Joined(m_device->Written()), fixtures::ReadBinSectors(m_image.bin, Begin(1), End(1)));
}

TEST_F(PlayControlTest, StopThenPlayDropsTheLeftoversAndStartsTheNewTrackFromItsBegin) {
  MakeControl();
  ASSERT_EQ(PlayTrack(1), 0);
  Finish(1);
  m_control->OnPlayStop();
  EXPECT_FALSE(m_control->IsPlaying());
  ASSERT_EQ(PlayTrack(5), 0);  // at once: two blocks of track 1 are still at the device
  PlayToTheEnd();
  const auto written = m_device->Written();
  ASSERT_EQ(written.size(), 3u + 5u);
  EXPECT_EQ(Joined({written.begin(), written.begin() + 3}),
            fixtures::ReadBinSectors(m_image.bin, Begin(1), Begin(1) + 59));
  EXPECT_EQ(Joined(written, 3), fixtures::ReadBinSectors(m_image.bin, Begin(5), End(5)));
  EXPECT_EQ(m_device->MaxHeld(), 2);
}

TEST_F(PlayControlTest, TheStatusTextShowsTheTimeReadAndTheTitle) {
  MakeControl();
  ASSERT_EQ(PlayTrack(5), 0);
  PlayToTheEnd();
  // 83 sectors: after 60 read the first block finishes; then 80 and 83 are read.
  ASSERT_FALSE(m_texts.empty());
  EXPECT_EQ(m_texts.front(), "0:0:1(Track 5)");
  EXPECT_EQ(m_texts.back(), "0:0:1(Track 5)");

  m_texts.clear();
  ASSERT_EQ(PlayTrack(6), 0);
  PlayToTheEnd();
  ASSERT_EQ(m_texts.size(), 225u);  // one per block
  EXPECT_EQ(m_texts[0], "0:0:1(Track 6)");
  EXPECT_EQ(m_texts[218], "0:0:59(Track 6)");  // 4440 sectors
  // All 4500 sectors read: the end reads as the Length column, 4499 / 75 = 59 s, not a minute.
  EXPECT_EQ(m_texts.back(), "0:0:59(Track 6)");
  EXPECT_EQ(m_texts.back(), LengthText(Begin(6), End(6)) + "(Track 6)");
}

TEST_F(PlayControlTest, AfterStopTheBlocksAtTheDeviceFinishButTheDiscIsNotReadAgain) {
  auto counting = std::make_unique<CountingSource>(*m_disc);
  CountingSource& reads = *counting;
  MakeControl(std::move(counting));
  ASSERT_EQ(PlayTrack(6), 0);
  Finish(1);
  EXPECT_EQ(reads.Count(), 4);  // three to start, one for the block that finished
  m_control->OnPlayStop();
  const int atStop = reads.Count();
  const size_t textsAtStop = m_texts.size();
  PlayToTheEnd();
  EXPECT_EQ(m_device->Completed(), 3);
  EXPECT_EQ(m_texts.size(), textsAtStop + 2);  // the two blocks at the device still report
  EXPECT_EQ(reads.Count(), atStop);
  EXPECT_EQ(m_device->Written().size(), 3u);
}

TEST_F(PlayControlTest, AnUnreadableChunkIsHeardAsSilenceAndThePlayGoesOn) {
  MakeControl(std::make_unique<ScratchedSource>(*m_disc, std::set<int32_t>{Begin(1) + 45}));
  ASSERT_EQ(PlayTrack(1), 0);
  PlayToTheEnd();
  auto expected = fixtures::ReadBinSectors(m_image.bin, Begin(1), End(1));
  std::fill(expected.begin() + 40 * kSectorBytes, expected.begin() + 60 * kSectorBytes, 0);
  EXPECT_EQ(Joined(m_device->Written()), expected);
  EXPECT_FALSE(m_control->IsPlaying());
}

TEST_F(PlayControlTest, ThePositionRecordHoldsTheTitleCutToWholeCharacters) {
  MakeControl();
  PlayPosition position;
  const std::string title99(99, 'x');
  ASSERT_EQ(m_control->Play(Begin(1), End(1), title99), 0);
  m_control->FillPlayPosition(&position);
  EXPECT_EQ(std::string(position.name), title99);
  EXPECT_EQ(position.played, 60);
  EXPECT_EQ(position.length, 107);
  PlayToTheEnd();
  m_control->FillPlayPosition(&position);
  EXPECT_EQ(position.played, 107);

  // 98 bytes and a two-byte character do not fit in 99: the character goes whole.
  const std::string accented = std::string(98, 'a') + "\xC3\xA9" + "tail";
  ASSERT_EQ(m_control->Play(Begin(1), End(1), accented), 0);
  m_control->FillPlayPosition(&position);
  EXPECT_EQ(std::string(position.name), std::string(98, 'a'));
  EXPECT_EQ(PlayPositionText(position), "0:0:0(" + std::string(98, 'a') + ")");
}

TEST_F(PlayControlTest, PlayTakesTheRowsNameAndSectorColumns) {
  MakeControl();
  TrackRowTable rows;
  rows.InsertRow(0, "Overture");
  rows.SetText(0, kColumnBegin, std::to_string(Begin(5)));
  rows.SetText(0, kColumnEnd, std::to_string(End(5)));
  rows.InsertRow(1, "Backwards");
  rows.SetText(1, kColumnBegin, "300");
  rows.SetText(1, kColumnEnd, "200");
  EXPECT_EQ(m_control->OnPlayStart(rows, -1), -1);  // nothing selected
  EXPECT_EQ(m_control->OnPlayStart(rows, 1), -1);   // a range that no disc has
  EXPECT_FALSE(m_control->IsPlaying());
  ASSERT_EQ(m_control->OnPlayStart(rows, 0), 0);
  PlayToTheEnd();
  EXPECT_EQ(Joined(m_device->Written()), fixtures::ReadBinSectors(m_image.bin, Begin(5), End(5)));
  EXPECT_EQ(m_texts.back(), "0:0:1(Overture)");
}

TEST_F(PlayControlTest, WithoutSoundOutputPlayTellsTheUserEachTimeAndDoesNotPlay) {
  MakeControl();
  m_device->SetCanOpen(false);
  EXPECT_EQ(PlayTrack(1), -1);
  EXPECT_FALSE(m_control->IsPlaying());
  ASSERT_EQ(m_errors.size(), 1u);
  EXPECT_EQ(m_errors[0], std::string(kNoSoundOutputMessage) + " / no sound card in this test");
  EXPECT_EQ(PlayTrack(1), -1);
  EXPECT_EQ(m_errors.size(), 2u);
  EXPECT_TRUE(m_texts.empty());
}

TEST_F(PlayControlTest, AnOutputThatBreaksWhilePlayingIsToldOnceAndThePlayEnds) {
  MakeControl();
  ASSERT_EQ(PlayTrack(1), 0);
  Finish(1);
  const int target = m_device->Completed() + 2;
  m_device->Break();
  ASSERT_TRUE(m_loop.RunUntil([&] { return m_device->Completed() >= target; }, fixtures::Scaled(10s)));
  EXPECT_FALSE(m_control->IsPlaying());
  EXPECT_FALSE(m_control->IsBusy());
  ASSERT_EQ(m_errors.size(), 1u);
  EXPECT_EQ(m_errors[0], std::string(kNoSoundOutputMessage) + " / the test pulled the plug");
}

}  // namespace
}  // namespace korvi
