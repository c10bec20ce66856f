#pragma once
// Fetching one file of the AccurateRip database: the results that other rips of a disc gave.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/cancel_token.h"
#include "net/http_client.h"

namespace korvi {

inline constexpr const char* kDefaultAccurateRipHost = "www.accuraterip.com";
inline constexpr int kDefaultAccurateRipPort = 80;
// host[:port] of another server, for tests and mirrors; parsed as KORVI_CDDB_SERVER is.
inline constexpr const char* kAccurateRipServerVariable = "KORVI_ACCURATERIP_SERVER";

// The bounds of any reply (common/reply_limits.h): the database files are small.
HttpLimits AccurateRipLimits();

// "http://host[:port]" of the default server or of the one KORVI_ACCURATERIP_SERVER names; empty
// when the variable is malformed, which fetches refuse rather than quietly asking the public server.
std::string AccurateRipServerBase();

struct AccurateRipFetch {
  enum class Kind {
    kFound,          // bytes holds the file
    kNotInDatabase,  // the server has no file for this disc (404)
    kNotReachable,   // error says why; also when the token was cancelled
  };
  Kind kind = Kind::kNotReachable;
  std::vector<uint8_t> bytes;
  std::string error;
};

// Fetches urlPath ("/accuraterip/a/b/c/dBAR-....bin", starting with "/") from the server.
AccurateRipFetch FetchAccurateRip(std::string_view urlPath, const CancelToken* cancel = nullptr,
                                  const HttpLimits& limits = AccurateRipLimits());

}  // namespace korvi
