#pragma once
// The pace of requests to one service, kept by every process of the user at once: the time of the
// last request lies in a small file in the user's runtime folder ($XDG_RUNTIME_DIR, else a folder
// of the user's own under /tmp), read and written under an flock. A request waits until the
// interval has passed since the last one of any process.
//
// The file cannot hold a request up for longer than the interval at each look: a time in the
// future (a broken file, or one from before a reboot) counts as no request at all, and a lock
// held for longer than the interval is given up on. Whatever is at the file's name that is not a
// regular file of the user's, or a runtime folder that cannot be used, leaves each process to keep
// the pace on its own.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "common/cancel_token.h"

namespace korvi {

// The folder for the pace files: <runtime>/korvi-cd-ripper, made when missing; none when it
// cannot be made or is not a folder of the user's own that no one else may write to.
std::optional<std::string> PaceFolder();

// "pace-<host>[_<port>]" for the server base "http[s]://host[:port]": every character but
// letters, digits, "." and "-" becomes "_".
std::string PaceFileName(std::string_view serverBase);

class RequestPace {
 public:
  using Clock = std::chrono::steady_clock;

  // The pace of intervalMs between requests, kept in folder/fileName; no folder: none is kept.
  RequestPace(std::optional<std::string> folder, std::string fileName, int intervalMs);

  // Waits until the interval has passed since the last request of any process, then counts this
  // one as the last. False when cancel was set first (cancel may be null).
  bool Take(const CancelToken* cancel);
  // The reply has come: the next request counts its interval from now, also after a slow reply.
  void Finished();
  // The request reached no server: its turn is given back, unless another has come since.
  void Unused();

 private:
  std::optional<std::string> m_path;
  int m_intervalMs;
  std::optional<int64_t> m_taken;     // the time written by Take, in ms of the steady clock
  std::optional<int64_t> m_previous;  // what the file held before it
};

}  // namespace korvi
