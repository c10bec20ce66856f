#include "cddb/cddb_client.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>

#include "cddb/cddb_socket.h"
#include "cddb/text_util.h"
#include "cddb/xmcd_parser.h"
#include "text/utf8_text.h"

namespace korvi {
namespace {

using Clock = std::chrono::steady_clock;
using cddb_text::NextLine;
using cddb_text::ReplyStatus;

constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr size_t kNameBufferSize = 260;

bool IsListStatus(int status) { return status >= 210 && status <= 219; }

// The text after the HTTP header; empty when the header has not ended.
std::string_view BodyOf(std::string_view reply) {
  const size_t end = reply.find(kHeaderEnd);
  return end == std::string_view::npos ? std::string_view{} : reply.substr(end + kHeaderEnd.size());
}

// A reply that is not a list is one line long: it is complete once that line has ended.
bool OneLineReplyEnded(std::string_view reply) {
  if (reply.find(kHeaderEnd) == std::string_view::npos) return false;
  const std::string_view body = BodyOf(reply);
  return cddb_text::HasLineEnd(body) && !IsListStatus(ReplyStatus(body));
}

std::string Hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

int FrameCount(const CCDDBTrackPosition& p) { return p.minutes * 4500 + p.seconds * 75 + p.frames; }

// "%XX" for a byte a URL cannot carry as it is.
void AppendPercentEncoded(std::string& out, char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto byte = static_cast<unsigned char>(c);
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 15];
}

bool IsUrlPlain(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '~';
}

// The category comes from the server: anything but the characters a URL carries as they are is
// percent-encoded, so a hostile category cannot reshape the request.
std::string UrlWord(std::string_view word) {
  std::string encoded;
  for (char c : word) {
    if (IsUrlPlain(c))
      encoded += c;
    else
      AppendPercentEncoded(encoded, c);
  }
  return encoded;
}

// A part of the user's e-mail address as a hello word (see HelloEmailWords).
std::string EmailWord(std::string_view part) {
  if (part.empty()) return "Unknown";
  // The characters besides letters and digits that an unquoted address may hold.
  constexpr std::string_view kAddressSymbols = "!#$%&'*+/=?^`{|}";
  std::string word;
  for (char c : part) {
    if (IsUrlPlain(c))
      word += c;
    else if (kAddressSymbols.find(c) != std::string_view::npos)
      AppendPercentEncoded(word, c);
    else
      word += '_';
  }
  return word;
}

std::string_view SkipBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

// "category discid title text"; the title text "artist / title" is split at its first "/".
std::optional<CCDDBQueryResult> ParseMatchLine(std::string_view line) {
  const size_t categoryEnd = line.find(' ');
  if (categoryEnd == std::string_view::npos) return std::nullopt;
  CCDDBQueryResult match;
  match.category = ToUtf8(line.substr(0, categoryEnd));
  std::string_view rest = SkipBlanks(line.substr(categoryEnd + 1));
  const size_t idEnd = rest.find(' ');
  if (idEnd == std::string_view::npos) return std::nullopt;
  const std::optional<uint32_t> id = cddb_text::ReadHex(rest.substr(0, idEnd));
  if (!id) return std::nullopt;
  match.discId = *id;
  rest = SkipBlanks(rest.substr(idEnd + 1));
  if (rest.empty()) return std::nullopt;
  const std::string_view titleText = NextLine(rest);
  const size_t slash = titleText.find('/');
  if (slash == std::string_view::npos) {
    match.title = ToUtf8(titleText);
  } else {
    match.artist = ToUtf8(cddb_text::Trim(titleText.substr(0, slash)));
    match.title = ToUtf8(cddb_text::Trim(titleText.substr(slash + 1)));
  }
  return match;
}

// The first line of a reply without its HTTP header (when it has one), fit to be shown. Bytes that
// are not UTF-8 read as Latin-1, as in the entries of servers that speak it.
std::string FirstLineShown(std::string_view reply) {
  if (reply.substr(0, 5) == "HTTP/") {
    const std::string_view body = BodyOf(reply);
    if (!body.empty()) reply = body;
  }
  return SanitizeServerText(ToUtf8(NextLine(reply)));
}

std::string ServerName(const CCDDBServer& server) {
  return server.host + (server.port == kDefaultCddbPort ? "" : ":" + std::to_string(server.port));
}

std::optional<std::string> LoginName() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_name)
    return std::nullopt;
  return std::string(found->pw_name);
}

}  // namespace

