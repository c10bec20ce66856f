// The wave player's queue rules on a test device: when it starts, what is at the device, the order
// of release, refill and submission, stopping, playing out, and a sound output that is missing.

#include "fixtures/time_scale.h"
#include "playback/wave_player.h"

#include <gtest/gtest.h>

#include "playback/fake_audio_device.h"
#include "playback/message_loop.h"

namespace korvi {
namespace {

using namespace std::chrono_literals;

// Block n holds the byte n, so the device's record shows the order.
AudioBlock Numbered(uint8_t n) {
  const uint8_t bytes[4] = {n, n, n, n};
  return AudioBlock(4, bytes);
}

std::vector<int> Numbers(const std::vector<std::vector<uint8_t>>& written) {
  std::vector<int> numbers;
  for (const auto& block : written) numbers.push_back(block.empty() ? -1 : block[0]);
  return numbers;
}

class WavePlayerTest : public ::testing::Test {
 protected:
  WavePlayerTest() {
    auto device = std::make_unique<fakes::FakeAudioDevice>();
    m_device = device.get();
    m_device->afterCompletion = [this] { m_loop.Wake(); };
    m_player = std::make_unique<CWavePlayer>(std::move(device));
    m_player->setNotifyWindow(&m_loop);
  }
  ~WavePlayerTest() override {
    // Whatever is still at the device finishes, with its messages served, before the player goes.
    m_onBufferDone = [] {};
    m_player->stop();
    m_device->PlayByItself();
    m_loop.RunUntil([this] { return !m_player->busy(); }, fixtures::Scaled(10s));
  }

  void Enqueue(std::initializer_list<uint8_t> numbers) {
    for (uint8_t n : numbers) m_player->enqueue(Numbered(n));
  }
  // Lets n blocks finish and waits until their completions are through.
  void Finish(int n) {
    const int target = m_device->Completed() + n;
    m_device->Finish(n);
    ASSERT_TRUE(m_loop.RunUntil([&] { return m_device->Completed() >= target; }, fixtures::Scaled(10s)));
  }

