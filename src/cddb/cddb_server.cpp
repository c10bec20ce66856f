#include "cddb/cddb_server.h"

#include <cstdlib>

namespace korvi {

std::optional<CCDDBServer> ParseCddbServer(std::string_view hostPort) {
  CCDDBServer server;
  const size_t colon = hostPort.find(':');
  server.host = std::string(hostPort.substr(0, colon));
  if (server.host.empty()) return std::nullopt;
  if (colon == std::string_view::npos) return server;
  const std::string_view port = hostPort.substr(colon + 1);
  if (port.empty() || port.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  server.port = value;
  return server;
}

CCDDBServer CddbServerFromEnvironment() {
  const char* value = std::getenv(kCddbServerVariable);
  if (!value || !*value) return CCDDBServer{};
  if (std::optional<CCDDBServer> server = ParseCddbServer(value)) return *server;
  CCDDBServer refused;
  refused.host.clear();
  return refused;
}

std::string CddbServerInUse() {
  const CCDDBServer server = CddbServerFromEnvironment();
  if (server.host.empty()) {
    const char* given = std::getenv(kCddbServerVariable);
    return given ? given : "";
  }
  if (server.port == kDefaultCddbPort) return server.host;
  return server.host + ":" + std::to_string(server.port);
}

}  // namespace korvi
