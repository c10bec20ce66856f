#include "net/accuraterip_fetch.h"

#include <cstdlib>
#include <optional>

#include "cddb/cddb_client.h"
#include "cddb/cddb_server.h"

namespace korvi {

HttpLimits AccurateRipLimits() {
  HttpLimits limits;
  limits.maxBodyBytes = kCddbMaxReplyBytes;
  limits.totalMs = kCddbMaxReplyMs;
  limits.stallMs = kCddbDefaultWaitMs;
  return limits;
}

std::string AccurateRipServerBase() {
  std::string host = kDefaultAccurateRipHost;
  int port = kDefaultAccurateRipPort;
  const char* value = std::getenv(kAccurateRipServerVariable);
  if (value && *value) {
    // host[:port] reads the same for either service.
    const std::optional<CCDDBServer> server = ParseCddbServer(value);
    if (!server) return {};
    host = server->host;
    port = server->port;
  }
  return "http://" + host + (port == 80 ? "" : ":" + std::to_string(port));
}

AccurateRipFetch FetchAccurateRip(std::string_view urlPath, const CCDDBCancelToken* cancel,
                                  const HttpLimits& limits) {
  AccurateRipFetch fetch;
  const std::string base = AccurateRipServerBase();
  if (base.empty()) {
    fetch.error = std::string(kAccurateRipServerVariable) + " does not name a server (host[:port])";
    return fetch;
  }
  if (!urlPath.starts_with('/')) {
    fetch.error = "not a path on the AccurateRip server: " + std::string(urlPath);
    return fetch;
  }
  HttpReply reply = HttpGet(base + std::string(urlPath), limits, cancel);
  switch (reply.kind) {
    case HttpReply::Kind::kOk:
      fetch.kind = AccurateRipFetch::Kind::kFound;
      fetch.bytes = std::move(reply.body);
      break;
    case HttpReply::Kind::kNotFound:
      fetch.kind = AccurateRipFetch::Kind::kNotInDatabase;
      break;
    case HttpReply::Kind::kHttpStatus:
    case HttpReply::Kind::kUnreachable:
    case HttpReply::Kind::kCancelled:
      fetch.error = std::move(reply.error);
      break;
  }
  return fetch;
}

}  // namespace korvi
