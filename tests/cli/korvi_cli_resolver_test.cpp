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

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

TEST(KorviCliResolver, ASilentResolverCostsTheStallLimitAndASigtermEndsTheWait) {
  fixtures::TempDir dir;
  fixtures::WrittenImage image;
  ASSERT_TRUE(
      fixtures::WriteCueBinImage(dir / "disc.cue", fixtures::AllAudioLayout(2, 150), &image, nullptr));
  const auto mark = dir / "asked";
  fixtures::ChildOptions rip;
  rip.args = {KORVI_CLI_PATH,      "rip",      image.cue.string(), "--format", "wav", "--out",
              dir.path().string(), "--no-log", "--no-cue"};
  rip.env = {"HOME=" + dir.path().string(), "XDG_CONFIG_HOME=" + (dir / "config").string(),
             "KORVI_ACCURATERIP_SERVER=accuraterip.stall.invalid", "LD_PRELOAD=" KORVI_STALL_RESOLVER_PATH,
             "STALL_RESOLVER_MARK=" + mark.string(),
             // The sanitizers' runtime cannot come first when a library is preloaded.
             "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};

  Clock::time_point start = Clock::now();
  const fixtures::ChildResult done = fixtures::RunChild(rip, milliseconds(fixtures::ScaledMs(60000)));
  ASSERT_TRUE(done.exited) << "still waiting for the resolver after " << MsSince(start) << " ms";
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_TRUE(std::filesystem::exists(mark));
  EXPECT_NE(done.out.find("AccurateRip track 1: Database not reachable\n"), std::string::npos) << done.out;
  EXPECT_LT(MsSince(start), fixtures::ScaledMs(6000));  // 2 s without a byte, and the rip

  std::filesystem::remove(mark);
  rip.args.insert(rip.args.end(), {"--on-exists", "overwrite"});
  fixtures::ChildProcess child;
  ASSERT_TRUE(child.Start(rip));
  const Clock::time_point askedBy = Clock::now() + milliseconds(fixtures::ScaledMs(10000));
  while (!std::filesystem::exists(mark) && Clock::now() < askedBy)
    std::this_thread::sleep_for(milliseconds(5));
  ASSERT_TRUE(std::filesystem::exists(mark));
  start = Clock::now();
  ASSERT_TRUE(child.Signal(SIGTERM));
  const fixtures::ChildResult stopped = child.Finish(milliseconds(fixtures::ScaledMs(60000)));
  ASSERT_TRUE(stopped.exited) << stopped.err;
  EXPECT_EQ(stopped.status, 1) << stopped.err;
  EXPECT_LT(MsSince(start), fixtures::ScaledMs(1500));  // sooner than the fetch's own 2 s
}

}  // namespace
}  // namespace korvi
