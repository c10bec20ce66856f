#include "metadata/musicbrainz_client.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

#include "metadata/musicbrainz_disc_id.h"
#include "metadata/request_pace.h"

namespace korvi {
namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

constexpr const char* kIncludes = "recordings+artist-credits+labels+release-groups";
// A token without a descriptor cannot wake a wait, so the wait looks at it this often.
constexpr int kCancelPollMs = 20;

// When the next request of the process may start. Each request reserves its turn before it waits,
// so that look-ups on several threads queue up rather than all going at once.
class RequestClock {
 public:
  Clock::time_point Reserve(Clock::time_point notBefore) {
    std::lock_guard lock(m_mutex);
    const Clock::time_point turn = std::max({Clock::now(), m_next, notBefore});
    m_next = turn + Ms(kMusicBrainzRequestIntervalMs);
    return turn;
  }
  // Counted from the end of a slow reply as well, so that the server never sees two requests
  // closer than the interval.
  void Finished() {
    std::lock_guard lock(m_mutex);
    m_next = std::max(m_next, Clock::now() + Ms(kMusicBrainzRequestIntervalMs));
  }
  // A request that never reached the server gives its turn back, unless another took the next:
  // without a network, each look-up would otherwise wait for nothing.
  void Unused(Clock::time_point turn) {
    std::lock_guard lock(m_mutex);
    if (m_next == turn + Ms(kMusicBrainzRequestIntervalMs)) m_next = turn;
  }

 private:
  std::mutex m_mutex;
  Clock::time_point m_next{};
};

RequestClock& TheClock() {
  static RequestClock clock;
  return clock;
}

// Sleeps until the time point; false when the token was cancelled first.
bool SleepUntil(Clock::time_point until, const CancelToken* cancel) {
  for (;;) {
    if (cancel && cancel->IsCancelled()) return false;
    const Clock::time_point now = Clock::now();
    if (now >= until) return true;
    auto waitMs = std::chrono::ceil<Ms>(until - now).count();
    const int fd = cancel ? cancel->WakeDescriptor() : -1;
    if (cancel && fd < 0) waitMs = std::min<decltype(waitMs)>(waitMs, kCancelPollMs);
    if (fd >= 0) {
      pollfd wake{fd, POLLIN, 0};
      poll(&wake, 1, static_cast<int>(waitMs));
    } else {
      std::this_thread::sleep_for(Ms(waitMs));
    }
  }
}

std::string Duration(int ms) {
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms) + " ms";
}

bool IsHostText(std::string_view host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    return host.substr(1, host.size() - 2).find_first_not_of("0123456789abcdefABCDEF:.") ==
           std::string_view::npos;
  return !host.empty() && host.size() <= 253 && host.front() != '.' && host.front() != '-' &&
         host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") ==
             std::string_view::npos;
}

// "http[s]://host[:port]" with at most a trailing slash; none for anything else.
std::optional<std::string> ParseServerBase(std::string_view value) {
  size_t schemeEnd = 0;
  if (value.starts_with("http://"))
    schemeEnd = 7;
  else if (value.starts_with("https://"))
    schemeEnd = 8;
  else
    return std::nullopt;
  std::string_view authority = value.substr(schemeEnd);
  if (authority.ends_with('/')) authority.remove_suffix(1);
  std::string_view host = authority;
  const size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
    host = authority.substr(0, colon);
    const std::string_view port = authority.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos)
      return std::nullopt;
    const int number = std::atoi(std::string(port).c_str());
    if (number < 1 || number > 65535) return std::nullopt;
  }
  if (!IsHostText(host)) return std::nullopt;
  return std::string(value.substr(0, schemeEnd)) + std::string(authority);
}

// One request in its turn, and once more after a 503 that asks for a short wait. The turn is the
// process's first (its threads queue up), then that of every process of the user asking the server.
HttpReply Request(const std::string& base, const std::string& url, const HttpLimits& limits,
                  const CancelToken* cancel) {
  const std::string agent = MusicBrainzUserAgent();
  RequestPace pace(PaceFolder(), PaceFileName(base), kMusicBrainzRequestIntervalMs);
  Clock::time_point notBefore{};
  for (int attempt = 0;; ++attempt) {
    const Clock::time_point turn = TheClock().Reserve(notBefore);
    if (!SleepUntil(turn, cancel) || !pace.Take(cancel)) {
      TheClock().Unused(turn);
      HttpReply stopped;
      stopped.kind = HttpReply::Kind::kCancelled;
      return stopped;
    }
    HttpReply reply = HttpGet(url, limits, cancel, agent);
    if (reply.noConnection) {
      TheClock().Unused(turn);
      pace.Unused();
    } else {
      TheClock().Finished();
      pace.Finished();
    }
    if (attempt > 0 || reply.kind != HttpReply::Kind::kHttpStatus || reply.status != 503) return reply;
    // Without Retry-After the service only wants the pace kept, which the next turn does.
    const long waitMs = reply.retryAfterSeconds < 0 ? 0 : reply.retryAfterSeconds * 1000;
    if (waitMs > kMusicBrainzMaxRetryWaitMs) return reply;
    notBefore = Clock::now() + Ms(waitMs);
  }
}

