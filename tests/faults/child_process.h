#pragma once
// A program the fault tests start, feed, watch and, when it must, kill: its standard output and
// error come back through pipes, and it can run under a file-size limit.

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korvi::faults {

struct ChildOptions {
  std::vector<std::string> args;  // args[0] is the program's path
  std::vector<std::string> env;   // NAME=value, added to or replacing the test's environment
  std::filesystem::path workDir;  // the child's working folder, when not empty
  std::optional<rlim_t> fileSizeLimit;
  bool pipeStdin = false;  // else standard input is /dev/null
};

struct ChildResult {
  bool exited = false;  // false: killed by a signal (or never started)
  int status = -1;      // the exit status, or the signal's number
  std::string out;
  std::string err;
};

class ChildProcess {
 public:
  ChildProcess() = default;
  // Kills and reaps a child that still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const ChildOptions& options);
  pid_t Pid() const { return m_pid; }

  // Collects output until text has appeared on standard error (or output), or the timeout ends.
  bool WaitForErr(const std::string& text, std::chrono::milliseconds timeout);
  bool WaitForOut(const std::string& text, std::chrono::milliseconds timeout);
  void WriteStdin(const std::string& text);
  void CloseStdin();

  // Collects everything until the child ends; a child still running after the timeout is killed
  // and reported as such.
  ChildResult Finish(std::chrono::milliseconds timeout);
  // SIGKILL now, then reap.
  ChildResult Kill();

 private:
  bool Pump(int timeoutMs);
  bool WaitFor(const std::string& text, const std::string& stream, std::chrono::milliseconds timeout);
  ChildResult Reap(bool block);
  void CloseAll();

  pid_t m_pid = -1;
  int m_in = -1;
  int m_out = -1;
  int m_err = -1;
  std::string m_outText;
  std::string m_errText;
};

}  // namespace korvi::faults
