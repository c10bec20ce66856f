#pragma once
// Where CDDB requests go.

#include <optional>
#include <string>
#include <string_view>

namespace korvi {

// The public service that speaks the CDDB protocol over HTTP.
inline constexpr const char* kDefaultCddbHost = "gnudb.gnudb.org";
inline constexpr int kDefaultCddbPort = 80;
inline constexpr const char* kCddbPath = "/~cddb/cddb.cgi";
// host[:port] of another server, for tests and for users of another service.
inline constexpr const char* kCddbServerVariable = "KORVI_CDDB_SERVER";

struct CCDDBServer {
  std::string host = kDefaultCddbHost;
  int port = kDefaultCddbPort;
  std::string path = kCddbPath;
};

// "host" or "host:port" (port 1..65535) on the default path; nullopt when malformed.
std::optional<CCDDBServer> ParseCddbServer(std::string_view hostPort);

// The default server, or the one KORVI_CDDB_SERVER names. A malformed value gives a server
// with an empty host, which every request refuses (kCddbErrInvalid) rather than quietly asking
// the public service instead.
CCDDBServer CddbServerFromEnvironment();

// The server that lookups go to, as the user names it: "host", or "host:port" for another port;
// a malformed KORVI_CDDB_SERVER as it was given.
std::string CddbServerInUse();

}  // namespace korvi