std::string HelloWord(const char* raw) {
  if (!raw || !*raw) return "Unknown";
  std::string word(raw);
  for (char& c : word) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!keep) c = '_';
  }
  return word;
}

std::optional<std::pair<std::string, std::string>> HelloEmailWords(std::string_view email) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const size_t first = email.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return std::nullopt;
  email = email.substr(first, email.find_last_not_of(kBlanks) - first + 1);
  const size_t at = email.rfind('@');
  const std::string_view user = at == std::string_view::npos ? email : email.substr(0, at);
  const std::string_view host = at == std::string_view::npos ? std::string_view{} : email.substr(at + 1);
  return std::pair{EmailWord(user), EmailWord(host)};
}

std::string CCDDB::GetHelloUser() {
  if (auto words = HelloEmailWords(m_helloEmail)) return std::move(words->first);
  const std::optional<std::string> name = LoginName();
  return HelloWord(name ? name->c_str() : nullptr);
}

std::string CCDDB::GetHelloHost() {
  if (auto words = HelloEmailWords(m_helloEmail)) return std::move(words->second);
  char name[kNameBufferSize] = {};
  if (gethostname(name, sizeof name - 1) != 0) return HelloWord(nullptr);
  return HelloWord(name);
}

std::string CCDDB::GetHelloCommand() {
  return "hello=" + GetHelloUser() + "+" + GetHelloHost() + "+" + m_clientName + "+" + m_clientVersion +
         "&proto=" + std::to_string(m_protocolLevel);
}

bool CCDDB::NetworkFailure(int error) {
  m_lastMciError = 0;
  m_lastError = IsCancelled() ? kCddbErrCancelled : error;
  return false;
}

bool CCDDB::ReplyFailure() { return NetworkFailure(kCddbErrProtocol); }

bool CCDDB::Connect(CCDDBSocket& socket, const CCDDBServer& server) {
  if (IsCancelled()) return NetworkFailure(kCddbErrCancelled);
  if (!socket.Create() || !socket.Connect(server.host, server.port))
    return NetworkFailure(socket.LastError());
  return true;
}

bool CCDDB::Exchange(const CCDDBServer& server, const std::string& request, bool statusCheck,
                     std::string& reply) {
  CCDDBSocket socket(m_cancel.get());
  if (!Connect(socket, server)) return false;
  if (!socket.Send(request, m_waitTimeoutMs)) return NetworkFailure(socket.LastError());
  if (!ReadResponse(socket, kCddbTerminator, reply, kCddbChunkSize, statusCheck)) return ReplyFailure();
  return true;
}

bool CCDDB::Query(const CCDDBServer& server, uint32_t discId,
                  const std::vector<CCDDBTrackPosition>& positions, std::vector<CCDDBQueryResult>& results) {
  results.clear();
  if (positions.size() < 2) return NetworkFailure(kCddbErrInvalid);
  const size_t count = positions.size() - 1;
  std::string offsets;
  for (size_t i = 0; i < count; ++i) offsets += (i ? "+" : "") + std::to_string(FrameCount(positions[i]));
  const CCDDBTrackPosition& leadOut = positions[count];
  const std::string request = "GET " + server.path + "?cmd=cddb+query+" + Hex8(discId) + "+" +
                              std::to_string(count) + "+" + offsets + "+" +
                              std::to_string(leadOut.minutes * 60 + leadOut.seconds) + "&" +
                              GetHelloCommand() + " HTTP/1.0\r\n\r\n";
  std::string reply;
  if (!Exchange(server, request, true, reply)) return false;
  return ParseQueryReply(BodyOf(reply), results);
}

