#include "workers/classQSMSMessenger.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "Exceptions.h"
#include "SocketError.h"
#include "workers/classQSEmail.h"
#include "workers/workerLog.h"

namespace {

using Clock = std::chrono::steady_clock;

// How the log shows a secret, as the delivery log shows the passwords.
const std::string kMask = "********";

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

thrQSMSMessenger::thrQSMSMessenger(Platform::MessageTarget* mainWindow) {
  try {
    mainWindow_ = mainWindow;
    pSSL_m = std::make_unique<msm::TlsContext>();
    pNexusClient_m = std::make_unique<msm::NexusClient>();
  } catch (const std::exception& e) {
    ReportInternalError("thrQSMSMessenger::thrQSMSMessenger", e.what());
  }
}

thrQSMSMessenger::~thrQSMSMessenger() {
  TerminateAndWait();
  // A worker stopped before its end may still hold connections.
  for (int* socket : {&iSBSocket_m, &iNSSocket_m}) {
    if (*socket >= 0) {
      msm::CloseSocketGracefully(*socket, 0);
    }
  }
}

void thrQSMSMessenger::Setup(const std::string& MSMHost, int MSMPort,
                             const std::string& FromAccount, const std::string& Password,
                             const std::string& ToAccounts, const std::string& Message,
                             int Attempts, Platform::MessageTarget* LogWnd, int iLogMsg) {
  try {
    asMSMHost_m = MSMHost;
    iMSMPort_m = MSMPort;
    asFromAccount_m = FromAccount;
    asPassword_m = Password;
    asToAccounts_m = ToAccounts;
    iAttempts_m = Attempts;
    hLogWnd_m = LogWnd;
    iLogMsg_m = iLogMsg;
    vecMessages_m.push_back(Message);
  } catch (const std::exception& e) {
    ReportInternalError("thrQSMSMessenger::Setup", e.what());
  }
}

void thrQSMSMessenger::LogMsg(const std::string& text) {
  if (secrets_.empty()) {
    SendWorkerLogLine(hLogWnd_m, iLogMsg_m, text);
    return;
  }
  std::string masked = text;
  for (const std::string& secret : secrets_) {
    for (std::size_t at = masked.find(secret); at != std::string::npos;
         at = masked.find(secret, at + kMask.size())) {
      masked.replace(at, secret.size(), kMask);
    }
  }
  SendWorkerLogLine(hLogWnd_m, iLogMsg_m, masked);
}

void thrQSMSMessenger::HideInLog(const std::string& secret) {
  if (!secret.empty() && std::find(secrets_.begin(), secrets_.end(), secret) == secrets_.end()) {
    secrets_.push_back(secret);
  }
}

bool thrQSMSMessenger::SettingsFitOnOneLine() {
  const std::pair<const char*, const std::string*> settings[] = {
      {"Host", &asMSMHost_m},
      {"From", &asFromAccount_m},
      {"Password", &asPassword_m},
      {"To", &asToAccounts_m},
  };
  bool fit = true;
  for (const auto& [name, value] : settings) {
    if (msm::HoldsLineBreak(*value)) {
      // Never the value itself: it may be the password.
      LogFailure(std::string("The messenger setting ") + name +
                 " holds a line break; nothing was sent");
      fit = false;
    }
  }
  return fit;
}

void thrQSMSMessenger::ReportInternalError(const char* method,
                                           const std::string& message) noexcept {
  try {
    if (mainWindow_ == nullptr) {
      return;
    }
    const std::string text = Platform::Format("Problem in [%s] msg: %s", method, message.c_str());
    mainWindow_->SendMessage(WM_INTERNAL_ERROR, reinterpret_cast<std::uintptr_t>(text.c_str()), 0);
  } catch (...) {
    // A report that cannot be delivered is dropped; the method carries on.
  }
}

void thrQSMSMessenger::Execute() {
  // Clears the flag and says goodbye on every way out, the set-up guard included.
  struct EndOfRun {
    thrQSMSMessenger& self;
    ~EndOfRun() {
      self.bRunning_m.store(false);
      try {
        self.LogMsg("======== ENDING [thrQSMSMessenger::Execute] ============");
      } catch (...) {
      }
    }
  } endOfRun{*this};

  LogMsg("======== STARTING [thrQSMSMessenger::Execute] ============");
  if (asMSMHost_m.empty() || iMSMPort_m < 1 || asFromAccount_m.empty() || asPassword_m.empty() ||
      asToAccounts_m.empty() || vecMessages_m.empty()) {
    LogMsg("In [thrQSMSMessenger::Execute] thread ERROR - not properly setup!");
    throw Platform::Exception(kSetupFirstError);
  }
  if (!SettingsFitOnOneLine()) {
    return;
  }
  LogMsg("In [thrQSMSMessenger::Execute] Attempting to Send an MSM Message on Host: " +
         asMSMHost_m + " Port: " + std::to_string(iMSMPort_m));

  // A server that closes while we write must not end the program: this thread takes no
  // SIGPIPE, and a pending one is dropped with the thread.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

  bool retry = false;
  for (int run = 1; run <= 3; ++run) {
    if (run > 1 && (!retry || Terminated())) {
      break;
    }
    retry = false;
    try {
      RunSession(retry);
    } catch (const msm::SocketWaitError& e) {
      LogFailure("MSM Internal error char *: " + e.Text());
      break;
    } catch (const Platform::EAbort&) {
      LogMsg("MSM Internal error EABORT was caught (actual errors above this line).");
      break;
    } catch (const std::exception& e) {
      LogFailure("MSM Internal error: " + std::string(e.what()));
      break;
    } catch (...) {
      LogFailure("UNKNOWN MSM Internal error.");
      break;
    }
  }
  CloseConnections();
  LogMsg("Finished with operation, disconnected from MSM.");
  if (delivered_) {
    failure_.clear();
  } else if (failure_.empty()) {
    failure_ = "Stopped before the message went out.";
  }
}

void thrQSMSMessenger::LogFailure(const std::string& line) {
  failure_ = line;
  LogMsg(line);
}

void thrQSMSMessenger::Abort(const std::string& line) {
  LogFailure(line);
  throw Platform::EAbort();
}

void thrQSMSMessenger::Pause(int milliseconds) {
  const Clock::time_point start = Clock::now();
  while (!Terminated() && MillisecondsSince(start) < milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(20, milliseconds)));
  }
}

