#pragma once
// The client side of the CDDB protocol over HTTP/1.0: the disc id of a disc, the query for the
// entries that match it, and the read of one entry. One object serves one lookup on one thread;
// it holds no global state, so any number of lookups may run on as many threads.
//
// Abandoning a lookup: give the client a cancel token (SetCancelToken) and keep another reference
// to it. Cancel() from any thread ends the client's current wait at once (name resolution,
// connect, send or reply), and the call returns false with LastError() == kCddbErrCancelled; every
// later request fails the same way without touching the network.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/cancel_token.h"
#include "common/reply_limits.h"
#include "cddb/cddb_errors.h"
#include "cddb/cddb_record.h"
#include "cddb/cddb_server.h"
#include "cddb/disc_id.h"

namespace korvi {

class CCDDBSocket;

// One match of a query. Text is UTF-8.
struct CCDDBQueryResult {
  std::string category;
  uint32_t discId = 0;
  std::string artist;
  std::string title;

  bool operator==(const CCDDBQueryResult&) const = default;
};

// Errors of the position step, numbered as the CD audio device reports them.
inline constexpr uint32_t kMciErrInvalidDeviceName = 263;  // no such drive or image
inline constexpr uint32_t kMciErrDeviceNotReady = 276;     // no readable table of contents

// The words the client sends and the limits it keeps to.
inline constexpr const char* kCddbClientName = "MfcCDDB";
inline constexpr const char* kCddbClientVersion = "1.27";
inline constexpr int kCddbProtocolLevel = 5;
inline constexpr int kCddbDefaultWaitMs = kReplyStallMs;  // per piece of a reply
inline constexpr size_t kCddbMaxReplyBytes = kMaxReplyBytes;
inline constexpr int kCddbMaxReplyMs = kMaxReplyMs;  // for a whole reply
inline constexpr size_t kCddbChunkSize = 4096;
inline constexpr int kCddbStatusNoEntry = 401;  // read: the database has no such entry
inline constexpr std::string_view kCddbTerminator = "\r\n.\r\n";

class CCDDB {
 public:
  CCDDB() = default;
  virtual ~CCDDB() = default;
  CCDDB(const CCDDB&) = delete;
  CCDDB& operator=(const CCDDB&) = delete;

  void SetCancelToken(std::shared_ptr<const CancelToken> token) { m_cancel = std::move(token); }

  // The longest wait for each piece of a reply, and for room to send.
  void SetWaitTimeout(int milliseconds) { m_waitTimeoutMs = milliseconds; }
  // A reply longer than maxBytes, or one still arriving after totalMs, fails like a reply that
  // timed out.
  void SetReplyLimits(size_t maxBytes, int totalMs) {
    m_maxReplyBytes = maxBytes;
    m_maxReplyMs = totalMs;
  }

  // The starts of every track and the lead-out, in minutes-seconds-frames with the 150-frame
  // lead-in, of the disc in drive (a device or image path; empty: the first drive). False, with an
  // empty array, when the drive cannot be read (LastMciError() says why) or the disc holds no
  // audio track (LastMciError() 0).
  bool GetDiscTrackPositions(std::vector<CCDDBTrackPosition>& positions, const std::string& drive);
  bool GetDiscId(const std::string& drive, uint32_t& discId);

  // The entries that match the disc; true when there is at least one.
  bool Query(const CCDDBServer& server, uint32_t discId, const std::vector<CCDDBTrackPosition>& positions,
             std::vector<CCDDBQueryResult>& results);
  // One entry, parsed; the record's disc id becomes discId.
  bool Read(const CCDDBServer& server, uint32_t discId, const std::string& category, CCDDBRecord& record);

  // The user's e-mail address: the public server refuses a hello it does not know, and asks each
  // user to send their own address as its user and host words. Empty (or blank): the login and
  // machine names, as always.
  void SetHelloEmail(std::string email) { m_helloEmail = std::move(email); }

