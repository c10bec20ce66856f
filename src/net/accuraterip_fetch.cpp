#include "net/accuraterip_fetch.h"

#include <cstdlib>
#include <optional>

#include "common/host_port.h"
#include "common/reply_limits.h"

namespace korvi {

HttpLimits AccurateRipLimits() {
  HttpLimits limits;
  limits.maxBodyBytes = kMaxReplyBytes;
  limits.totalMs = kMaxReplyMs;
  limits.stallMs = kReplyStallMs;
  return limits;
}

std::string AccurateRipServerBase() {
  std::string host = kDefaultAccurateRipHost;
  int port = kDefaultAccurateRipPort;
  const char* value = std::getenv(kAccurateRipServerVariable);
  if (value && *value) {
    const std::optional<HostPort> server = ParseHostPort(value, kDefaultAccurateRipPort);
    if (!server) return {};
    host = server->host;
    port = server->port;
  }
  return "http://" + host + (port == 80 ? "" : ":" + std::to_string(port));
}

AccurateRipFetch FetchAccurateRip(std::string_view urlPath, const CancelToken* cancel,
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
