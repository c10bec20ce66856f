#include "metadata/request_pace.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <thread>

#include "common/fs_util.h"

namespace korvi {
namespace {

using Clock = RequestPace::Clock;
using Ms = std::chrono::milliseconds;

// A token without a descriptor cannot wake a wait, so the wait looks at it this often.
constexpr int kCancelPollMs = 20;
constexpr int kLockPollMs = 5;
// Looks that find the turn taken by another process, at most: more processes than a user runs at
// once. Beyond them the request goes, rather than wait on a process that writes the file forever.
constexpr int kMaxRounds = 32;
// The longest text of a time: 19 digits and the line's end.
constexpr size_t kMaxTimeBytes = 20;
// Pace files untouched for a day belong to servers no longer asked (a test's stand-in, mostly).
constexpr int64_t kStalePaceSeconds = 24 * 3600;
constexpr std::string_view kPrefix = "pace-";

bool Cancelled(const CancelToken* cancel) { return cancel && cancel->IsCancelled(); }

int64_t NowMs() { return std::chrono::duration_cast<Ms>(Clock::now().time_since_epoch()).count(); }

// Sleeps for ms; false when the token was cancelled first.
bool Sleep(int64_t ms, const CancelToken* cancel) {
  const Clock::time_point until = Clock::now() + Ms(ms);
  for (;;) {
    if (Cancelled(cancel)) return false;
    const Clock::time_point now = Clock::now();
    if (now >= until) return true;
    int64_t waitMs = std::chrono::ceil<Ms>(until - now).count();
    const int fd = cancel ? cancel->WakeDescriptor() : -1;
    if (cancel && fd < 0) waitMs = std::min<int64_t>(waitMs, kCancelPollMs);
    if (fd >= 0) {
      pollfd wake{fd, POLLIN, 0};
      ::poll(&wake, 1, static_cast<int>(waitMs));
    } else {
      std::this_thread::sleep_for(Ms(waitMs));
    }
  }
}

// A folder of the user's own that no one else may enter, seen without following a link.
bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 077) == 0;
}

// The pace file for reading and writing when it is a regular file of the user's: never through a
// link, never waiting on a pipe put at its name.
UniqueFd OpenPaceFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
  struct stat st {};
  if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
    return {};
  return fd;
}

// The lock, polled so that a holder that hangs cannot hang us; false when it was not had within
// waitMs (or the token was cancelled).
bool Lock(int fd, int waitMs, const CancelToken* cancel) {
  const Clock::time_point deadline = Clock::now() + Ms(waitMs);
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || Clock::now() >= deadline || !Sleep(kLockPollMs, cancel)) return false;
  }
  return true;
}

class Locked {
 public:
  explicit Locked(int fd) : m_fd(fd) {}
  ~Locked() { ::flock(m_fd, LOCK_UN); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  int m_fd;
};

// The time the file holds, in ms of the steady clock; none for an empty file or anything but
// digits and a line's end.
std::optional<int64_t> ReadTime(int fd) {
  char text[kMaxTimeBytes + 1];
  const ssize_t read = ::pread(fd, text, sizeof text, 0);
  if (read < 2 || size_t(read) > kMaxTimeBytes || text[read - 1] != '\n') return std::nullopt;
  int64_t value = 0;
  const char* end = text + read - 1;
  const auto [stop, error] = std::from_chars(text, end, value);
  if (error != std::errc() || stop != end || value < 0) return std::nullopt;
  return value;
}

// A failed write leaves text that reads as no time, which costs no wait.
void WriteTime(int fd, std::optional<int64_t> ms) {
  const std::string text = ms ? std::to_string(*ms) + '\n' : std::string();
  if (!text.empty() && ::pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) return;
  if (::ftruncate(fd, static_cast<off_t>(text.size())) != 0) return;
}

bool IsPaceFile(std::string_view name) { return name.starts_with(kPrefix); }

}  // namespace

std::optional<std::string> PaceFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  // The runtime folder is the user's alone; without one, a folder of the user's own in /tmp, which
  // is refused when someone else made it first.
  const std::string folder = runtime && runtime[0] == '/' && IsDirectory(runtime)
                                 ? std::string(runtime) + "/korvi-cd-ripper"
                                 : "/tmp/korvi-cd-ripper-" + std::to_string(::geteuid());
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
  if (!IsPrivateFolder(folder)) return std::nullopt;
  return folder;
}

std::string PaceFileName(std::string_view serverBase) {
  const size_t scheme = serverBase.find("://");
  if (scheme != std::string_view::npos) serverBase.remove_prefix(scheme + 3);
  std::string name(kPrefix);
  // Short of the file system's 255 bytes.
  for (const char c : serverBase.substr(0, 200)) {
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    name += plain ? c : '_';
  }
  return name;
}

RequestPace::RequestPace(std::optional<std::string> folder, std::string fileName, int intervalMs)
    : m_intervalMs(intervalMs) {
  if (folder) m_path = *folder + "/" + fileName;
}

bool RequestPace::Take(const CancelToken* cancel) {
  m_taken.reset();
  m_previous.reset();
  const UniqueFd fd = m_path ? OpenPaceFile(*m_path) : UniqueFd();
  if (!fd.Valid()) return !Cancelled(cancel);
  struct stat st {};
  if (::fstat(fd.Get(), &st) == 0 && st.st_size == 0)
    RemoveStaleTemporaries(m_path->substr(0, m_path->rfind('/')), kStalePaceSeconds, IsPaceFile);
  for (int round = 0; round < kMaxRounds; ++round) {
    // A holder that keeps the lock for longer than the interval is not waited for.
    if (!Lock(fd.Get(), m_intervalMs, cancel)) break;
    int64_t waitMs = 0;
    {
      const Locked locked(fd.Get());
      const std::optional<int64_t> last = ReadTime(fd.Get());
      const int64_t now = NowMs();
      // A time to come is none of this boot's requests: a broken file, or one older than the clock.
      if (!last || *last > now || now - *last >= m_intervalMs) {
        WriteTime(fd.Get(), now);
        m_taken = now;
        m_previous = last;
        return true;
      }
      waitMs = *last + m_intervalMs - now;
    }
    if (!Sleep(waitMs, cancel)) return false;
  }
  return !Cancelled(cancel);
}

void RequestPace::Finished() {
  if (!m_taken) return;
  const UniqueFd fd = OpenPaceFile(*m_path);
  if (!fd.Valid() || !Lock(fd.Get(), m_intervalMs, nullptr)) return;
  const Locked locked(fd.Get());
  WriteTime(fd.Get(), NowMs());
}

void RequestPace::Unused() {
  if (!m_taken) return;
  const UniqueFd fd = OpenPaceFile(*m_path);
  if (!fd.Valid() || !Lock(fd.Get(), m_intervalMs, nullptr)) return;
  const Locked locked(fd.Get());
  if (ReadTime(fd.Get()) == m_taken) WriteTime(fd.Get(), m_previous);
  m_taken.reset();
}

}  // namespace korvi