  // "hello=USER+HOST+MfcCDDB+1.27&proto=5".
  virtual std::string GetHelloCommand();
  // The two parts of the e-mail address when one is set (see HelloEmailWords); otherwise the
  // user's login name and the machine's name, every character but ASCII letters and digits
  // replaced by "_", "Unknown" when the system does not say.
  virtual std::string GetHelloUser();
  virtual std::string GetHelloHost();

  // Collects a reply from socket into reply until terminator arrives (the text is cut before it).
  // With statusCheck on, a reply whose CDDB status is not a list (210..219) ends with its first
  // line.
  virtual bool ReadResponse(CCDDBSocket& socket, std::string_view terminator, std::string& reply,
                            size_t chunkSize, bool statusCheck);

  // The body of a query reply (after the HTTP header) into results.
  bool ParseQueryReply(std::string_view body, std::vector<CCDDBQueryResult>& results);
  // The body of a read reply into record.
  bool ParseReadReply(std::string_view body, CCDDBRecord& record);
  // The xmcd parser, with this client's error reporting.
  bool ParseXmcd(std::string_view entry, CCDDBRecord& record);

  // The reply of the latest request that failed or is being parsed; emptied by a parsed reply.
  const std::string& LastReplyText() const { return m_lastReplyText; }
  // The latest device error of the position step; 0 after every network or protocol failure.
  uint32_t LastMciError() const { return m_lastMciError; }
  // The cause of the latest failure: a kCddbErr code, or the errno of a failing socket call.
  int LastError() const { return m_lastError; }
  // Why the latest entry was rejected, or why the drive could not be read.
  const std::string& LastFailureText() const { return m_lastFailureText; }
  // The latest failed Query or Read of server in words for the user: no match, the server's own
  // status line, a name that does not resolve, a refused or timed-out connection, a reply that is
  // not CDDB, a rejected entry.
  std::string FailureCause(const CCDDBServer& server) const;

 private:
  bool NetworkFailure(int error);
  bool ReplyFailure();
  bool Connect(CCDDBSocket& socket, const CCDDBServer& server);
  bool Exchange(const CCDDBServer& server, const std::string& request, bool statusCheck, std::string& reply);
  bool IsCancelled() const { return m_cancel && m_cancel->IsCancelled(); }

  std::string m_lastReplyText;
  std::string m_helloEmail;
  uint32_t m_lastMciError = 0;
  int m_waitTimeoutMs = kCddbDefaultWaitMs;
  std::string m_clientName = kCddbClientName;
  std::string m_clientVersion = kCddbClientVersion;
  int m_protocolLevel = kCddbProtocolLevel;
  int m_lastError = 0;
  std::string m_lastFailureText;
  // How the latest reply read ended when it failed, before the failure became kCddbErrProtocol:
  // the wait, the size, the connection closing early, or a socket error (m_readErrno).
  enum class ReadFailure { kNone, kTimedOut, kTooLong, kClosed, kSocket };
  ReadFailure m_readFailure = ReadFailure::kNone;
  int m_readErrno = 0;
  size_t m_maxReplyBytes = kCddbMaxReplyBytes;
  int m_maxReplyMs = kCddbMaxReplyMs;
  std::shared_ptr<const CancelToken> m_cancel;
};

// A word of the hello parameter: every byte that is not an ASCII letter or digit becomes "_";
// "Unknown" when there is no word.
std::string HelloWord(const char* raw);

// The user and host words of the hello for an e-mail address, split at its last "@" after the
// blanks around it are dropped; nullopt when the address is empty or blank. Letters, digits, ".",
// "-", "_" and "~" stay as they are; the other characters an address may hold are
// percent-encoded, so that the server's CGI decodes the address as typed ("+" would split the
// hello, "&" end it); anything else (blanks, control characters, quotes, bytes beyond ASCII)
// becomes "_". An empty part is "Unknown".
std::optional<std::pair<std::string, std::string>> HelloEmailWords(std::string_view email);

}  // namespace korvi
