// The per-thread last socket error, kept as the Winsock-numbered code so that
// the logs read the same as on the system the program was designed for.
#pragma once

namespace Platform {

inline constexpr int WSAEINTR = 10004, WSAEBADF = 10009, WSAEACCES = 10013, WSAEFAULT = 10014,
                     WSAEINVAL = 10022, WSAEMFILE = 10024, WSAEWOULDBLOCK = 10035,
                     WSAEINPROGRESS = 10036, WSAEALREADY = 10037, WSAENOTSOCK = 10038,
                     WSAEDESTADDRREQ = 10039, WSAEMSGSIZE = 10040, WSAEPROTOTYPE = 10041,
                     WSAENOPROTOOPT = 10042, WSAEPROTONOSUPPORT = 10043, WSAESOCKTNOSUPPORT = 10044,
                     WSAEOPNOTSUPP = 10045, WSAEPFNOSUPPORT = 10046, WSAEAFNOSUPPORT = 10047,
                     WSAEADDRINUSE = 10048, WSAEADDRNOTAVAIL = 10049, WSAENETDOWN = 10050,
                     WSAENETUNREACH = 10051, WSAENETRESET = 10052, WSAECONNABORTED = 10053,
                     WSAECONNRESET = 10054, WSAENOBUFS = 10055, WSAEISCONN = 10056,
                     WSAENOTCONN = 10057, WSAESHUTDOWN = 10058, WSAETOOMANYREFS = 10059,
                     WSAETIMEDOUT = 10060, WSAECONNREFUSED = 10061, WSAELOOP = 10062,
                     WSAENAMETOOLONG = 10063, WSAEHOSTDOWN = 10064, WSAEHOSTUNREACH = 10065,
                     WSAENOTEMPTY = 10066, WSAEPROCLIM = 10067, WSAEUSERS = 10068,
                     WSAEDQUOT = 10069, WSAESTALE = 10070, WSAEREMOTE = 10071,
                     WSASYSNOTREADY = 10091, WSAVERNOTSUPPORTED = 10092, WSANOTINITIALISED = 10093,
                     WSAEDISCON = 10101, WSAHOST_NOT_FOUND = 11001, WSATRY_AGAIN = 11002,
                     WSANO_RECOVERY = 11003, WSANO_DATA = 11004;

int WSAGetLastError() noexcept;
void WSASetLastError(int code) noexcept;

// Maps an errno value (from socket, connect, send, recv, ...) to its Winsock code;
// 0 stays 0, a value without a counterpart maps to WSAEINVAL.
int WinsockCodeFromErrno(int err) noexcept;
// Maps a getaddrinfo result (EAI_*) to its Winsock code; 0 stays 0.
int WinsockCodeFromAddrInfo(int eai, int err) noexcept;
// Shorthands that store the mapped code as the thread's last error and return it.
int SetLastSocketErrorFromErrno(int err) noexcept;
int SetLastSocketErrorFromAddrInfo(int eai, int err) noexcept;

}  // namespace Platform
