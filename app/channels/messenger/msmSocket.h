// The messenger's socket helpers: the text form of socket errors, a bounded connect,
// the one-second readability poll, single sends and receives, and the graceful close.
// Sockets are plain blocking IPv4 TCP sockets; -1 means "no socket".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Exceptions.h"

namespace msm {

// Every wait of the messenger, in milliseconds or counts. The defaults are the protocol's
// own values; tests shrink them.
struct MessengerTimings {
  int pollMs = 1000;          // one readability poll
  int maxEmptyPolls = 30;     // empty polls before a switchboard wait gives up
  int signInWaitMs = 120000;  // collecting the answer to the first USR
  int maxHandshakes = 4;      // the first handshake and three repetitions
  int connectPauseMs = 1000;  // between two connection attempts
  int retryPauseMs = 2500;    // before a new run after a refused ticket
  int ackWaitMs = 5000;       // waiting for a negative acknowledgement of a MSG
  int receiveMs = 60000;      // any single receive, connect, or TLS read
  int drainMs = 10000;        // draining a connection that is being closed
  int maxLoginRequests = 5;   // requests to the Passport login server per ticket
  // Whole steps, however steadily the server keeps sending: a trickle must not hold the
  // worker. The switchboard waits match their thirty one-second polls.
  int passportMs = 120000;  // the Passport sign-in in all: the nexus and the login server
  int xfrWaitMs = 30000;    // the switchboard transfer after "XFR SB"
  int joinWaitMs = 30000;   // a recipient's JOI after CAL
};

// The failure of a readability wait; its text is the plain string the run logs.
class SocketWaitError : public Platform::Exception {
 public:
  using Platform::Exception::Exception;
  const std::string& Text() const noexcept { return Message(); }
};

struct SocketErrorEntry {
  int iCode;
  const char* asText;
};

// The fifty Winsock error texts, ordered by code.
const std::vector<SocketErrorEntry>& SocketErrorTable();

// context + ": " + the code's text (or "unknown error") + " (" + code + ")", at most 255
// characters; code 0 stands for the calling thread's last socket error.
std::string SocketErrorText(const std::string& context, int code);

// The texts of a failed send or receive, from the thread's last socket error.
inline std::string SendErrorText() {
  return SocketErrorText("Calling send()", 0);
}
inline std::string ReceiveErrorText() {
  return SocketErrorText("Calling recv()", 0);
}

// Resolves host to its first IPv4 address and connects within timeoutMs. Returns the
// socket, or -1 with the cause kept as the thread's last socket error.
int ConnectSocket(const std::string& host, int port, int timeoutMs);

// Waits at most waitMs for readability on set (or on the socket alone when set is null);
// true when the socket is ready. Raises SocketWaitError when the wait itself fails.
bool CheckForSocketData(int socket, const std::vector<int>* set = nullptr, int waitMs = 1000);

// One send of the whole text; the result of the send (below 1 on failure).
int SendText(int socket, const std::string& text);

// One receive of at most maxBytes, waiting at most timeoutMs for data. Returns the
// byte count, 0 when the peer has closed, -1 on failure or when the wait runs out
// (last socket error 10060). The bytes are appended to into, cut at a zero byte.
int ReceiveText(int socket, std::string& into, int maxBytes, int timeoutMs);

// Shuts down sending, drains what the peer still sends (at most drainMs) and closes.
// True when the peer closed in time (closing an open socket cannot fail). The socket is
// closed on every way out, so the caller may forget it.
bool CloseSocketGracefully(int socket, int drainMs = 10000);

}  // namespace msm
