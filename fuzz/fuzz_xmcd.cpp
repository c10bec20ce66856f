// ParseXmcd on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cddb/xmcd_parser.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view entry(reinterpret_cast<const char*>(data), size);
  korvi::CCDDBRecord record;
  std::string reason;
  if (korvi::ParseXmcd(entry, record, &reason)) {
    korvi::fuzz::CheckAcceptedRecord(record);
    // Parsing is a function of the text alone.
    korvi::CCDDBRecord again;
    korvi::fuzz::Require(korvi::ParseXmcd(entry, again) && again == record);
  } else {
    korvi::fuzz::CheckRecordText(record);
    korvi::fuzz::Require(!reason.empty());
  }
  return 0;
}
