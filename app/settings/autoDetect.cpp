#include "settings/autoDetect.h"

#include <optional>

#include "CommonCodeLite.h"

namespace auto_detect {

namespace {

using VIDodadaZadoVove::HKEY_CURRENT_USER;
using VIDodadaZadoVove::ReadFromRegistry;
using VIDodadaZadoVove::Variant;

constexpr int kText = 256;
constexpr int kNumber = 3;

// A value of the current user's registry read as the settings are: once to learn whether
// it is there, then again to convert it.
std::optional<Variant> ReadTwice(const std::string& key, const std::string& name, int code) {
  if (ReadFromRegistry(HKEY_CURRENT_USER, key, name, code, true, "").IsNull()) {
    return std::nullopt;
  }
  return ReadFromRegistry(HKEY_CURRENT_USER, key, name, code, true, "");
}

std::optional<std::string> ReadText(const std::string& key, const std::string& name) {
  const auto value = ReadTwice(key, name, kText);
  return value ? std::optional<std::string>(value->AsString()) : std::nullopt;
}

}  // namespace

Offer Decide(const std::string& current, const std::string& found) {
  if (found.empty()) {
    return Offer::Keep;
  }
  return current.empty() ? Offer::Fill : Offer::Ask;
}

std::string Question(const std::string& label, const std::string& found) {
  return "Replace the current '" + label + "' setting with: " + found + " ?";
}

HostPort SplitServer(const std::string& server) {
  const std::size_t semicolon = server.find(';');
  const std::size_t colon = server.find(':');
  return {semicolon == std::string::npos ? "" : server.substr(0, semicolon),
          colon == std::string::npos ? server : server.substr(colon + 1)};
}

Messenger FindMessenger() {
  Messenger found;
  if (const auto server = ReadText(kMessengerKey, "SERVER")) {
    const HostPort parts = SplitServer(*server);
    found.host = parts.host;
    found.port = parts.port;
  }
  if (const auto account = ReadText(kMessengerKey, "User.NET Messenger Service")) {
    found.account = *account;
  } else if (const auto msn = ReadText(kMessengerKey, "UserMSN Messenger Service")) {
    found.account = *msn;
  }
  return found;
}

Mail FindMail() {
  Mail found;
  for (const std::string& account :
       VIDodadaZadoVove::ReadKeysFromRegistry(HKEY_CURRENT_USER, kAccountsKey, true, "")) {
    const std::string key = std::string(kAccountsKey) + "\\" + account;
    if (const auto server = ReadText(key, "SMTP Server")) {
      found.found = true;
      found.server = *server;
      found.from = ReadText(key, "SMTP Email Address").value_or("");
      break;
    }
  }
  return found;
}

Proxy FindProxy() {
  Proxy found;
  const auto enable = ReadTwice(kInternetSettingsKey, "ProxyEnable", kNumber);
  found.enabled = enable && enable->AsInt() != 0;
  if (!found.enabled) {
    return found;
  }
  if (const auto server = ReadText(kInternetSettingsKey, "ProxyServer")) {
    found.hasServer = true;
    found.server = *server;
    found.port = PortOfProxyServer(*server);
  }
  return found;
}

std::string PortOfProxyServer(const std::string& server) {
  const std::size_t colon = server.rfind(':');
  if (colon == std::string::npos || server.find_first_of(";= ") != std::string::npos) {
    return "";
  }
  const std::string port = server.substr(colon + 1);
  const std::size_t bracket = server.rfind(']');
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != port.npos ||
      (bracket != std::string::npos && bracket > colon)) {
    return "";
  }
  return port;
}

}  // namespace auto_detect
