#include "settings/linuxSettingsSources.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <sstream>
#include <vector>

#include "RegularFile.h"

namespace linux_sources {

namespace {

// Configuration files are small; anything larger is not one and is not read whole.
constexpr std::size_t kMaxConfigSize = 1024 * 1024;

std::string Trim(const std::string& s) {
  const std::size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) {
    return "";
  }
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return s;
}

bool AllDigits(const std::string& s) {
  return !s.empty() && s.size() <= 5 && s.find_first_not_of("0123456789") == std::string::npos &&
         std::stoi(s) > 0 && std::stoi(s) <= 65535;
}

// A configuration file's text; nothing when it is absent or is no file to read, which
// is noted in problems: a FIFO or a link to a device in its place must not stall or
// swell the program.
std::optional<std::string> ReadFile(const std::string& path, std::vector<std::string>* problems) {
  Platform::FileRead file = Platform::ReadRegularFile(path, kMaxConfigSize);
  if (file.Ok()) {
    return std::move(file.bytes);
  }
  if (file.status != Platform::FileReadStatus::Missing && problems != nullptr) {
    problems->push_back(file.message);
  }
  return std::nullopt;
}

std::string ConfigHome(const Environment& env) {
  if (const auto xdg = env("XDG_CONFIG_HOME"); xdg && !xdg->empty()) {
    return *xdg;
  }
  const auto home = env("HOME");
  return home && !home->empty() ? *home + "/.config" : "";
}

// An msmtp argument: the rest of the line, without the quotes around it.
std::string MsmtpArgument(const std::string& rest) {
  const std::string arg = Trim(rest);
  if (arg.size() >= 2 && arg.front() == '"' && arg.back() == '"') {
    return arg.substr(1, arg.size() - 2);
  }
  return arg;
}

}  // namespace

Environment ProcessEnvironment() {
  return [](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
  };
}

std::optional<Proxy> ParseProxy(const std::string& value) {
  std::string rest = Trim(value);
  if (const std::size_t scheme = rest.find("://"); scheme != std::string::npos) {
    rest.erase(0, scheme + 3);
  }
  rest = rest.substr(0, rest.find('/'));
  if (const std::size_t at = rest.rfind('@'); at != std::string::npos) {
    rest.erase(0, at + 1);
  }
  Proxy proxy;
  const std::size_t bracket = rest.rfind(']');  // an IPv6 address: [::1]:3128
  const std::size_t colon = rest.rfind(':');
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    proxy.host = rest.substr(0, colon);
    proxy.port = rest.substr(colon + 1);
    if (!AllDigits(proxy.port)) {
      return std::nullopt;
    }
  } else {
    proxy.host = rest;
  }
  if (proxy.host.empty() || proxy.host.find_first_of(" \t") != std::string::npos) {
    return std::nullopt;
  }
  return proxy;
}

std::optional<Proxy> ProxyFromEnvironment(const Environment& env) {
  for (const char* name : {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY"}) {
    if (const auto value = env(name); value && !Trim(*value).empty()) {
      return ParseProxy(*value);
    }
  }
  return std::nullopt;
}

Mail ParseMsmtp(const std::string& text) {
  using Settings = std::map<std::string, std::string>;
  Settings defaults;
  std::map<std::string, Settings> accounts;
  Settings* current = nullptr;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line.front() == '#') {
      continue;
    }
    const std::size_t space = line.find_first_of(" \t");
    const std::string command = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    if (command == "defaults") {
      current = &defaults;
    } else if (command == "account") {
      // "account NAME" or "account NAME : PARENT[, PARENT...]": defaults first, then the
      // parents in order, then the account's own lines.
      const std::size_t colon = rest.find(':');
      const std::string name = Trim(rest.substr(0, colon));
      Settings settings = defaults;
      if (colon != std::string::npos) {
        std::istringstream parents(rest.substr(colon + 1));
        std::string parent;
        while (std::getline(parents, parent, ',')) {
          if (const auto found = accounts.find(Trim(parent)); found != accounts.end()) {
            for (const auto& [key, value] : found->second) {
              settings[key] = value;
            }
          }
        }
      }
      accounts[name] = std::move(settings);
      current = &accounts[name];
    } else if (current != nullptr &&
               (command == "host" || command == "from" || command == "port" || command == "user" ||
                command == "tls" || command == "tls_starttls")) {
      (*current)[command] = MsmtpArgument(rest);
    }
  }
  const auto chosen = accounts.find("default");
  if (chosen == accounts.end()) {
    return {};
  }
  Settings& s = chosen->second;
  Mail mail{s["host"], s["from"], s["port"], s["user"]};
  if (!AllDigits(mail.port)) {
    mail.port.clear();
  }
  // "tls" alone means on; STARTTLS is msmtp's own default once TLS is on.
  const auto on = [&s](const char* key) {
    const auto found = s.find(key);
    return found == s.end() ? std::optional<bool>() : found->second != "off";
  };
  if (const auto tls = on("tls")) {
    mail.security = !*tls ? 0 : on("tls_starttls").value_or(true) ? 1 : 2;
  }
  return mail;
}