bool CCDDB::Read(const CCDDBServer& server, uint32_t discId, const std::string& category,
                 CCDDBRecord& record) {
  if (category.empty()) return NetworkFailure(kCddbErrInvalid);
  const std::string request = "GET " + server.path + "?cmd=cddb+read+" + UrlWord(category) + "+" +
                              Hex8(discId) + "&" + GetHelloCommand() + " HTTP/1.0\r\n\r\n";
  std::string reply;
  // A status that is not an entry is one line, and servers send no terminator after it: with the
  // status check the reply ends there, so "no such entry" arrives as an answer, not a timeout.
  if (!Exchange(server, request, true, reply)) return false;
  m_lastReplyText = reply;
  if (!ParseReadReply(BodyOf(reply), record)) return false;
  record.discId = discId;
  return true;
}

bool CCDDB::ReadResponse(CCDDBSocket& socket, std::string_view terminator, std::string& reply,
                         size_t chunkSize, bool statusCheck) {
  reply.clear();
  chunkSize = std::max<size_t>(chunkSize, 1);
  m_readFailure = ReadFailure::kNone;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_maxReplyMs);
  // What arrived stays as the last reply text; a wait that failed before anything arrived
  // leaves the previous one.
  const auto failWith = [&](std::optional<int> error, ReadFailure how) {
    if (!reply.empty() || !error) m_lastReplyText = reply;
    m_lastMciError = 0;
    if (error) m_lastError = *error;
    m_readFailure = how;
    m_readErrno = error.value_or(0);
    return false;
  };
  bool keepReading = true;
  while (keepReading) {
    const auto leftMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (leftMs <= 0) return failWith(kCddbErrTimedOut, ReadFailure::kTimedOut);
    const int64_t waitMs = m_waitTimeoutMs < 0 ? leftMs : std::min<int64_t>(m_waitTimeoutMs, leftMs);
    bool readable = false;
    if (!socket.WaitReadable(static_cast<int>(waitMs), readable))
      return failWith(socket.LastError(), ReadFailure::kSocket);
    if (!readable) return failWith(kCddbErrTimedOut, ReadFailure::kTimedOut);
    // Room for one byte past the limit, so that a reply longer than the limit shows itself.
    const size_t before = reply.size();
    const size_t room = m_maxReplyBytes - before < chunkSize ? m_maxReplyBytes - before + 1 : chunkSize;
    reply.resize(before + room);
    const int received = socket.Receive(reply.data() + before, room);
    reply.resize(before + static_cast<size_t>(std::max(received, 0)));
    if (received < 0 && (socket.LastError() == EAGAIN || socket.LastError() == EWOULDBLOCK)) continue;
    if (received < 0) return failWith(socket.LastError(), ReadFailure::kSocket);
    // Closed before the reply was complete.
    if (received == 0) return failWith(std::nullopt, ReadFailure::kClosed);
    // The terminator is looked for before the size: a reply that ended within the limit is
    // whole, whatever followed it in the same piece.
    if (!terminator.empty()) {
      // Text before this piece held no terminator; search only where a new one can begin.
      const size_t from = before >= terminator.size() ? before - terminator.size() + 1 : 0;
      const size_t found = reply.find(terminator, from);
      if (found != std::string::npos) {
        reply.resize(found);
        return true;
      }
    }
    if (reply.size() > m_maxReplyBytes) return failWith(kCddbErrTimedOut, ReadFailure::kTooLong);
    if (statusCheck && OneLineReplyEnded(reply)) keepReading = false;
  }
  return true;
}

