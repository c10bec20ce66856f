#pragma once
// The CDDB client's own cause codes. They keep the numbers of the Windows Sockets errors they stand
// for, whatever the host's errno values are; any other nonzero cause is the errno of a failing
// socket call.

namespace korvi {

inline constexpr int kCddbErrCancelled = 10004;  // the owner abandoned the request (WSAEINTR)
inline constexpr int kCddbErrInvalid = 10022;    // a host that does not resolve, bad arguments (WSAEINVAL)
inline constexpr int kCddbErrProtocol = 10043;   // a reply the client cannot use (WSAEPROTONOSUPPORT)
inline constexpr int kCddbErrTimedOut = 10060;   // no data in time, or a reply past its limits (WSAETIMEDOUT)

}  // namespace korvi
