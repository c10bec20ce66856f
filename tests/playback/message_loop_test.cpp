// The message loop without Qt: a send from another thread waits for the loop's thread, and a loop
// that goes away while someone waits releases the sender with 0, only after which it is gone.

#include "fixtures/time_scale.h"
#include "playback/message_loop.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

#include "messages/frame_messages.h"

namespace korvi {
namespace {

using namespace std::chrono_literals;

// Whether the thread is asleep (in the kernel's state S), as a sender waiting for its answer is.
bool IsSleeping(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t end = text.rfind(')');
  return end != std::string::npos && end + 2 < text.size() && text[end + 2] == 'S';
}

TEST(MessageLoop, SendsFromOtherThreadsRunOnTheLoopsThreadInTheOrderTheyCame) {
  std::vector<unsigned> handled;
  std::thread::id handledOn;
  MessageLoop loop([&](unsigned message, uintptr_t wParam, intptr_t) -> intptr_t {
    handled.push_back(message);
    handledOn = std::this_thread::get_id();
    return static_cast<intptr_t>(wParam * 2);
  });
  std::atomic<intptr_t> answer{0};
  std::thread sender([&] {
    loop.Post(WM_RIP_STARTED);
    answer = loop.Send(WM_RIP_PROGRESS, 21);
    loop.Wake();  // the answer arrives after the message was handled
  });
  ASSERT_TRUE(loop.RunUntil([&] { return answer.load() != 0; }, fixtures::Scaled(10s)));
  sender.join();
  EXPECT_EQ(answer.load(), 42);
  EXPECT_EQ(handled, (std::vector<unsigned>{WM_RIP_STARTED, WM_RIP_PROGRESS}));
  EXPECT_EQ(handledOn, std::this_thread::get_id());
}

// The released sender still has to take the loop's lock on its way out; the sanitizer runs catch
// a loop that is freed under it.
TEST(MessageLoop, ALoopDestroyedWhileASenderWaitsReleasesItWithZero) {
  auto loop = std::make_unique<MessageLoop>([](unsigned, uintptr_t, intptr_t) -> intptr_t { return 7; });
  MessageLoop* raw = loop.get();
  std::atomic<pid_t> tid{0};
  std::atomic<intptr_t> answer{-1};
  std::thread sender([raw, &tid, &answer] {
    tid = static_cast<pid_t>(syscall(SYS_gettid));
    answer = raw->Send(WM_RIP_PROGRESS);
  });
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while ((tid.load() == 0 || !IsSleeping(tid.load())) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(IsSleeping(tid.load()));
  loop.reset();
  sender.join();
  EXPECT_EQ(answer.load(), 0);
}

}  // namespace
}  // namespace korvi
