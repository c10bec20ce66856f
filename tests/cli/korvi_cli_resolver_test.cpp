// korvi-cli rip while the name of the AccurateRip server never resolves (a preloaded resolver that
// stays silent): the fetch gives up at its limit of 2 s without a byte and the rip ends, and a
// SIGTERM while the name is being asked for ends the rip at once.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"
#include "fixtures/time_scale.h"

namespace korvi {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class KorviCliResolver : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", fixtures::AllAudioLayout(2, 150), &m_image,
                                           nullptr));
    std::filesystem::create_directory(m_dir / "out");
  }
  fixtures::ChildOptions Rip() const {
    fixtures::ChildOptions options;
    options.args = {KORVI_CLI_PATH, "rip",     m_image.cue.string(), "--format", "wav", "--out",
                    (m_dir / "out").string(), "--on-exists", "overwrite", "--no-log", "--no-cue"};
    const std::string home = (m_dir / "home").string();
    options.env = {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config", "XDG_DATA_HOME=" + home + "/data",
                   "KORVI_ACCURATERIP_SERVER=accuraterip.stall.invalid", "LD_PRELOAD=" KORVI_STALL_RESOLVER_PATH,
                   "STALL_RESOLVER_MARK=" + Mark().string(),
                   // The sanitizers' runtime cannot come first when a library is preloaded.
                   "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
    return options;
  }
  std::filesystem::path Mark() const { return m_dir / "asked"; }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
};

TEST_F(KorviCliResolver, ASilentResolverCostsTheStallLimitAndASigtermEndsTheWait) {
  Clock::time_point start = Clock::now();
  const fixtures::ChildResult rip = fixtures::RunChild(Rip(), milliseconds(fixtures::ScaledMs(60000)));
  const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
  ASSERT_TRUE(rip.exited) << "still waiting for the resolver after " << took.count() << " ms";
  EXPECT_EQ(rip.status, 0) << rip.err;
  EXPECT_TRUE(std::filesystem::exists(Mark()));
  EXPECT_NE(rip.out.find("AccurateRip track 1: Database not reachable\n"), std::string::npos) << rip.out;
  // 2 s without a byte, and the rip of two seconds of audio.
  EXPECT_LT(took.count(), fixtures::ScaledMs(6000));

  std::filesystem::remove(Mark());
  fixtures::ChildProcess child;
  ASSERT_TRUE(child.Start(Rip()));
  const Clock::time_point askedBy = Clock::now() + milliseconds(fixtures::ScaledMs(10000));
  while (!std::filesystem::exists(Mark()) && Clock::now() < askedBy)
    std::this_thread::sleep_for(milliseconds(5));
  ASSERT_TRUE(std::filesystem::exists(Mark()));
  start = Clock::now();
  ASSERT_TRUE(child.Signal(SIGTERM));
  const fixtures::ChildResult stopped = child.Finish(milliseconds(fixtures::ScaledMs(60000)));
  const auto ended = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
  ASSERT_TRUE(stopped.exited) << stopped.err;
  EXPECT_EQ(stopped.status, 1) << stopped.err;
  // Sooner than the 2 s the fetch would wait on its own.
  EXPECT_LT(ended.count(), fixtures::ScaledMs(1500));
}

}  // namespace
}  // namespace korvi
