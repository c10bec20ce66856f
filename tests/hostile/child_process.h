#pragma once
// A korvi-cli process under a test's control: started with its own environment, its output in
// files, stoppable by signal, and reaped with its resource use (peak memory) at the end.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace korvi::fixtures {

struct ChildResult {
  bool exited = false;  // by exit(); else killed by termSignal
  int status = -1;      // exit status
  int termSignal = 0;
  long peakRssKb = 0;  // the child's own high-water mark of resident memory
  std::string out;
  std::string err;
};

class ChildProcess {
 public:
  ChildProcess() = default;
  // A child still running is killed and reaped.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] with the test's environment plus env (which wins), stdin from /dev/null and
  // stdout and stderr into files in outputFolder. SIGINT and SIGTERM have their default actions
  // in the child even when the test runs with them ignored. False when it could not be started.
  bool Start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
             const std::filesystem::path& outputFolder);
  bool Signal(int signal) const;
  // Waits for the end of the child.
  ChildResult Wait();

 private:
  pid_t m_pid = -1;
  std::filesystem::path m_out;
  std::filesystem::path m_err;
};

// Runs a child to its end.
ChildResult RunChild(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                     const std::filesystem::path& outputFolder);

}  // namespace korvi::fixtures
