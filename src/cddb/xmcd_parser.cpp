#include "cddb/xmcd_parser.h"

#include "cddb/text_util.h"
#include "text/utf8_text.h"

namespace korvi {
namespace {

using cddb_text::ReadDecimal;

struct ParseState {
  bool signature = false;
  bool offsetsOpen = false;
  bool discLength = false;
  bool submitter = false;
  bool discId = false;
  bool discTitle = false;
  std::string discTitleText;
  std::string playOrderText;
  std::string failure;

  bool Fail(std::string why) {
    failure = std::move(why);
    return false;
  }
};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string_view DropFront(std::string_view text, size_t count) {
  return text.substr(std::min(count, text.size()));
}

// "Submitted via: CLIENT VERSION [REMARK ...]": words separated by runs of blanks.
bool ReadSubmitter(std::string_view rest, CCDDBRecord& record, ParseState& state) {
  std::string* const words[] = {&record.clientName, &record.clientVersion, &record.clientRemark};
  size_t count = 0;
  while (count < 3) {
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    if (rest.empty()) break;
    const size_t end = std::min(rest.find(' '), rest.size());
    *words[count++] = std::string(rest.substr(0, end));
    rest.remove_prefix(end);
  }
  if (count < 2) return state.Fail("\"Submitted via:\" names no client and version");
  state.submitter = true;
  return true;
}

bool HandleComment(std::string_view line, CCDDBRecord& record, ParseState& state) {
  const std::string_view after = line.substr(1);
  const std::string_view text = after.size() <= 1 ? std::string_view{} : cddb_text::Trim(after);
  if (StartsWith(text, "xmcd")) {
    state.signature = true;
  } else if (text.find("Track frame offsets:") != std::string_view::npos) {
    state.offsetsOpen = true;
  } else if (StartsWith(text, "Disc length:")) {
    state.offsetsOpen = false;
    record.discLength = ReadDecimal(DropFront(text, 13));
    state.discLength = true;
  } else if (StartsWith(text, "Revision:")) {
    record.revision = ReadDecimal(DropFront(text, 9));
  } else if (StartsWith(text, "Submitted via:")) {
    return ReadSubmitter(DropFront(text, 14), record, state);
  } else if (state.offsetsOpen && !text.empty()) {
    record.trackFrameOffsets.push_back(ReadDecimal(text));
  }
  return true;
}

std::string Unescape(std::string_view value) {
  std::string text = cddb_text::ReplaceAll(value, "\\n", "\n");
  text = cddb_text::ReplaceAll(text, "\\t", "\t");
  return cddb_text::ReplaceAll(text, "\\\\", "\\");
}

// TTITLEn and EXTTn: the array holds exactly n + 1 entries afterwards, the value appended to entry n.
bool AppendNumbered(std::string_view number, const std::string& value, std::vector<std::string>& entries,
                    ParseState& state) {
  const int32_t n = ReadDecimal(number);
  if (n < 0) return state.Fail("negative track number");
  if (n > kMaxXmcdTrackIndex) return state.Fail("track number above 99");
  entries.resize(static_cast<size_t>(n) + 1);
  entries[static_cast<size_t>(n)] += value;
  return true;
}

bool HandleKeyword(std::string_view line, CCDDBRecord& record, ParseState& state) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return true;
  const std::string_view keyword = line.substr(0, equals);
  const std::string value = Unescape(line.substr(equals + 1));
  if (keyword == "DISCID") {
    if (value.size() >= 8) {
      if (const auto id = cddb_text::ReadHex(value)) {
        record.discId = *id;
        state.discId = true;
      }
    }
  } else if (keyword == "DTITLE") {
    state.discTitleText += value;
    state.discTitle = true;
  } else if (keyword == "DYEAR") {
    record.year = ReadDecimal(value);
  } else if (keyword == "DGENRE") {
    record.genre += value;
  } else if (StartsWith(keyword, "TTITLE")) {
    return AppendNumbered(keyword.substr(6), value, record.trackTitles, state);
  } else if (keyword == "EXTD") {
    record.extendedDiscData += value;
  } else if (StartsWith(keyword, "EXTT")) {
    return AppendNumbered(keyword.substr(4), value, record.extendedTrackData, state);
  } else if (keyword == "PLAYORDER") {
    state.playOrderText += value;
  }
  return true;
}

bool CheckAccepted(const CCDDBRecord& record, ParseState& state) {
  if (!state.signature) return state.Fail("no \"# xmcd\" signature");
  if (record.trackFrameOffsets.empty()) return state.Fail("no track frame offsets");
  if (!state.discLength) return state.Fail("no \"Disc length:\" comment");
  if (!state.submitter) return state.Fail("no \"Submitted via:\" comment");
  if (!state.discId) return state.Fail("no DISCID of 8 hexadecimal digits");
  if (!state.discTitle) return state.Fail("no DTITLE");
  if (record.trackTitles.size() != record.extendedTrackData.size())
    return state.Fail(std::to_string(record.trackTitles.size()) + " TTITLE entries but " +
                      std::to_string(record.extendedTrackData.size()) + " EXTT entries");
  return true;
}

void SplitDiscTitle(const std::string& text, CCDDBRecord& record) {
  const size_t separator = text.find(" / ");
  if (separator == std::string::npos) {
    record.discArtist = record.discTitle = text;
  } else {
    record.discArtist = text.substr(0, separator);
    record.discTitle = text.substr(separator + 3);
  }
}

// "3,1,2": a number per piece, an empty piece reads as 0, an empty last piece adds nothing.
void SplitPlayOrder(std::string_view text, std::vector<int32_t>& order) {
  while (!text.empty()) {
    const size_t comma = text.find(',');
    order.push_back(ReadDecimal(text.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
}

void ConvertToUtf8(CCDDBRecord& record) {
  for (std::string* text : {&record.clientName, &record.clientVersion, &record.clientRemark,
                            &record.discArtist, &record.discTitle, &record.extendedDiscData, &record.genre})
    *text = ToUtf8(*text);
  for (std::string& text : record.trackTitles) text = ToUtf8(text);
  for (std::string& text : record.extendedTrackData) text = ToUtf8(text);
}

bool ParseLines(std::string_view rest, CCDDBRecord& record, ParseState& state) {
  while (!rest.empty()) {
    const std::string_view line = cddb_text::NextLine(rest);
    const bool ok = !line.empty() && line.front() == '#' ? HandleComment(line, record, state)
                                                         : HandleKeyword(line, record, state);
    if (!ok) return false;
  }
  return CheckAccepted(record, state);
}

}  // namespace

bool ParseXmcd(std::string_view entry, CCDDBRecord& record, std::string* reason) {
  record = CCDDBRecord{};
  ParseState state;
  const bool accepted = ParseLines(entry, record, state);
  if (accepted) {
    SplitDiscTitle(state.discTitleText, record);
    SplitPlayOrder(state.playOrderText, record.playOrder);
  } else if (reason) {
    *reason = state.failure;
  }
  ConvertToUtf8(record);
  return accepted;
}

}  // namespace korvi
