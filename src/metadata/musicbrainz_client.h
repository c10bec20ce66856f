#pragma once
// Looking a disc up on MusicBrainz: by its disc id, and when MusicBrainz does not know the id, by
// its TOC, which finds releases of discs with nearly the same track lengths. Blocking, for worker
// threads; cancellable from any thread.
//
// MusicBrainz asks every client for at most one request a second and answers 503 to more: all
// requests of the process share one clock, every process of the user keeps the pace with the
// others through a file in the runtime folder (see RequestPace), and a 503 with a short
// Retry-After is tried once more.

#include <string>
#include <vector>

#include "common/cancel_token.h"
#include "disc/cdrom_toc.h"
#include "metadata/musicbrainz_release.h"
#include "net/http_client.h"

namespace korvi {

inline constexpr const char* kDefaultMusicBrainzServer = "https://musicbrainz.org";
// http[s]://host[:port] of another server, for tests and mirrors.
inline constexpr const char* kMusicBrainzServerVariable = "KORVI_MUSICBRAINZ_SERVER";
// MusicBrainz wants a way to reach whoever runs a client; builds for others put their own here.
inline constexpr const char* kMusicBrainzContact = "korvi-cd-ripper@example.org";
// The longest Retry-After that is waited out; a longer one ends the look-up.
inline constexpr int kMusicBrainzMaxRetryWaitMs = 5000;
inline constexpr int kMusicBrainzRequestIntervalMs = 1000;

// The bounds of one reply. A disc id shared by many releases, each with every track's credits,
// runs to hundreds of kilobytes, and the service takes a while to start answering when busy.
HttpLimits MusicBrainzLimits();

// "Korvi-CD-Ripper/<version> ( <contact> )".
std::string MusicBrainzUserAgent();

// The default server or the one KORVI_MUSICBRAINZ_SERVER names, without a trailing slash; empty
// when the variable is malformed, which look-ups refuse rather than quietly asking the public server.
std::string MusicBrainzServerBase();

struct MusicBrainzLookup {
  enum class Kind {
    kFound,         // releases holds at least one release
    kNotFound,      // MusicBrainz knows neither the disc id nor a disc with a close TOC
    kNotReachable,  // error says why; also when the token was cancelled or the reply was unusable
  };
  Kind kind = Kind::kNotReachable;
  std::vector<MusicBrainzRelease> releases;
  std::string error;
  std::string discId;  // the id looked up; empty when the disc has no audio
  bool fuzzy = false;  // the releases came from the look-up by TOC
};

// Looks the disc up: its disc id first, its TOC after a 404. cancel may be null.
MusicBrainzLookup LookUpMusicBrainz(const DiscToc& disc, const CancelToken* cancel = nullptr,
                                    const HttpLimits& limits = MusicBrainzLimits());

}  // namespace korvi
