// ParseReadReply on arbitrary reply bodies.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cddb/cddb_client.h"
#include "cddb/text_util.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  korvi::CCDDB client;
  korvi::CCDDBRecord record;
  if (client.ParseReadReply(body, record)) {
    // "401 no such entry" is an answer that leaves the record as it was made; anything else
    // accepted is an entry. The status is the body's first three characters, blank or not.
    if (korvi::cddb_text::ReplyStatus(body) == korvi::kCddbStatusNoEntry)
      korvi::fuzz::Require(record == korvi::CCDDBRecord());
    else
      korvi::fuzz::CheckAcceptedRecord(record);
    korvi::fuzz::Require(client.LastReplyText().empty());
  } else {
    korvi::fuzz::CheckRecordText(record);
    korvi::fuzz::Require(client.LastError() == korvi::kCddbErrProtocol && client.LastMciError() == 0);
  }
  return 0;
}
