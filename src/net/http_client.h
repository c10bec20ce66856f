#pragma once
// One blocking HTTP GET over libcurl, for worker threads. Every limit is the caller's: the size of
// the body, the time for the whole reply, and how long the server may send nothing. A cancel token
// (shared with the other network calls of the same piece of work) ends the request at once from any thread, since the wait watches
// the token's descriptor beside the connection. Calls hold no shared state but libcurl's global
// setup, which the first call makes; any number may run on as many threads.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/cancel_token.h"
#include "common/reply_limits.h"

namespace korvi {

struct HttpLimits {
  size_t maxBodyBytes = kMaxReplyBytes;
  int totalMs = kMaxReplyMs;    // from the start of the request to the last byte of the body
  int stallMs = kReplyStallMs;  // the longest silence, connecting included
};

struct HttpReply {
  enum class Kind {
    kOk,           // a 2xx status with its whole body
    kNotFound,     // 404
    kHttpStatus,   // any other status that arrived whole
    kUnreachable,  // no connection, a timeout, a reply cut off or too large, a bad URL
    kCancelled,    // the token was cancelled
  };
  Kind kind = Kind::kUnreachable;
  long status = 0;  // the HTTP status; 0 when none arrived
  std::vector<uint8_t> body;
  // Empty for kOk; otherwise why, in words for the user, naming the server.
  std::string error;
  // "503 Service Unavailable": the status line's code and reason, when a status arrived whole;
  // sanitized (SanitizeServerText), as everything of the server's in error is.
  std::string statusText;
  // Retry-After in seconds, when the reply gave it as a number; -1 otherwise.
  long retryAfterSeconds = -1;
  // The limit that ran out, in milliseconds, when the server was too slow; 0 otherwise.
  int timedOutAfterMs = 0;
  // No connection was made (the name did not resolve, or the connection was refused): the server
  // saw nothing of the request.
  bool noConnection = false;
};

// "Korvi-CD-Ripper/<version>", sent as the User-Agent of every request.
std::string HttpUserAgent();

// Fetches url ("http://host[:port]/path", or https). Never follows redirects: they come back as
// kHttpStatus. cancel may be null. userAgent replaces HttpUserAgent() when not empty, for services
// that want a contact beside the name.
HttpReply HttpGet(const std::string& url, const HttpLimits& limits, const CancelToken* cancel = nullptr,
                  const std::string& userAgent = {});

}  // namespace korvi