Mail ParseGitSendEmail(const std::string& text, Mail base) {
  bool inSendEmail = false;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';') {
      continue;
    }
    if (line.front() == '[') {
      // [sendemail] only; [sendemail "identity"] belongs to one identity.
      const std::string section = Lower(Trim(line.substr(1, line.find(']') - 1)));
      inSendEmail = section == "sendemail";
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inSendEmail || equals == std::string::npos) {
      continue;
    }
    const std::string key = Lower(Trim(line.substr(0, equals)));
    // The value: quoted parts lose their quotes, \" \\ \t \n are escapes, and an
    // unquoted # or ; starts a comment.
    std::string value;
    bool quoted = false;
    const std::string raw = Trim(line.substr(equals + 1));
    for (std::size_t i = 0; i < raw.size(); ++i) {
      const char c = raw[i];
      if (c == '"') {
        quoted = !quoted;
      } else if (c == '\\' && i + 1 < raw.size()) {
        const char e = raw[++i];
        value += e == 't' ? '\t' : e == 'n' ? '\n' : e;
      } else if (!quoted && (c == '#' || c == ';')) {
        break;
      } else {
        value += c;
      }
    }
    value = Trim(value);
    if (key == "smtpserver") {
      base.server = value.empty() || value.front() == '/' ? "" : value;
    } else if (key == "from") {
      base.from = value;
    } else if (key == "smtpserverport") {
      base.port = AllDigits(value) ? value : "";
    } else if (key == "smtpuser") {
      base.user = value;
    } else if (key == "smtpencryption") {
      const std::string encryption = Lower(value);
      base.security = encryption == "tls" ? 1 : encryption == "ssl" ? 2 : 0;
    }
  }
  return base;
}

Mail MailFromFiles(const Environment& env, std::vector<std::string>* problems) {
  const std::string configHome = ConfigHome(env);
  const auto home = env("HOME");
  const std::string homeDir = home ? *home : "";
  std::optional<std::string> msmtp;
  if (!configHome.empty()) {
    msmtp = ReadFile(configHome + "/msmtp/config", problems);
  }
  if (!msmtp && !homeDir.empty()) {
    msmtp = ReadFile(homeDir + "/.msmtprc", problems);
  }
  if (msmtp) {
    Mail mail = ParseMsmtp(*msmtp);
    if (!mail.server.empty()) {
      return mail;
    }
  }
  Mail git;
  if (!configHome.empty()) {
    if (const auto text = ReadFile(configHome + "/git/config", problems)) {
      git = ParseGitSendEmail(*text, git);
    }
  }
  if (!homeDir.empty()) {
    if (const auto text = ReadFile(homeDir + "/.gitconfig", problems)) {
      git = ParseGitSendEmail(*text, git);
    }
  }
  return git.server.empty() ? Mail{} : git;
}

}  // namespace linux_sources
