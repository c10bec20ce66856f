#include "faults/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>

extern char** environ;

namespace korvi::faults {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
  std::map<std::string, std::string> byName;
  const auto add = [&](const std::string& entry) { byName[entry.substr(0, entry.find('='))] = entry; };
  for (char** entry = environ; *entry; ++entry) add(*entry);
  for (const std::string& entry : extra) add(entry);
  std::vector<std::string> merged;
  for (const auto& [name, entry] : byName) merged.push_back(entry);
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// In the forked child: only calls that are safe between fork and exec.
[[noreturn]] void ExecChild(const ChildOptions& options, int in, int out, int err, char** argv, char** envp) {
  ::dup2(in, 0);
  ::dup2(out, 1);
  ::dup2(err, 2);
  // The program's own choice of how to meet SIGXFSZ must decide, not one inherited from the test.
  ::signal(SIGXFSZ, SIG_DFL);
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  if (options.fileSizeLimit) {
    const rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
  }
  if (!options.workDir.empty() && ::chdir(options.workDir.c_str()) != 0) ::_exit(126);
  ::execve(argv[0], argv, envp);
  ::_exit(127);
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (m_pid > 0) Kill();
  CloseAll();
}

void ChildProcess::CloseAll() {
  CloseFd(m_in);
  CloseFd(m_out);
  CloseFd(m_err);
}

bool ChildProcess::Start(const ChildOptions& options) {
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0) {
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
      if (fd >= 0) ::close(fd);
    return false;
  }
  if (!options.pipeStdin) {
    ::close(in[1]);
    ::close(in[0]);
    in[0] = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    in[1] = -1;
  }
  std::vector<std::string> args = options.args;
  std::vector<std::string> env = MergedEnvironment(options.env);
  std::vector<char*> argv = Pointers(args), envp = Pointers(env);
  m_pid = ::fork();
  if (m_pid == 0) ExecChild(options, in[0], out[1], err[1], argv.data(), envp.data());
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  m_in = in[1];
  m_out = out[0];
  m_err = err[0];
  return m_pid > 0;
}

// Reads what is there within timeoutMs; false when both pipes have ended.
bool ChildProcess::Pump(int timeoutMs) {
  pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
  if (m_out < 0 && m_err < 0) return false;
  if (::poll(fds, 2, timeoutMs) <= 0) return true;
  int* ends[2] = {&m_out, &m_err};
  std::string* texts[2] = {&m_outText, &m_errText};
  for (int i = 0; i < 2; ++i) {
    if (*ends[i] < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buffer[4096];
    const ssize_t got = ::read(*ends[i], buffer, sizeof buffer);
    if (got > 0)
      texts[i]->append(buffer, size_t(got));
    else if (got == 0 || errno != EINTR)
      CloseFd(*ends[i]);
  }
  return true;
}

bool ChildProcess::WaitFor(const std::string& text, const std::string& stream,
                           std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (stream.find(text) == std::string::npos) {
    if (Clock::now() >= deadline || !Pump(20)) return stream.find(text) != std::string::npos;
  }
  return true;
}

bool ChildProcess::WaitForErr(const std::string& text, std::chrono::milliseconds timeout) {
  return WaitFor(text, m_errText, timeout);
}

bool ChildProcess::WaitForOut(const std::string& text, std::chrono::milliseconds timeout) {
  return WaitFor(text, m_outText, timeout);
}

void ChildProcess::WriteStdin(const std::string& text) {
  if (m_in >= 0 && ::write(m_in, text.data(), text.size()) < 0) CloseFd(m_in);
}

void ChildProcess::CloseStdin() { CloseFd(m_in); }

ChildResult ChildProcess::Reap(bool block) {
  ChildResult result;
  int status = 0;
  if (m_pid <= 0 || ::waitpid(m_pid, &status, block ? 0 : WNOHANG) != m_pid) return result;
  m_pid = -1;
  result.exited = WIFEXITED(status);
  result.status = result.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  result.out = m_outText;
  result.err = m_errText;
  return result;
}

ChildResult ChildProcess::Finish(std::chrono::milliseconds timeout) {
  CloseStdin();
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline && Pump(20)) {
  }
  for (;;) {
    ChildResult result = Reap(false);
    if (m_pid < 0) return result;
    if (Clock::now() >= deadline) break;
    ::usleep(5000);
  }
  ChildResult killed = Kill();
  killed.err += "\n[the child did not end in time and was killed]";
  return killed;
}

ChildResult ChildProcess::Kill() {
  if (m_pid > 0) ::kill(m_pid, SIGKILL);
  ChildResult result = Reap(true);
  // What the child wrote before it died; a pipe that some other process still holds ends the wait.
  for (int i = 0; i < 100 && (m_out >= 0 || m_err >= 0) && Pump(10); ++i) {
  }
  result.out = m_outText;
  result.err = m_errText;
  CloseAll();
  return result;
}

}  // namespace korvi::faults