void thrQSMSMessenger::RunSession(bool& retry) {
  int trId = 0;
  const std::string reply = SignIn(trId);

  const std::string challenge = msm::ChallengeFromReply(reply);
  LogMsg("Parsed asChallengeString: [" + challenge + "]");
  const std::string ticket = GetClientTicket(asPassword_m, asFromAccount_m, challenge);
  LogMsg("ClientTicket returned: [" + ticket + "]");
  if (ticket == "401") {
    throw Platform::Exception("SSL Authenitcation returned: " + ticket);
  }

  ++trId;
  const std::string secure = Platform::Format("USR %d TWN S %s\r\n", trId, ticket.c_str());
  LogMsg("Sending secure login command [" + secure + "]");
  const std::string answer =
      Exchange(iNSSocket_m, secure,
               {"Error sending Challenge string: ", "SUCCESS sending Challenge string.",
                "Error receiving TWN response: ", "SUCCESS receiving TWN response: "});
  if (answer.find("OK") == std::string::npos) {
    const msm::MsmError error = GetMSMError(answer);
    LogFailure("Invalid Login to MSM, msg: " + error.asName);
    if (error.iCode == 911) {
      CloseConnections();
      Pause(timings_.retryPauseMs);
      retry = true;
      LogMsg("About to retry authentication ...");
    }
    return;
  }

  LogMsg("SUCCESS during Login.");
  ++trId;
  // The capabilities number is sent as 0 rather than the bare "CHG %d NLN\r\n": today's
  // servers ignore a status change without one and then refuse the switchboard with 913.
  Exchange(iNSSocket_m, Platform::Format("CHG %d NLN 0\r\n", trId),
           {"Error sending CHG cmd: ", "SUCCESS sending CHG cmd.",
            "Error receiving CHG cmd response: ", "SUCCESS receiving CHG cmd response: "});

  DeliverThroughSwitchboard(trId);
}

std::string thrQSMSMessenger::Exchange(int socket, const std::string& command,
                                       const StepTexts& says) {
  if (msm::SendText(socket, command) < 1) {
    Abort(says.sendFailed + msm::SendErrorText());
  }
  LogMsg(says.sent);
  std::string answer;
  if (msm::ReceiveText(socket, answer, 5000, timings_.receiveMs) < 1) {
    Abort(says.receiveFailed + msm::ReceiveErrorText());
  }
  LogMsg(says.received + answer);
  return answer;
}

std::string thrQSMSMessenger::SignIn(int& trId) {
  std::string reply;
  for (int attempt = 1; attempt <= 3 && !Terminated(); ++attempt) {
    for (int count = 1; count <= iAttempts_m && !Terminated(); ++count) {
      LogMsg("In [thrQSMSMessenger::Execute] before ConnectToHost() iConnectCount: " +
             std::to_string(count));
      iNSSocket_m = ConnectToHost(asMSMHost_m, iMSMPort_m);
      LogMsg("In [thrQSMSMessenger::Execute] after ConnectToHost() iConnectCount: " +
             std::to_string(count));
      if (iNSSocket_m >= 0) {
        break;
      }
      LogFailure("Error during attempt#" + std::to_string(count) +
                 " establishing a connection with MSM: " +
                 msm::SocketErrorText("Calling ConnectToHost()", Platform::WSAGetLastError()));
      Pause(timings_.connectPauseMs);
      if (count == iAttempts_m) {
        throw Platform::EAbort();
      }
    }
    LogMsg("In [thrQSMSMessenger::Execute] Opened socket to MSM: " + std::to_string(iNSSocket_m));
    msm::CheckForSocketData(iNSSocket_m, nullptr, timings_.pollMs);

    // The handshake starts again after a redirect or a sign-in wait that ran out; a bound
    // keeps a server that never answers from holding the worker for ever.
    reply.clear();
    bool complete = false;
    for (int round = 0; round < timings_.maxHandshakes && !complete && !Terminated(); ++round) {
      complete = Handshake(trId, reply);
    }

    LogMsg("Got AuthResp: [" + reply + "]");
    if (reply.find("USR") != std::string::npos) {
      return reply;
    }
    const msm::MsmError error = GetMSMError(reply);
    if (error.iCode != 911) {
      Abort("(Authentication error) Error receiving Initial Login cmd response: " + error.asName);
    }
    // clang-format off
    LogFailure("(Authentication error *May retry authentication attempt again*) Error receiving Initial Login cmd response: " + error.asName);
    // clang-format on
    msm::CloseSocketGracefully(iNSSocket_m, timings_.drainMs);
    iNSSocket_m = -1;
    if (attempt == 3) {
      Abort("MAX Authentication attempts exceeded!");
    }
  }
  return reply;
}

