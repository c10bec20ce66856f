#include "fixtures/time_scale.h"
#include "playback/pulse_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

extern char** environ;

namespace korvi::fixtures {
namespace {

const auto kStartTimeout = Scaled(std::chrono::seconds(15));

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The test's environment with the server's own folders, and without anything that would lead it
// to a desktop session.
std::vector<std::string> ServerEnvironment(const std::filesystem::path& dir) {
  const std::vector<std::string> own = {
      "HOME=" + (dir / "home").string(),
      "XDG_RUNTIME_DIR=" + (dir / "run").string(),
      "PULSE_RUNTIME_PATH=" + (dir / "run").string(),
      "PULSE_STATE_PATH=" + (dir / "state").string(),
      "XDG_CONFIG_HOME=" + (dir / "config").string(),
  };
  const std::set<std::string> dropped = {
      "HOME",         "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH",        "XDG_CONFIG_HOME",
      "PULSE_SERVER", "DISPLAY",         "WAYLAND_DISPLAY",    "DBUS_SESSION_BUS_ADDRESS"};
  std::vector<std::string> env = own;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    if (!dropped.count(text.substr(0, text.find('=')))) env.push_back(text);
  }
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

bool Exists(const std::filesystem::path& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

// The program's path as PATH finds it; empty when it is not there.
std::string FindProgram(const std::string& name) {
  const char* path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (size_t from = 0; from <= dirs.size();) {
    size_t to = dirs.find(':', from);
    if (to == std::string::npos) to = dirs.size();
    const std::string candidate = dirs.substr(from, to - from) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    from = to + 1;
  }
  return {};
}

// Starts argv[0] with its output in log. The child dies with the thread that started it, so a
// test that crashes leaves no server behind. -1 with the cause when it cannot be started.
pid_t SpawnTiedToThisThread(std::vector<char*>& argv, std::vector<char*>& envp,
                            const std::filesystem::path& log, std::string* cause) {
  const std::string program = FindProgram(argv[0]);
  if (program.empty()) {
    *cause = std::string(argv[0]) + " is not on the PATH";
    return -1;
  }
  const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  int report[2];
  if (logFd < 0 || pipe2(report, O_CLOEXEC) != 0) {
    *cause = strerror(errno);
    if (logFd >= 0) close(logFd);
    return -1;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here to exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(logFd, 1);
    dup2(logFd, 2);
    execve(program.c_str(), argv.data(), envp.data());
    const int error = errno;
    [[maybe_unused]] const ssize_t written = write(report[1], &error, sizeof error);
    _exit(127);
  }
  close(logFd);
  close(report[1]);
  int error = pid < 0 ? errno : 0;
  if (pid > 0 && read(report[0], &error, sizeof error) == sizeof error) waitpid(pid, nullptr, 0);
  close(report[0]);
  if (error != 0) {
    *cause = strerror(error);
    return -1;
  }
  return pid;
}

}  // namespace

std::vector<uint8_t> WithoutSilentFrames(const uint8_t* pcm, size_t bytes) {
  std::vector<uint8_t> sound;
  sound.reserve(bytes);
  for (size_t at = 0; at + 4 <= bytes; at += 4)
    if (pcm[at] | pcm[at + 1] | pcm[at + 2] | pcm[at + 3]) sound.insert(sound.end(), pcm + at, pcm + at + 4);
  return sound;
}

PulseServer::PulseServer() {
  if (const char* cookie = getenv("PULSE_COOKIE")) m_previousCookie = cookie;
  setenv("PULSE_COOKIE", (m_dir / "cookie").c_str(), 1);
  if (!Start()) {
    m_error += "\n--- server log ---\n" + ReadText(m_dir / "pulse.log");
    Kill();
  }
}

PulseServer::~PulseServer() {
  if (m_pid > 0) {
    kill(m_pid, SIGCONT);  // a stopped server would not see the SIGTERM
    kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + Scaled(std::chrono::seconds(5));
    while (waitpid(m_pid, nullptr, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        break;
      }
      poll(nullptr, 0, 10);
    }
  }
  m_stopReading = true;
  if (m_reader.joinable()) m_reader.join();
  if (m_previousCookie)
    setenv("PULSE_COOKIE", m_previousCookie->c_str(), 1);
  else
    unsetenv("PULSE_COOKIE");
}

bool PulseServer::Start() {
  const std::filesystem::path& dir = m_dir.path();
  if (dir.empty()) {
    m_error = "no temporary folder";
    return false;
  }
  for (const char* sub : {"home", "run", "state", "config"}) std::filesystem::create_directory(dir / sub);
  chmod((dir / "run").c_str(), 0700);
  const std::filesystem::path fifo = dir / "sink.fifo";
  std::vector<std::string> args = {
      "pulseaudio",
      "--daemonize=no",
      "--system=no",
      "--exit-idle-time=-1",
      "-n",
      "--disallow-exit",
      "--use-pid-file=no",
      "--high-priority=no",
      "--realtime=no",
      "--log-level=info",
      "--load=module-native-protocol-unix auth-anonymous=1 socket=" + (dir / "native").string(),
      "--load=module-pipe-sink sink_name=korvi_test file=" + fifo.string() +
          " format=s16le rate=44100 channels=2 use_system_clock_for_timing=yes"};
  std::vector<std::string> env = ServerEnvironment(dir);
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);

  std::string cause;
  m_pid = SpawnTiedToThisThread(argv, envp, dir / "pulse.log", &cause);
  if (m_pid < 0) {
    m_error = "pulseaudio could not be started (is the package installed?): " + cause;
    return false;
  }
  // The sink's FIFO comes after the socket: once it is there the server takes clients.
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (!(Exists(dir / "native") && Exists(fifo))) {
    if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
      m_pid = -1;
      m_error = "pulseaudio exited at its start";
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      m_error = "pulseaudio did not get ready";
      return false;
    }
    poll(nullptr, 0, 10);
  }
  const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    m_error = "the sink's FIFO cannot be opened: " + std::string(strerror(errno));
    return false;
  }
  m_reader = std::thread([this, fd] { ReadSink(fd); });
  return true;
}

void PulseServer::ReadSink(int fd) {
  uint8_t buffer[16384];
  while (!m_stopReading) {
    pollfd wait{fd, POLLIN, 0};
    if (poll(&wait, 1, 20) <= 0) continue;
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) {
      if (got == 0) poll(nullptr, 0, 20);  // the server is gone: nothing more comes
      continue;
    }
    std::lock_guard lock(m_mutex);
    for (ssize_t i = 0; i < got; ++i) {
      m_partial[m_partialBytes++] = buffer[i];
      if (m_partialBytes < 4) continue;
      m_partialBytes = 0;
      if (m_partial[0] | m_partial[1] | m_partial[2] | m_partial[3])
        m_sound.insert(m_sound.end(), m_partial, m_partial + 4);
    }
    m_soundGrew.notify_all();
  }
  close(fd);
}

std::vector<uint8_t> PulseServer::Sound() const {
  std::lock_guard lock(m_mutex);
  return m_sound;
}

bool PulseServer::WaitForSound(size_t bytes, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(m_mutex);
  return m_soundGrew.wait_for(lock, timeout, [&] { return m_sound.size() >= bytes; });
}

void PulseServer::Kill() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGKILL);
  waitpid(m_pid, nullptr, 0);
  m_pid = -1;
}

void PulseServer::Freeze() {
  if (m_pid > 0) kill(m_pid, SIGSTOP);
}

void PulseServer::Thaw() {
  if (m_pid > 0) kill(m_pid, SIGCONT);
}

}  // namespace korvi::fixtures