std::string ErrorOf(const HttpReply& reply) {
  switch (reply.kind) {
    case HttpReply::Kind::kCancelled:
      return "the MusicBrainz look-up was stopped";
    case HttpReply::Kind::kHttpStatus: {
      std::string error = "MusicBrainz answered " + reply.statusText;
      if (reply.status == 503 && reply.retryAfterSeconds * 1000 > kMusicBrainzMaxRetryWaitMs)
        error += " and asks to wait " + std::to_string(reply.retryAfterSeconds) + " s";
      return error;
    }
    default:
      if (reply.timedOutAfterMs > 0)
        return "MusicBrainz did not answer within " + Duration(reply.timedOutAfterMs);
      return "MusicBrainz: " + reply.error;
  }
}

// Each track's length in sectors, as the TOC gives it.
std::vector<int32_t> TrackSectors(const MusicBrainzToc& toc) {
  std::vector<int32_t> lengths;
  for (size_t i = 0; i < toc.offsets.size(); ++i)
    lengths.push_back((i + 1 < toc.offsets.size() ? toc.offsets[i + 1] : toc.leadOut) - toc.offsets[i]);
  return lengths;
}

MusicBrainzLookup Failed(MusicBrainzLookup lookup, std::string error) {
  lookup.kind = MusicBrainzLookup::Kind::kNotReachable;
  lookup.error = std::move(error);
  return lookup;
}

}  // namespace

HttpLimits MusicBrainzLimits() {
  HttpLimits limits;
  limits.maxBodyBytes = 4 << 20;
  limits.totalMs = 30000;
  limits.stallMs = 10000;
  return limits;
}

std::string MusicBrainzUserAgent() { return HttpUserAgent() + " ( " + kMusicBrainzContact + " )"; }

std::string MusicBrainzServerBase() {
  const char* value = std::getenv(kMusicBrainzServerVariable);
  if (!value || !*value) return kDefaultMusicBrainzServer;
  return ParseServerBase(value).value_or(std::string());
}

MusicBrainzLookup LookUpMusicBrainz(const DiscToc& disc, const CancelToken* cancel,
                                    const HttpLimits& limits) {
  MusicBrainzLookup lookup;
  const std::optional<MusicBrainzToc> toc = MusicBrainzTocOf(disc);
  if (!toc) {
    lookup.kind = MusicBrainzLookup::Kind::kNotFound;
    lookup.error = "the disc has no audio track to look up";
    return lookup;
  }
  lookup.discId = MusicBrainzDiscId(*toc);
  if (lookup.discId.empty()) return Failed(std::move(lookup), "libdiscid refuses the table of contents");
  const std::string base = MusicBrainzServerBase();
  if (base.empty())
    return Failed(std::move(lookup), std::string(kMusicBrainzServerVariable) +
                                         " does not name a server (http[s]://host[:port])");

  const std::string query = std::string("inc=") + kIncludes + "&fmt=json";
  HttpReply reply = Request(base, base + "/ws/2/discid/" + lookup.discId + "?" + query, limits, cancel);
  if (reply.kind == HttpReply::Kind::kNotFound) {
    lookup.fuzzy = true;
    reply = Request(base, base + "/ws/2/discid/-?toc=" + MusicBrainzTocParameter(*toc) + "&" + query, limits,
                    cancel);
  }
  if (reply.kind == HttpReply::Kind::kNotFound) {
    lookup.kind = MusicBrainzLookup::Kind::kNotFound;
    return lookup;
  }
  if (reply.kind != HttpReply::Kind::kOk) return Failed(std::move(lookup), ErrorOf(reply));

  std::string error;
  const std::string_view body(reinterpret_cast<const char*>(reply.body.data()), reply.body.size());
  std::optional<std::vector<MusicBrainzRelease>> releases = ParseMusicBrainzReleases(
      body, lookup.fuzzy ? std::string() : lookup.discId, TrackSectors(*toc), &error);
  if (!releases) return Failed(std::move(lookup), error);
  lookup.releases = std::move(*releases);
  lookup.kind =
      lookup.releases.empty() ? MusicBrainzLookup::Kind::kNotFound : MusicBrainzLookup::Kind::kFound;
  return lookup;
}

}  // namespace korvi
