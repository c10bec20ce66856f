#include "net/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>

#include "common/version.h"
#include "text/ascii_case.h"
#include "text/utf8_text.h"

namespace korvi {
namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

// A token without a descriptor cannot wake the wait, so the wait looks at it this often.
constexpr int kCancelPollMs = 20;

// libcurl's global setup is not safe to race and must precede every other call; a function-local
// static runs it once whichever thread comes first. There is no matching cleanup: requests may
// still run on other threads while the program exits.
bool CurlReady() {
  static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
  return result == CURLE_OK;
}

struct EasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

// The easy handle must leave the multi handle before either is cleaned up.
class Attachment {
 public:
  Attachment(CURLM* multi, CURL* easy)
      : m_multi(multi), m_easy(easy), m_attached(curl_multi_add_handle(multi, easy) == CURLM_OK) {}
  ~Attachment() {
    if (m_attached) curl_multi_remove_handle(m_multi, m_easy);
  }
  Attachment(const Attachment&) = delete;
  Attachment& operator=(const Attachment&) = delete;
  explicit operator bool() const { return m_attached; }

 private:
  CURLM* m_multi;
  CURL* m_easy;
  bool m_attached;
};

struct Transfer {
  std::vector<uint8_t> body;
  size_t maxBytes = 0;
  bool tooLarge = false;
  bool connected = false;
  std::string statusLine;
  long retryAfterSeconds = -1;
  Clock::time_point lastByte;
};

size_t OnBody(char* data, size_t, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  transfer->lastByte = Clock::now();
  if (count > transfer->maxBytes - transfer->body.size()) {
    transfer->tooLarge = true;
    return 0;  // libcurl ends the transfer with CURLE_WRITE_ERROR
  }
  transfer->body.insert(transfer->body.end(), data, data + count);
  return count;
}

// Retry-After as delta-seconds; -1 for a date or anything else. Long values are capped rather
// than overflowing: every caller bounds its wait anyway.
long RetryAfterSeconds(std::string_view value) {
  while (!value.empty() && std::isspace(static_cast<unsigned char>(value.front()))) value.remove_prefix(1);
  while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.remove_suffix(1);
  if (value.empty()) return -1;
  long seconds = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return -1;
    seconds = std::min(seconds * 10 + (c - '0'), 999999999L);
  }
  return seconds;
}

size_t OnHeader(char* data, size_t, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  transfer->lastByte = Clock::now();
  std::string_view line(data, count);
  if (line.starts_with("HTTP/")) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    // Kept raw, and long enough for what a message shows of it after sanitizing.
    transfer->statusLine = std::string(line.substr(0, 4 * kMaxServerTextBytes));
    transfer->retryAfterSeconds = -1;  // a new reply's head, after a 1xx
  } else if (line.size() > 12 && StartsWithIgnoringCase(line, "Retry-After:")) {
    transfer->retryAfterSeconds = RetryAfterSeconds(line.substr(12));
  }
  return count;
}

int OnConnected(void* user, char*, char*, int, int) {
  static_cast<Transfer*>(user)->connected = true;
  return CURL_PREREQFUNC_OK;
}

// host[:port] of url, for messages.
std::string ServerOf(const std::string& url) {
  const size_t scheme = url.find("://");
  const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  std::string authority = url.substr(start, url.find_first_of("/?#", start) - start);
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  return authority.empty() ? url : authority;
}

std::string Duration(int ms) {
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms) + " ms";
}

// "503 Service Unavailable" from "HTTP/1.1 503 Service Unavailable", sanitized: the server's
// words go into messages.
std::string StatusText(const std::string& statusLine, long status) {
  const size_t space = statusLine.find(' ');
  if (space == std::string::npos || space + 1 >= statusLine.size()) return std::to_string(status);
  return SanitizeServerText(std::string_view(statusLine).substr(space + 1));
}

HttpReply Failure(HttpReply::Kind kind, std::string error, long status = 0) {
  HttpReply reply;
  reply.kind = kind;
  reply.status = status;
  reply.error = std::move(error);
  return reply;
}

HttpReply Unreachable(std::string error, long status = 0) {
  return Failure(HttpReply::Kind::kUnreachable, std::move(error), status);
}

HttpReply TimedOut(std::string error, int afterMs) {
  HttpReply reply = Unreachable(std::move(error));
  reply.timedOutAfterMs = afterMs;
  return reply;
}

HttpReply Cancelled() { return Failure(HttpReply::Kind::kCancelled, "the request was stopped"); }

// What a transfer that libcurl ended with result means to the user.
std::string TransferError(CURLcode result, CURL* easy, const Transfer& transfer, const std::string& server,
                          const char* curlText) {
  // libcurl's text may quote what the server sent.
  const std::string detail = SanitizeServerText(*curlText ? curlText : curl_easy_strerror(result));
  switch (result) {
    case CURLE_WRITE_ERROR:
    case CURLE_FILESIZE_EXCEEDED:
      if (result == CURLE_FILESIZE_EXCEEDED || transfer.tooLarge)
        return server + ": reply larger than " + std::to_string(transfer.maxBytes) + " bytes";
      return server + ": " + detail;
    case CURLE_PARTIAL_FILE:
      return server + ": reply cut off after " + std::to_string(transfer.body.size()) + " bytes";
    case CURLE_COULDNT_RESOLVE_HOST:
      return "cannot connect to " + server + ": the name does not resolve";
    case CURLE_COULDNT_CONNECT: {
      long osError = 0;
      curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osError);
      return "cannot connect to " + server + ": " +
             (osError != 0 ? std::string(std::strerror(static_cast<int>(osError))) : detail);
    }
    case CURLE_OPERATION_TIMEDOUT:
      return server + " timed out";
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return "cannot fetch " + server + ": " + detail;
    default:
      return server + ": " + detail;
  }
}

}  // namespace

