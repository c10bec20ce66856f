// ParseQueryReply on arbitrary reply bodies.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cddb/cddb_client.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  korvi::CCDDB client;
  std::vector<korvi::CCDDBQueryResult> results;
  const bool found = client.ParseQueryReply(body, results);
  korvi::fuzz::Require(found == !results.empty());
  for (const korvi::CCDDBQueryResult& match : results) {
    korvi::fuzz::RequireUtf8(match.category);
    korvi::fuzz::RequireUtf8(match.artist);
    korvi::fuzz::RequireUtf8(match.title);
  }
  if (!found) {
    const int error = client.LastError();
    korvi::fuzz::Require(error == 0 || error == korvi::kCddbErrProtocol);
  }
  return 0;
}
