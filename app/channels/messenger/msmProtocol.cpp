#include "channels/messenger/msmProtocol.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "CommonCodeLite.h"
#include "DateTime.h"
#include "Exceptions.h"

namespace msm {

namespace {

struct ErrorName {
  int iCode;
  const char* asName;
};

constexpr ErrorName kErrorNames[] = {
    {200, "ERR_SYNTAX_ERROR"},
    {201, "ERR_INVALID_PARAMETER"},
    {205, "ERR_INVALID_USER"},
    {206, "ERR_FQDN_MISSING"},
    {207, "ERR_ALREADY_LOGIN"},
    {208, "ERR_INVALID_USERNAME"},
    {209, "ERR_INVALID_FRIENDLY_NAME"},
    {210, "ERR_LIST_FULL"},
    {215, "ERR_ALREADY_THERE"},
    {216, "ERR_NOT_ON_LIST"},
    {217, "ERR_NOT_ONLINE_OR_AVAILABLE"},
    {218, "ERR_ALREADY_IN_THE_MODE"},
    {219, "ERR_ALREADY_IN_OPPOSITE_LIST"},
    {280, "ERR_SWITCHBOARD_FAILED"},
    {281, "ERR_NOTIFY_XFR_FAILED"},
    {300, "ERR_REQUIRED_FIELDS_MISSING"},
    {302, "ERR_NOT_LOGGED_IN"},
    {500, "ERR_INTERNAL_SERVER"},
    {501, "ERR_DB_SERVER"},
    {510, "ERR_FILE_OPERATION"},
    {520, "ERR_MEMORY_ALLOC"},
    {600, "ERR_SERVER_BUSY"},
    {601, "ERR_SERVER_UNAVAILABLE"},
    {602, "ERR_PEER_NS_DOWN"},
    {603, "ERR_DB_CONNECT"},
    {604, "ERR_SERVER_GOING_DOWN"},
    {707, "ERR_CREATE_CONNECTION"},
    {711, "ERR_BLOCKING_WRITE"},
    {712, "ERR_SESSION_OVERLOAD"},
    {713, "ERR_USER_TOO_ACTIVE"},
    {714, "ERR_TOO_MANY_SESSIONS"},
    {715, "ERR_NOT_EXPECTED"},
    {717, "ERR_BAD_FRIEND_FILE"},
    {911, "ERR_AUTHENTICATION_FAILED"},
    {913, "ERR_NOT_ALLOWED_WHEN_OFFLINE"},
    {920, "ERR_NOT_ACCEPTING_NEW_USERS"},
};

// The OrgURL value of the login request: the messenger service's web site, encoded.
constexpr const char* kOrgUrl = "http%3A%2F%2Fmessenger%2Emsn%2Ecom";

HostPort ParseAddressAt(const std::string& text) {
  HostPort result;
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) {
    result.asHost.clear();
    result.iPort = 1863;
    return result;
  }
  const std::size_t blank = text.rfind(' ', colon);
  const std::size_t hostStart = blank == std::string::npos ? 0 : blank + 1;
  result.asHost = text.substr(hostStart, colon - hostStart);
  const std::size_t portEnd = text.find(' ', colon + 1);
  if (portEnd == std::string::npos) {
    throw Platform::Exception("No blank after the port in: " + text.substr(colon + 1));
  }
  result.iPort = Platform::StrToInt(text.substr(colon + 1, portEnd - colon - 1));
  return result;
}

}  // namespace

std::string MSMErrorName(int code) {
  for (const ErrorName& entry : kErrorNames) {
    if (entry.iCode == code) {
      return entry.asName;
    }
  }
  return {};
}

MsmError ParseMSMError(const std::string& text) {
  MsmError result;
  if (text.size() < 3) {
    return result;
  }
  const std::string digits = text.substr(0, 3);
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return result;
  }
  result.iCode = std::stoi(digits);
  result.asName = MSMErrorName(result.iCode);
  return result;
}

HostPort ParseXferAddress(const std::string& text) {
  return ParseAddressAt(text);
}

HostPort ParseSBXferAddress(const std::string& text) {
  const std::size_t xfr = text.find("XFR", 1);
  return ParseAddressAt(xfr == std::string::npos ? text : text.substr(xfr));
}

std::string SwitchboardCookie(const std::string& reply, bool& found) {
  const std::size_t cki = reply.find("CKI ");
  found = cki != std::string::npos;
  if (!found) {
    return {};
  }
  const std::size_t start = cki + 4;
  const std::size_t cr = reply.find('\r', start);
  return cr == std::string::npos ? std::string() : reply.substr(start, cr - start);
}

