// Settings auto-detection: what other programs left in the current user's registry for
// the messenger, mail and proxy fields, and the rule by which a found value replaces a
// field. The window's buttons (formMainAutoDetect.cpp) ask and fill in.
#pragma once

#include <string>

namespace auto_detect {

inline constexpr const char* kMessengerKey = "SOFTWARE\\MICROSOFT\\MESSENGERSERVICE";
inline constexpr const char* kAccountsKey =
    "SOFTWARE\\MICROSOFT\\INTERNET ACCOUNT MANAGER\\ACCOUNTS";
inline constexpr const char* kInternetSettingsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// What to do with a field for a found value: nothing for an empty value, fill an empty
// field without asking, otherwise ask first.
enum class Offer { Keep, Fill, Ask };
Offer Decide(const std::string& current, const std::string& found);
// The question put before replacing a field's text.
std::string Question(const std::string& label, const std::string& found);

struct HostPort {
  std::string host;  // before the first ";", empty without one
  std::string port;  // after the first ":", the whole text without one
};
HostPort SplitServer(const std::string& server);

// Empty texts stand for what was not found.
struct Messenger {
  std::string host, port, account;
};
Messenger FindMessenger();

struct Mail {
  bool found = false;  // an account with an "SMTP Server" value
  std::string server, from;
};
Mail FindMail();

struct Proxy {
  bool enabled = false;  // "ProxyEnable" present and not 0
  bool hasServer = false;
  std::string server;  // "ProxyServer" as stored
  std::string port;    // from a "host:port" server text; empty otherwise
};
Proxy FindProxy();
// The port of a proxy address written "host:port"; empty for anything else, including
// the per-protocol form "http=host:port;https=host:port".
std::string PortOfProxyServer(const std::string& server);

}  // namespace auto_detect