bool thrQSMSMessenger::Handshake(int& trId, std::string& reply) {
  const std::string version = Platform::Format("VER %d MSNP10 CVRO\r\n", trId);
  Exchange(iNSSocket_m, version,
           {"Error sending VER cmd: ", "SUCCESS sending VER cmd.",
            "Error reading VER cmd response: ", "SUCCESS receiving VER cmd response: "});

  ++trId;
  const std::string client = Platform::Format(
      "CVR %d 0x0413 winnt 5.1 i386 MSNMSGR 6.2.0137 MSMSGS %s\r\n", trId, asFromAccount_m.c_str());
  Exchange(iNSSocket_m, client,
           {"Error sending CVR cmd: ", "SUCCESS sending CVR cmd.",
            "Error receiving CVR cmd response: ", "SUCCESS receiving CVR cmd response: "});

  ++trId;
  const std::string login =
      Platform::Format("USR %d %s I %s\r\n", trId, "TWN", asFromAccount_m.c_str());
  if (msm::SendText(iNSSocket_m, login) < 1) {
    Abort("Error sending Initial Login cmd: " + msm::SendErrorText());
  }
  LogMsg("SUCCESS sending Initial Login cmd.");

  // The answer may come in pieces: they are collected until a line end has arrived.
  reply.clear();
  const Clock::time_point start = Clock::now();
  for (;;) {
    if (MillisecondsSince(start) > timings_.signInWaitMs) {
      return false;
    }
    if (msm::CheckForSocketData(iNSSocket_m, nullptr, timings_.pollMs)) {
      const int room = 5000 - static_cast<int>(reply.size());
      if (msm::ReceiveText(iNSSocket_m, reply, room, timings_.receiveMs) < 1) {
        Abort("Error receiving Initial Login cmd response: [" + msm::ReceiveErrorText() +
              "] OrigCmd: [" + login + "]");
      }
      LogMsg("SUCCESS receiving Initial Login cmd response: " + reply);
      if (reply.find("XFR") != std::string::npos) {
        LogMsg("Detected a login XFR, attempting authentication on XFR Server.");
        HandleXfer(reply, iNSSocket_m);
        LogMsg("Opened NEW socket to MSM for XFR: " + std::to_string(iNSSocket_m));
        return false;
      }
      if (reply.find('\r') != std::string::npos) {
        return true;
      }
    } else {
      LogMsg("NO DATA - CheckForSocketData returned: false");
    }
  }
}

void thrQSMSMessenger::CloseConnections() {
  if (iSBSocket_m > 0) {
    const bool closed = msm::CloseSocketGracefully(iSBSocket_m, timings_.drainMs);
    LogMsg("Close socket to MSM Switchboard: " + std::to_string(iSBSocket_m) +
           " result: " + (closed ? "1" : "0"));
    iSBSocket_m = -1;
  }
  if (iNSSocket_m > 0) {
    const bool closed = msm::CloseSocketGracefully(iNSSocket_m, timings_.drainMs);
    LogMsg("Close socket to MSM Notification Server: " + std::to_string(iNSSocket_m) +
           " result: " + (closed ? "1" : "0"));
    iNSSocket_m = -1;
  }
}

int thrQSMSMessenger::ConnectToHost(const std::string& host, int port) {
  try {
    return msm::ConnectSocket(host, port, timings_.receiveMs);
  } catch (const std::exception& e) {
    ReportInternalError("thrQSMSMessenger::ConnectToHost", e.what());
  }
  return -1;
}

void thrQSMSMessenger::HandleXfer(const std::string& text, int& socket) {
  try {
    const msm::HostPort address = msm::ParseXferAddress(text);
    if (socket > 0) {
      msm::CloseSocketGracefully(socket, timings_.drainMs);
      socket = -1;
    }
    socket = ConnectToHost(address.asHost, address.iPort);
  } catch (const std::exception& e) {
    ReportInternalError("thrQSMSMessenger::HandleXfer", e.what());
  }
}

msm::MsmError thrQSMSMessenger::GetMSMError(const std::string& text) {
  try {
    return msm::ParseMSMError(text);
  } catch (const std::exception& e) {
    ReportInternalError("thrQSMSMessenger::GetMSMError", e.what());
  }
  return {};
}