std::vector<std::string> SplitRecipients(std::string text) {
  std::vector<std::string> items;
  std::size_t semicolon;
  while ((semicolon = text.find(';')) != std::string::npos) {
    items.push_back(text.substr(0, semicolon));
    text.erase(0, semicolon + 1);
  }
  if (!text.empty()) {
    items.push_back(text);
  }
  return items;
}

std::string ChallengeFromReply(const std::string& reply) {
  const std::vector<std::string> words =
      VIDodadaZadoVove::GetDelimitedValues(reply, " ", -1, -1, false, true, false);
  if (words.size() < 5) {
    throw Platform::Exception("Error paring Challenge Auth Key!");
  }
  const std::string& fifth = words[4];
  return fifth.substr(0, fifth.find('\r'));
}

std::vector<std::string> NexusValues(const std::string& headerText) {
  std::vector<std::string> values;
  for (const std::string& item :
       VIDodadaZadoVove::GetDelimitedValues(headerText, ",", -1, -1, false, true, false)) {
    const std::size_t equals = item.find('=');
    if (equals != std::string::npos) {
      values.push_back(item.substr(equals + 1));
    }
  }
  return values;
}

std::string NexusLoginServer(const std::string& headerText) {
  std::string login;
  bool named = false;
  std::vector<std::string> values;
  for (const std::string& item :
       VIDodadaZadoVove::GetDelimitedValues(headerText, ",", -1, -1, false, true, false)) {
    const std::size_t equals = item.find('=');
    if (equals == std::string::npos) {
      continue;
    }
    values.push_back(item.substr(equals + 1));
    // The name is the last word before the "=": the first item also carries the header's
    // own name ("PassportURLs: DALogin").
    std::string name = item.substr(0, equals);
    const std::size_t cut = name.find_last_of(" \t:\r\n");
    if (cut != std::string::npos) {
      name.erase(0, cut + 1);
    }
    if (!named && name.size() == 7 &&
        std::equal(name.begin(), name.end(), "dalogin", [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == b;
        })) {
      login = values.back();
      named = true;
    }
  }
  if (!named && values.size() >= 2) {
    login = values[1];
  }
  // A value that ends the header line runs on into the lines after it.
  login.erase(std::min(login.size(), login.find_first_of("\r\n")));
  const std::size_t scheme = login.find("://");
  if (scheme != std::string::npos) {
    login.erase(0, scheme + 3);
  }
  return login;
}

bool HoldsLineBreak(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::string DurationText(int milliseconds) {
  if (milliseconds % 60000 == 0 && milliseconds >= 120000) {
    return std::to_string(milliseconds / 60000) + " minutes";
  }
  if (milliseconds % 1000 == 0) {
    return std::to_string(milliseconds / 1000) + (milliseconds == 1000 ? " second" : " seconds");
  }
  return std::to_string(milliseconds) + " ms";
}

LoginAddress SplitLoginAddress(const std::string& address) {
  LoginAddress result;
  std::string rest = address;
  const std::size_t scheme = rest.find("://");
  if (scheme != std::string::npos) {
    rest.erase(0, scheme + 3);
  }
  const std::size_t slash = rest.find('/');
  std::string host = rest;
  if (slash != std::string::npos) {
    result.asPath = rest.substr(slash);
    host = rest.substr(0, slash);
  }
  result.asHostLine = host;
  const std::size_t colon = host.find(':');
  if (colon != std::string::npos) {
    result.iPort = Platform::StrToInt(host.substr(colon + 1));
    host.erase(colon);
    if (result.iPort == 443) {
      result.asHostLine = host;
    }
  }
  result.asHost = host;
  return result;
}

std::string PassportAccount(const std::string& account) {
  std::string result = account;
  const std::size_t at = result.find('@');
  if (at != std::string::npos) {
    result.replace(at, 1, "%40");
  }
  return result;
}

std::vector<std::string> LoginRequestLines(const LoginAddress& address, const std::string& account,
                                           const std::string& password,
                                           const std::string& challenge) {
  return {
      "GET " + address.asPath + " HTTP/1.1",
      std::string("Authorization: Passport1.4 OrgVerb=GET,OrgURL=") + kOrgUrl +
          ",sign-in=" + account + ",pwd=" + password + "," + challenge,
      "User-Agent: MSMSGS",
      "Host: " + address.asHostLine,
      "Connection: Keep-Alive",
      "Cache-Control: no-cache",
  };
}

std::string TicketFromAuthenticationInfo(const std::string& line) {
  const std::string marker = "from-PP='";
  const std::size_t at = line.find(marker);
  if (at == std::string::npos) {
    return line;
  }
  const std::size_t start = at + marker.size();
  const std::size_t quote = line.find('\'', start);
  return quote == std::string::npos ? line.substr(start) : line.substr(start, quote - start);
}

std::string MessagePayload(const std::string& text) {
  return "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\n" + text;
}

}  // namespace msm