bool CCDDB::ParseQueryReply(std::string_view body, std::vector<CCDDBQueryResult>& results) {
  m_lastReplyText = std::string(body);
  results.clear();
  const int status = ReplyStatus(body);
  if (IsListStatus(status)) {
    std::string_view rest = body;
    NextLine(rest);
    while (!rest.empty())
      if (std::optional<CCDDBQueryResult> match = ParseMatchLine(NextLine(rest))) results.push_back(*match);
    m_lastReplyText.clear();
    return !results.empty();
  }
  if (status == 200 && body.size() > 5) {
    std::optional<CCDDBQueryResult> match = ParseMatchLine(body.substr(4));
    if (match) results.push_back(*match);
    m_lastReplyText.clear();
    return match.has_value();
  }
  if (status == 202) return false;
  return ReplyFailure();
}

bool CCDDB::ParseReadReply(std::string_view body, CCDDBRecord& record) {
  m_lastReplyText = std::string(body);
  // 401 is the server's definite "no such entry": an answer, and the record stays as the caller
  // made it, so the disc can be kept in the library with numbered titles. Anything else that is
  // not an entry is a failure.
  if (ReplyStatus(body) == kCddbStatusNoEntry && cddb_text::HasLineEnd(body)) {
    m_lastReplyText.clear();
    return true;
  }
  if (!IsListStatus(ReplyStatus(body)) || !cddb_text::HasLineEnd(body)) return ReplyFailure();
  std::string_view entry = body;
  NextLine(entry);
  if (!ParseXmcd(entry, record)) return false;
  m_lastReplyText.clear();
  return true;
}

bool CCDDB::ParseXmcd(std::string_view entry, CCDDBRecord& record) {
  m_lastFailureText.clear();
  if (korvi::ParseXmcd(entry, record, &m_lastFailureText)) return true;
  return ReplyFailure();
}

std::string CCDDB::FailureCause(const CCDDBServer& server) const {
  const std::string name = ServerName(server);
  if (!m_lastFailureText.empty()) return "the entry of the CDDB server was rejected: " + m_lastFailureText;
  const int status = ReplyStatus(BodyOf(m_lastReplyText).empty() ? std::string_view(m_lastReplyText)
                                                                 : BodyOf(m_lastReplyText));
  switch (m_lastError) {
    case 0:
      if (status == 202) return "no match for this disc on the CDDB server " + name + " (202)";
      return "the CDDB server " + name + " listed no match that could be read";
    case kCddbErrCancelled:
      return "the lookup was stopped";
    case kCddbErrInvalid:
      if (server.host.empty())
        return std::string(kCddbServerVariable) + " does not name a server (host[:port])";
      return "the CDDB server name " + server.host + " cannot be resolved";
    case kCddbErrTimedOut:
      return "the CDDB server " + name + " did not answer in time";
    case kCddbErrProtocol:
      if (m_readFailure == ReadFailure::kTimedOut ||
          (m_readFailure == ReadFailure::kSocket && m_readErrno == kCddbErrTimedOut))
        return "the CDDB server " + name + " did not answer in time";
      if (m_readFailure == ReadFailure::kTooLong)
        return "the reply of the CDDB server " + name + " is too long";
      if (m_readFailure == ReadFailure::kSocket)
        return "the connection to the CDDB server " + name + " failed: " + std::strerror(m_readErrno);
      if (m_readFailure == ReadFailure::kClosed && m_lastReplyText.empty())
        return "the CDDB server " + name + " closed the connection without an answer";
      if (IsListStatus(status)) return "the reply of the CDDB server " + name + " was cut short";
      if (status >= 100 && status <= 999)
        return "the CDDB server " + name + " answered: " + FirstLineShown(m_lastReplyText);
      return "the reply of " + name + " is not CDDB: " + FirstLineShown(m_lastReplyText);
    case ECONNREFUSED:
      return "the CDDB server " + name + " refused the connection";
    default:
      return "cannot reach the CDDB server " + name + ": " + std::strerror(m_lastError);
  }
}

}  // namespace korvi
