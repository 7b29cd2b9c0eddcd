// The messenger's reading of server replies and the texts it builds from them, as pure
// functions: error codes, redirect and switchboard addresses, the challenge, the
// recipients, and the pieces of the Passport exchange.
#pragma once

#include <string>
#include <vector>

namespace msm {

struct MsmError {
  int iCode = 0;
  std::string asName;  // empty for a code the table does not know
};

// The reply's first three characters as a decimal code, 0 when they are not one.
MsmError ParseMSMError(const std::string& text);
// The error name of a notification-server or switchboard code, empty when unknown.
std::string MSMErrorName(int code);

struct HostPort {
  std::string asHost;
  int iPort = 1863;
};

// The first "host:port " of a redirect; without a colon the host is empty and the port
// 1863. Raises Platform::Exception when the port is not a number followed by a blank.
HostPort ParseXferAddress(const std::string& text);
// The same for a switchboard transfer, after dropping whatever precedes its "XFR".
HostPort ParseSBXferAddress(const std::string& text);

// The cookie after "CKI " up to the next CR (empty without a CR); found tells whether
// the reply holds "CKI " at all.
std::string SwitchboardCookie(const std::string& reply, bool& found);

// The accounts split at every ";"; empty items kept, nothing trimmed, no item for an
// empty rest.
std::vector<std::string> SplitRecipients(std::string text);

// The fifth blank-separated word of "USR id TWN S challenge", cut before its CR.
// Raises Platform::Exception("Error paring Challenge Auth Key!") when there is none.
std::string ChallengeFromReply(const std::string& reply);

// The nexus header text's values: the part after the first "=" of every ","-separated
// item that holds one.
std::vector<std::string> NexusValues(const std::string& headerText);

// The login server's address in the nexus header text: the value named DALogin (in any
// letter case) when there is one, else the second value; cut before a line end, without
// a scheme before "://". Empty when the answer names none.
std::string NexusLoginServer(const std::string& headerText);

// True when the text holds a CR, an LF or a zero byte, any of which would end a command
// or a header line early on the wire.
bool HoldsLineBreak(const std::string& text);

// A wait in words for the log: "30 seconds", "2 minutes", or "250 ms" when it is not a
// whole number of seconds.
std::string DurationText(int milliseconds);

struct LoginAddress {
  std::string asHost;  // without the port
  int iPort = 443;
  std::string asHostLine;  // what the Host line carries: the host, and a port other than 443
  std::string asPath;
};
// "https://host[:port]/path" or "host[:port]/path"; raises Platform::Exception when the
// port is not a number.
LoginAddress SplitLoginAddress(const std::string& address);

// The account as the login server expects it: its first "@" written "%40".
std::string PassportAccount(const std::string& account);

// The request to the login server, one text per line, the empty closing line excluded.
std::vector<std::string> LoginRequestLines(const LoginAddress& address, const std::string& account,
                                           const std::string& password,
                                           const std::string& challenge);

// The ticket held by an "Authentication-Info: " line: the text inside from-PP='...', or
// the whole line when it has no from-PP='.
std::string TicketFromAuthenticationInfo(const std::string& line);

// The switchboard payload of one message text, and the MSG command that carries it.
std::string MessagePayload(const std::string& text);

}  // namespace msm
