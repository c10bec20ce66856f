#pragma once
// Where CDDB requests go.

#include <string>

namespace korvi {

// The public service that speaks the CDDB protocol over HTTP.
inline constexpr const char* kDefaultCddbHost = "gnudb.gnudb.org";
inline constexpr int kDefaultCddbPort = 80;
inline constexpr const char* kCddbPath = "/~cddb/cddb.cgi";

struct CCDDBServer {
  std::string host = kDefaultCddbHost;
  int port = kDefaultCddbPort;
  std::string path = kCddbPath;
};

}  // namespace korvi