std::string HttpUserAgent() { return std::string("Korvi-CD-Ripper/") + ProgramVersion(); }

HttpReply HttpGet(const std::string& url, const HttpLimits& limits, const CancelToken* cancel,
                  const std::string& userAgent) {
  const std::string server = ServerOf(url);
  if (cancel && cancel->IsCancelled()) return Cancelled();
  if (!CurlReady()) return Unreachable("the network library cannot be set up");
  const std::unique_ptr<CURLM, MultiCleanup> multi(curl_multi_init());
  const std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
  if (!multi || !easy) return Unreachable("the network library cannot be set up");

  Transfer transfer;
  transfer.maxBytes = limits.maxBodyBytes;
  char curlText[CURL_ERROR_SIZE] = {};
  const std::string agent = userAgent.empty() ? HttpUserAgent() : userAgent;
  CURLcode set = CURLE_OK;
  const auto option = [&](CURLoption name, auto value) {
    if (set == CURLE_OK) set = curl_easy_setopt(easy.get(), name, value);
  };
  option(CURLOPT_ERRORBUFFER, curlText);
  option(CURLOPT_URL, url.c_str());
  option(CURLOPT_PROTOCOLS_STR, "http,https");
  // Signals would reach whichever thread runs, and libcurl's are only for timing out name lookups,
  // which the wait below times out itself.
  option(CURLOPT_NOSIGNAL, 1L);
  // Debian's libcurl resolves names on a thread of its own, and by default the end of a request
  // waits for that thread: a resolver that never answers held a request that had given up (or
  // been cancelled) for as long as the system's resolver tries, 10 s and more. With this the
  // thread is left to finish on its own, and the request ends when the wait below ends it.
  option(CURLOPT_QUICK_EXIT, 1L);
  option(CURLOPT_USERAGENT, agent.c_str());
  option(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
  option(CURLOPT_WRITEFUNCTION, &OnBody);
  option(CURLOPT_WRITEDATA, static_cast<void*>(&transfer));
  option(CURLOPT_HEADERFUNCTION, &OnHeader);
  option(CURLOPT_HEADERDATA, static_cast<void*>(&transfer));
  option(CURLOPT_PREREQFUNCTION, &OnConnected);
  option(CURLOPT_PREREQDATA, static_cast<void*>(&transfer));
  if (set != CURLE_OK) return Unreachable("cannot fetch " + server + ": " + curl_easy_strerror(set));

  const Attachment attachment(multi.get(), easy.get());
  if (!attachment) return Unreachable("the network library cannot be set up");

  // The multi interface rather than curl_easy_perform: its wait can watch the token's descriptor,
  // and the limits are checked between waits.
  const Clock::time_point deadline = Clock::now() + Ms(limits.totalMs);
  transfer.lastByte = Clock::now();
  curl_waitfd wake{cancel ? cancel->WakeDescriptor() : -1, CURL_WAIT_POLLIN, 0};
  const bool watchToken = wake.fd >= 0;
  int running = 0;
  CURLMcode step = curl_multi_perform(multi.get(), &running);
  while (step == CURLM_OK && running > 0) {
    if (cancel && cancel->IsCancelled()) return Cancelled();
    const Clock::time_point now = Clock::now();
    if (now >= deadline)
      return TimedOut(server + " timed out: no whole reply within " + Duration(limits.totalMs),
                      limits.totalMs);
    const Clock::time_point stallEnd = transfer.lastByte + Ms(limits.stallMs);
    if (now >= stallEnd) {
      if (!transfer.connected) return Unreachable("cannot connect to " + server + ": timed out");
      return TimedOut(server + " timed out: nothing received for " + Duration(limits.stallMs),
                      limits.stallMs);
    }
    // Rounded up, so that the wait does not end just short of a limit and spin.
    auto waitMs = std::chrono::ceil<Ms>(std::min(deadline, stallEnd) - now).count();
    if (cancel && !watchToken) waitMs = std::min<decltype(waitMs)>(waitMs, kCancelPollMs);
    step = curl_multi_wait(multi.get(), watchToken ? &wake : nullptr, watchToken ? 1 : 0,
                           static_cast<int>(std::max<decltype(waitMs)>(waitMs, 1)), nullptr);
    if (step == CURLM_OK) step = curl_multi_perform(multi.get(), &running);
  }
  if (step != CURLM_OK) return Unreachable(server + ": " + curl_multi_strerror(step));

  CURLcode result = CURLE_FAILED_INIT;
  int queued = 0;
  while (const CURLMsg* message = curl_multi_info_read(multi.get(), &queued))
    if (message->msg == CURLMSG_DONE && message->easy_handle == easy.get()) result = message->data.result;
  long status = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
  if (result != CURLE_OK) {
    HttpReply failed = Unreachable(TransferError(result, easy.get(), transfer, server, curlText), status);
    failed.noConnection = result == CURLE_COULDNT_RESOLVE_HOST || result == CURLE_COULDNT_CONNECT;
    return failed;
  }
  if (status == 0) return Unreachable(server + " gave no HTTP answer");

  HttpReply reply;
  reply.status = status;
  reply.body = std::move(transfer.body);
  reply.statusText = StatusText(transfer.statusLine, status);
  reply.retryAfterSeconds = transfer.retryAfterSeconds;
  if (status >= 200 && status <= 299) {
    reply.kind = HttpReply::Kind::kOk;
  } else if (status == 404) {
    reply.kind = HttpReply::Kind::kNotFound;
    reply.error = server + " has no such file (404)";
  } else {
    reply.kind = HttpReply::Kind::kHttpStatus;
    reply.error = server + " answered " + reply.statusText;
  }
  return reply;
}

}  // namespace korvi
