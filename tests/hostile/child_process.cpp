#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <memory>

extern char** environ;

namespace korvi::fixtures {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Environment(const std::map<std::string, std::string>& overrides) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    if (!overrides.count(text.substr(0, text.find('=')))) env.push_back(text);
  }
  for (const auto& [name, value] : overrides) env.push_back(name + "=" + value);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

ChildProcess::~ChildProcess() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGKILL);
  Wait();
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                         const std::filesystem::path& outputFolder) {
  static int serial = 0;
  const std::string stem = "child-" + std::to_string(++serial);
  m_out = outputFolder / (stem + ".out");
  m_err = outputFolder / (stem + ".err");
  SpawnSetup setup;
  posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&setup.actions, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&setup.actions, 2, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  sigset_t defaults, none;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGPIPE);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
  posix_spawnattr_setsigmask(&setup.attributes, &none);
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  std::vector<std::string> args = argv;
  std::vector<std::string> environment = Environment(env);
  std::vector<char*> argPointers = Pointers(args);
  std::vector<char*> envPointers = Pointers(environment);
  pid_t pid = -1;
  if (posix_spawn(&pid, argPointers[0], &setup.actions, &setup.attributes, argPointers.data(),
                  envPointers.data()) != 0)
    return false;
  m_pid = pid;
  return true;
}

bool ChildProcess::Signal(int signal) const { return m_pid > 0 && kill(m_pid, signal) == 0; }

ChildResult ChildProcess::Wait() {
  ChildResult result;
  if (m_pid <= 0) return result;
  int status = 0;
  rusage usage{};
  pid_t waited;
  do waited = wait4(m_pid, &status, 0, &usage);
  while (waited < 0 && errno == EINTR);
  m_pid = -1;
  if (waited < 0) return result;
  result.exited = WIFEXITED(status);
  result.status = result.exited ? WEXITSTATUS(status) : -1;
  result.termSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.peakRssKb = usage.ru_maxrss;
  result.out = ReadFile(m_out);
  result.err = ReadFile(m_err);
  return result;
}

ChildResult RunChild(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                     const std::filesystem::path& outputFolder) {
  ChildProcess child;
  if (!child.Start(argv, env, outputFolder)) return {};
  return child.Wait();
}

}  // namespace korvi::fixtures