  // What the frame does with WM_PLAY_BUFFER_DONE; runs on the test's thread.
  std::function<void()> m_onBufferDone = [] {};
  int m_bufferDone = 0;
  MessageLoop m_loop{[this](unsigned message, uintptr_t, intptr_t) -> intptr_t {
    if (message == WM_PLAY_BUFFER_DONE) {
      ++m_bufferDone;
      m_onBufferDone();
    }
    return 0;
  }};
  fakes::FakeAudioDevice* m_device = nullptr;
  std::unique_ptr<CWavePlayer> m_player;
};

TEST_F(WavePlayerTest, StartsOnlyWithThreeQueuedBlocksAndKeepsTwoAtTheDevice) {
  EXPECT_TRUE(m_player->isStopped());
  Enqueue({0, 1});
  EXPECT_FALSE(m_player->start());
  EXPECT_TRUE(m_player->isStopped());
  EXPECT_EQ(m_device->Opens(), 0);
  EXPECT_TRUE(m_device->Written().empty());

  Enqueue({2});
  EXPECT_TRUE(m_player->start());
  EXPECT_FALSE(m_player->isStopped());
  EXPECT_EQ(Numbers(m_device->Written()), (std::vector<int>{0, 1}));
  EXPECT_EQ(m_player->blocksAtDevice(), 2);
  EXPECT_EQ(m_player->queuedBlocks(), 1u);
}

TEST_F(WavePlayerTest, EachFinishedBlockIsReleasedThenRefilledThenReplacedInQueueOrder) {
  Enqueue({0, 1, 2});
  ASSERT_TRUE(m_player->start());
  uint8_t next = 3;
  m_onBufferDone = [&] {
    // The finished block is gone and the next one is not submitted yet while the frame refills.
    EXPECT_EQ(m_player->blocksAtDevice(), 1);
    EXPECT_EQ(m_device->Written().size(), size_t(next) - 1);
    m_player->enqueue(Numbered(next++));
  };
  for (int round = 0; round < 5; ++round) Finish(1);
  EXPECT_EQ(m_bufferDone, 5);
  EXPECT_EQ(Numbers(m_device->Written()), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(m_player->blocksAtDevice(), 2);
  EXPECT_EQ(m_player->queuedBlocks(), 1u);
  EXPECT_EQ(m_device->MaxHeld(), 2);
  EXPECT_FALSE(m_player->isStopped());
}

TEST_F(WavePlayerTest, StopLetsTheBlocksAtTheDeviceFinishAndSubmitsNothingMore) {
  Enqueue({0, 1, 2, 3});
  ASSERT_TRUE(m_player->start());
  m_player->stop();
  EXPECT_TRUE(m_player->isStopped());
  EXPECT_TRUE(m_player->busy());
  Finish(2);
  EXPECT_EQ(m_bufferDone, 2);  // one per block that was at the device
  EXPECT_EQ(Numbers(m_device->Written()), (std::vector<int>{0, 1}));
  EXPECT_EQ(m_player->queuedBlocks(), 2u);  // kept until the next clear
  EXPECT_FALSE(m_player->busy());
  m_player->clear();
  EXPECT_EQ(m_player->queuedBlocks(), 0u);
}

TEST_F(WavePlayerTest, PlaysOutEveryQueuedBlockAndThenStopsByItself) {
  Enqueue({0, 1, 2});
  ASSERT_TRUE(m_player->start());
  Finish(1);
  EXPECT_FALSE(m_player->isStopped());
  Finish(1);
  EXPECT_FALSE(m_player->isStopped());  // the last block is still playing
  EXPECT_EQ(m_player->blocksAtDevice(), 1);
  m_onBufferDone = [this] { EXPECT_TRUE(m_player->isStopped()) << "the frame sees the end already"; };
  Finish(1);
  EXPECT_TRUE(m_player->isStopped());
  EXPECT_FALSE(m_player->busy());
  EXPECT_EQ(Numbers(m_device->Written()), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(m_bufferDone, 3);
}

TEST_F(WavePlayerTest, StopAndAQuickStartNeverPutMoreThanTwoBlocksAtTheDevice) {
  Enqueue({0, 1, 2});
  ASSERT_TRUE(m_player->start());
  m_player->stop();
  m_player->clear();
  Enqueue({10, 11, 12});
  ASSERT_TRUE(m_player->start());
  EXPECT_EQ(m_player->blocksAtDevice(), 2);  // still the two of the stopped play
  Finish(1);
  Finish(1);
  Finish(1);
  EXPECT_EQ(Numbers(m_device->Written()), (std::vector<int>{0, 1, 10, 11, 12}));
  EXPECT_EQ(m_device->MaxHeld(), 2);
  Finish(2);
  EXPECT_TRUE(m_player->isStopped());
}

TEST_F(WavePlayerTest, WithoutASoundOutputItDoesNotStartAndSaysWhyOnce) {
  m_device->SetCanOpen(false);
  Enqueue({0, 1, 2});
  EXPECT_FALSE(m_player->start());
  EXPECT_TRUE(m_player->isStopped());
  EXPECT_TRUE(m_device->Written().empty());
  std::string cause;
  EXPECT_TRUE(m_player->takeFailure(&cause));
  EXPECT_EQ(cause, "no sound card in this test");
  EXPECT_FALSE(m_player->takeFailure());

  m_device->SetCanOpen(true);
  EXPECT_TRUE(m_player->start());  // tries again
  EXPECT_EQ(m_device->Opens(), 2);
}

TEST_F(WavePlayerTest, OpeningInTheBackgroundStartsAtOnceAndTellsAFailureByOneMessage) {
  m_player->setOpenInBackground(true);
  m_device->SetCanOpen(false);
  Enqueue({0, 1, 2});
  ASSERT_TRUE(m_player->start());  // starting: the device opens on its own thread
  ASSERT_TRUE(m_loop.RunUntil([this] { return m_bufferDone == 1 && !m_player->busy(); }, fixtures::Scaled(10s)));
  EXPECT_TRUE(m_player->isStopped());
  std::string cause;
  EXPECT_TRUE(m_player->takeFailure(&cause));
  EXPECT_EQ(cause, "no sound card in this test");
  EXPECT_TRUE(m_device->Written().empty());

  m_device->SetCanOpen(true);
  ASSERT_TRUE(m_player->start());
  ASSERT_TRUE(m_loop.RunUntil([this] { return m_device->Written().size() == 2; }, fixtures::Scaled(10s)));
  EXPECT_FALSE(m_player->isStopped());
  EXPECT_EQ(Numbers(m_device->Written()), (std::vector<int>{0, 1}));
  EXPECT_EQ(m_bufferDone, 1);
  EXPECT_FALSE(m_player->takeFailure());
  EXPECT_EQ(m_device->Opens(), 2);
}

}  // namespace
}  // namespace korvi
