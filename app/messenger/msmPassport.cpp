// The Passport 1.4 sign-in of a messenger run: the nexus names the login server, which
// trades the account, password and challenge for a ticket.
#include <cstdlib>

#include "CommonCodeLite.h"
#include "Exceptions.h"
#include "classQSMSMessenger.h"
#include "settingsKeys.h"

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

bool thrQSMSMessenger::QueryPassportNexus() {
  // Our only request header of our own is the user agent; the client adds Host and the like.
  LogMsg("About to connect to: " + asPassportNexus_m + " with Raw headers: ");
  const msm::NexusAnswer answer =
      pNexusClient_m->Get(asPassportNexus_m, "MSMSGS", Timings_m.iReceiveMs);
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
  if (!QueryPassportNexus() || vecPassportURLs_m.size() < 2) {
    return ticket;
  }

  std::string address = "https://" + vecPassportURLs_m[1];
  // A server that keeps answering with statuses we do not know, or keeps redirecting, is
  // asked a bounded number of times.
  for (int request = 0; request < Timings_m.iMaxLoginRequests && !Terminated(); ++request) {
    try {
      const msm::LoginAddress login = msm::SplitLoginAddress(address);
      LogMsg("About to connect to Host: " + login.asHost + " URL: " + login.asPath +
             " ChallengeString: " + challenge);
      pLoginConn_m.reset();
      pLoginConn_m = std::make_unique<msm::TlsLineClient>(*pSSL_m, login.asHost, login.iPort,
                                                          Timings_m.iReceiveMs);
      for (const std::string& line : msm::LoginRequestLines(login, signIn, password, challenge)) {
        pLoginConn_m->WriteLine(line);
      }
      pLoginConn_m->WriteLine("");

      const std::string status = pLoginConn_m->ReadLine();
      LogMsg("Server returned: [" + status + "]");
      auto readLine = [this] {
        const std::string line = pLoginConn_m->ReadLine();
        LogMsg("More data from server: " + line);
        return line;
      };
      if (status.find("HTTP/1.1 302") != std::string::npos) {
        LogMsg("In response section #1");
        bool moved = false;
        for (std::string line = readLine(); !line.empty(); line = readLine()) {
          if (line.rfind("Location: ", 0) == 0) {
            address = line.substr(10);
            moved = true;
            break;
          }
        }
        if (!moved) {
          return ticket;
        }
        continue;
      }
      if (status.find("HTTP/1.1 200") != std::string::npos) {
        LogMsg("In response section #2");
        for (std::string line = readLine(); !line.empty(); line = readLine()) {
          if (line.rfind("Authentication-Info: ", 0) == 0) {
            ticket = msm::TicketFromAuthenticationInfo(line);
            break;
          }
        }
        return ticket;
      }
      if (status.find("HTTP/1.1 400") != std::string::npos) {
        LogMsg("In response section #3");
        for (std::string line = readLine(); !line.empty(); line = readLine()) {
        }
        return ticket;
      }
      if (status.find("HTTP/1.1 401") != std::string::npos) {
        LogMsg("In response section #4");
        return "401";
      }
      LogMsg("In response section #5");
    } catch (const std::exception& e) {
      LogMsg("Error: " + std::string(e.what()) + " in [thrQSMSMessenger::GetClientTicket]");
      return ticket;
    }
  }
  return ticket;
}
