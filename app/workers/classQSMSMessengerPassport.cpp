// The Passport 1.4 sign-in of a messenger run: the nexus names the login server, which
// trades the account, password and challenge for a ticket.
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "CommonCodeLite.h"
#include "Exceptions.h"
#include "settings/settingsKeys.h"
#include "workers/classQSMSMessenger.h"

std::string MessengerPassportNexus() {
  if (const char* fromEnvironment = std::getenv("QS_PASSPORT_NEXUS");
      fromEnvironment != nullptr && *fromEnvironment != '\0') {
    return fromEnvironment;
  }
  const VIDodadaZadoVove::Variant stored = VIDodadaZadoVove::ReadFromRegistry(
      VIDodadaZadoVove::HKEY_CURRENT_USER, kSettingsKey, "PassportNexus", 256, true, "");
  if (!stored.IsNull() && !stored.AsString().empty()) {
    return stored.AsString();
  }
  return thrQSMSMessenger::kDefaultPassportNexus;
}

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
}

}  // namespace

std::string thrQSMSMessenger::PassportTimeoutText() const {
  return "The Passport sign-in took longer than " + msm::DurationText(timings_.passportMs);
}

bool thrQSMSMessenger::QueryPassportNexus(Clock::time_point deadline, std::string& loginServer) {
  // Our only request header of our own is the user agent; the client adds Host and the like.
  LogMsg("About to connect to: " + passportNexus_ + " with Raw headers: ");
  // libcurl reads a limit of 0 as none at all.
  const int limit = std::max(1, std::min(timings_.receiveMs, MillisecondsLeft(deadline)));
  msm::NexusAnswer answer;
  try {
    answer = pNexusClient_m->Get(passportNexus_, "MSMSGS", limit);
  } catch (const Platform::Exception& e) {
    if (MillisecondsLeft(deadline) == 0) {
      throw Platform::Exception(PassportTimeoutText() + " (the nexus: " + e.Message() + ")");
    }
    throw;
  }
  std::string headers;
  for (const std::string& line : answer.vecHeaders) {
    headers += line + "\r\n";
  }
  LogMsg("Recieved headers: " + headers + " Response text: " + answer.asStatusLine);
  if (answer.iStatus != 200 || headers.empty()) {
    return false;
  }
  for (const std::string& value : msm::NexusValues(headers)) {
    vecPassportURLs_m.push_back(value);
  }
  loginServer = msm::NexusLoginServer(headers);
  return true;
}

std::string thrQSMSMessenger::GetClientTicket(const std::string& password,
                                              const std::string& account,
                                              const std::string& challenge) {
  const std::string signIn = msm::PassportAccount(account);
  std::string ticket;
  if (pSSL_m == nullptr || pNexusClient_m == nullptr) {
    throw Platform::Exception("The TLS library could not be set up");
  }
  // The nexus and the login server together: a server that trickles its answer gets no
  // more than this.
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timings_.passportMs);
  std::string loginServer;
  if (!QueryPassportNexus(deadline, loginServer) || loginServer.empty()) {
    // An empty ticket would only be refused after a long wait.
    Abort("The Passport nexus named no login server; the sign-in stops here.");
  }

  std::string address = "https://" + loginServer;
  // A server that keeps answering with statuses we do not know, or keeps redirecting, is
  // asked a bounded number of times.
  for (int request = 0; request < timings_.maxLoginRequests && !Terminated(); ++request) {
    // The address and the challenge come from servers: a line end in either would add
    // lines of their choosing to the request that carries the password.
    if (msm::HoldsLineBreak(address) || msm::HoldsLineBreak(challenge)) {
      Abort(
          "The Passport login request would hold a line break from a server's answer; "
          "nothing was sent.");
    }
    try {
      if (RequestTicket(address, signIn, password, challenge, deadline, ticket)) {
        return ticket;
      }
    } catch (const msm::DeadlineExceeded& e) {
      Abort("Error: " + PassportTimeoutText() + " (" + e.Message() +
            ") in [thrQSMSMessenger::GetClientTicket]");
    } catch (const Platform::EAbort&) {
      throw;
    } catch (const std::exception& e) {
      LogMsg("Error: " + std::string(e.what()) + " in [thrQSMSMessenger::GetClientTicket]");
      return ticket;
    }
  }
  return ticket;
}

bool thrQSMSMessenger::RequestTicket(std::string& address, const std::string& signIn,
                                     const std::string& password, const std::string& challenge,
                                     Clock::time_point deadline, std::string& ticket) {
  const msm::LoginAddress login = msm::SplitLoginAddress(address);
  LogMsg("About to connect to Host: " + login.asHost + " URL: " + login.asPath +
         " ChallengeString: " + challenge);
  pLoginConn_m.reset();
  pLoginConn_m = std::make_unique<msm::TlsLineClient>(*pSSL_m, login.asHost, login.iPort,
                                                      timings_.receiveMs, deadline);
  for (const std::string& line : msm::LoginRequestLines(login, signIn, password, challenge)) {
    pLoginConn_m->WriteLine(line);
  }
  pLoginConn_m->WriteLine("");

  const std::string status = pLoginConn_m->ReadLine();
  LogMsg("Server returned: [" + status + "]");
  auto readLine = [this] {
    const std::string line = pLoginConn_m->ReadLine();
    // The ticket is a credential: the log never shows it, from its first line on.
    if (line.rfind("Authentication-Info: ", 0) == 0) {
      HideInLog(msm::TicketFromAuthenticationInfo(line));
    }
    LogMsg("More data from server: " + line);
    return line;
  };
  if (status.find("HTTP/1.1 302") != std::string::npos) {
    LogMsg("In response section #1");
    for (std::string line = readLine(); !line.empty(); line = readLine()) {
      if (line.rfind("Location: ", 0) == 0) {
        address = line.substr(10);
        return false;
      }
    }
    return true;
  }
  if (status.find("HTTP/1.1 200") != std::string::npos) {
    LogMsg("In response section #2");
    for (std::string line = readLine(); !line.empty(); line = readLine()) {
      if (line.rfind("Authentication-Info: ", 0) == 0) {
        ticket = msm::TicketFromAuthenticationInfo(line);
        break;
      }
    }
    return true;
  }
  if (status.find("HTTP/1.1 400") != std::string::npos) {
    LogMsg("In response section #3");
    for (std::string line = readLine(); !line.empty(); line = readLine()) {
    }
    return true;
  }
  if (status.find("HTTP/1.1 401") != std::string::npos) {
    LogMsg("In response section #4");
    ticket = "401";
    return true;
  }
  LogMsg("In response section #5");
  return false;
}
