#include "SocketError.h"

#include <netdb.h>
#include <cerrno>

namespace Platform {

namespace {

thread_local int tLastSocketError = 0;

struct ErrnoMapping {
  int err;
  int code;
};

// Several errno names share a value on Linux (EAGAIN/EWOULDBLOCK, ENOTSUP/EOPNOTSUPP),
// hence a table rather than a switch. The first match wins.
constexpr ErrnoMapping kErrnoMap[] = {
    {EINTR, WSAEINTR},
    {EBADF, WSAEBADF},
    {EACCES, WSAEACCES},
    {EPERM, WSAEACCES},  // a firewall rule refusing a connect
    {EFAULT, WSAEFAULT},
    {EINVAL, WSAEINVAL},
    {EMFILE, WSAEMFILE},
    {ENFILE, WSAEMFILE},
    {EWOULDBLOCK, WSAEWOULDBLOCK},
    {EAGAIN, WSAEWOULDBLOCK},
    {EINPROGRESS, WSAEINPROGRESS},
    {EALREADY, WSAEALREADY},
    {ENOTSOCK, WSAENOTSOCK},
    {EDESTADDRREQ, WSAEDESTADDRREQ},
    {EMSGSIZE, WSAEMSGSIZE},
    {EPROTOTYPE, WSAEPROTOTYPE},
    {ENOPROTOOPT, WSAENOPROTOOPT},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, WSAESOCKTNOSUPPORT},
    {EOPNOTSUPP, WSAEOPNOTSUPP},
    {ENOTSUP, WSAEOPNOTSUPP},
    {EPFNOSUPPORT, WSAEPFNOSUPPORT},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
    {ENETDOWN, WSAENETDOWN},
    {ENETUNREACH, WSAENETUNREACH},
    {ENETRESET, WSAENETRESET},
    {ECONNABORTED, WSAECONNABORTED},
    {ECONNRESET, WSAECONNRESET},
    {ENOBUFS, WSAENOBUFS},
    {ENOMEM, WSAENOBUFS},
    {EISCONN, WSAEISCONN},
    {ENOTCONN, WSAENOTCONN},
    {ESHUTDOWN, WSAESHUTDOWN},
    {EPIPE, WSAESHUTDOWN},  // sending after this side or the peer has shut the connection
    {ETOOMANYREFS, WSAETOOMANYREFS},
    {ETIMEDOUT, WSAETIMEDOUT},
    {ECONNREFUSED, WSAECONNREFUSED},
    {ELOOP, WSAELOOP},
    {ENAMETOOLONG, WSAENAMETOOLONG},
    {EHOSTDOWN, WSAEHOSTDOWN},
    {EHOSTUNREACH, WSAEHOSTUNREACH},
    {ENOTEMPTY, WSAENOTEMPTY},
    {EUSERS, WSAEUSERS},
    {EDQUOT, WSAEDQUOT},
    {ESTALE, WSAESTALE},
    {EREMOTE, WSAEREMOTE},
};

}  // namespace

int WSAGetLastError() noexcept {
  return tLastSocketError;
}

void WSASetLastError(int code) noexcept {
  tLastSocketError = code;
}

int WinsockCodeFromErrno(int err) noexcept {
  if (err == 0)
    return 0;
  for (const ErrnoMapping& mapping : kErrnoMap) {
    if (mapping.err == err)
      return mapping.code;
  }
  return WSAEINVAL;
}

int WinsockCodeFromAddrInfo(int eai, int err) noexcept {
  switch (eai) {
    case 0:
      return 0;
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
      return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
      return WSATRY_AGAIN;
    case EAI_FAIL:
      return WSANO_RECOVERY;
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return WSANO_DATA;
#endif
    // Winsock's own getaddrinfo reports these three with the socket codes below.
    case EAI_FAMILY:
      return WSAEAFNOSUPPORT;
    case EAI_SOCKTYPE:
      return WSAESOCKTNOSUPPORT;
    case EAI_BADFLAGS:
      return WSAEINVAL;
    case EAI_SYSTEM: {
      // A system failure without an errno still has to read as a failure.
      const int code = WinsockCodeFromErrno(err);
      return code != 0 ? code : WSANO_RECOVERY;
    }
    default:
      return WSANO_RECOVERY;
  }
}

int SetLastSocketErrorFromErrno(int err) noexcept {
  const int code = WinsockCodeFromErrno(err);
  tLastSocketError = code;
  return code;
}

int SetLastSocketErrorFromAddrInfo(int eai, int err) noexcept {
  const int code = WinsockCodeFromAddrInfo(eai, err);
  tLastSocketError = code;
  return code;
}

}  // namespace Platform
