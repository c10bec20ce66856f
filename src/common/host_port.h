#pragma once
// "host[:port]", as the environment names another server for any of our clients.

#include <optional>
#include <string>
#include <string_view>

namespace korvi {

struct HostPort {
  std::string host;
  int port = 0;
};

// "host" (port: defaultPort) or "host:port" (port 1..65535); nullopt when the host is empty or the
// port is not such a number.
std::optional<HostPort> ParseHostPort(std::string_view text, int defaultPort);

}  // namespace korvi
