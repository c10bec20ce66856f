#include "cddb/cddb_server.h"

#include <cstdlib>

#include "common/host_port.h"

namespace korvi {

std::optional<CCDDBServer> ParseCddbServer(std::string_view hostPort) {
  const std::optional<HostPort> parsed = ParseHostPort(hostPort, kDefaultCddbPort);
  if (!parsed) return std::nullopt;
  CCDDBServer server;
  server.host = parsed->host;
  server.port = parsed->port;
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
