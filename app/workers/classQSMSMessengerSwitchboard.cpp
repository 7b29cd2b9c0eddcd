// The second half of a messenger run: a switchboard from the notification server, one
// invitation and one message per recipient, then the logout from both servers.
#include <chrono>

#include "Exceptions.h"
#include "SocketError.h"
#include "workers/classQSMSMessenger.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

void thrQSMSMessenger::DeliverThroughSwitchboard(int& trId) {
  const std::string reply = AwaitSwitchboardTransfer(trId);
  LogMsg("SUCCESS receiving XFR response.");
  LogMsg("Authenticating connection to switchboard...");
  HandleSBXfer(reply, iSBSocket_m);
  if (iSBSocket_m < 1) {
    LogFailure("FAILED to connect to MSM.");
    return;
  }
  LogMsg("SUCCESSFULLY connected to Switchboard on Socket: " + std::to_string(iSBSocket_m));
  SignInToSwitchboard(trId, reply);
  DeliverMessages(trId);

  LogOut(iSBSocket_m,
         {"Sending Session OUT command ...", "Error sending Session OUT to Switchboard: ",
          "Session OUT command sent OK, bytes sent: ", "Error receiving Session OUT response: ",
          "Received Session OUT response from Switchboard: ",
          "Switchboard has disconnected us with NO OUT response."});
  LogOut(iNSSocket_m, {"Sending Logout command ...", "Error sending OUT (Logoff) to server: ",
                       "Logout command sent OK, bytes sent: ", "Error receiving Logoff response: ",
                       "Received Logoff response from Server: ",
                       "Server has disconnected us with NO logoff response."});
}

std::string thrQSMSMessenger::AwaitSwitchboardTransfer(int& trId) {
  ++trId;
  if (msm::SendText(iNSSocket_m, Platform::Format("XFR %d SB\r\n", trId)) < 1) {
    Abort("Error sending Switchboard connect cmd: " + msm::SendErrorText());
  }
  LogMsg("SUCCESS sending Switchboard connect cmd.");
  LogMsg("Waiting for XFR to switchboard response from recipient.");

  // Presence lines and the like may come first; the wait is for the XFR, and it ends
  // after its time however many other lines keep coming.
  std::string reply;
  int emptyPolls = 0;
  const Clock::time_point asked = Clock::now();
  while (!Terminated()) {
    if (MillisecondsSince(asked) > timings_.xfrWaitMs) {
      Abort("Error attempting to receive XFR response, no switchboard transfer within " +
            msm::DurationText(timings_.xfrWaitMs) + "!");
    }
    if (msm::CheckForSocketData(iNSSocket_m, nullptr, timings_.pollMs)) {
      std::string data;
      if (msm::ReceiveText(iNSSocket_m, data, 5000, timings_.receiveMs) < 1) {
        Abort("Error attempting to receive XFR response: " + msm::ReceiveErrorText());
      }
      reply = data;
      LogMsg("Received data: " + reply);
      if (Contains(reply, "XFR")) {
        break;
      }
    } else {
      LogMsg("NO DATA - CheckForSocketData returned: false");
      if (++emptyPolls >= timings_.maxEmptyPolls) {
        Abort("Error attempting to receive XFR response, MAX attempts exceeded!");
      }
    }
  }
  return reply;
}

void thrQSMSMessenger::SignInToSwitchboard(int& trId, const std::string& reply) {
  bool found = false;
  const std::string cookie = msm::SwitchboardCookie(reply, found);
  if (!found) {
    Abort("Error parsing switchboard response: " + reply);
  }
  ++trId;
  const std::string usr =
      Platform::Format("USR %d %s %s\r\n", trId, asFromAccount_m.c_str(), cookie.c_str());
  Exchange(
      iSBSocket_m, usr,
      {"Error sending authentication cookie to Switchboard: ",
       "SUCCESS sending authentication cookie to Switchboard.", "Error receiving cookie response: ",
       "SUCCESS receiving authentication cookie response from switchboard: "});
}

void thrQSMSMessenger::DeliverMessages(int& trId) {
  LogMsg("About to send: " + std::to_string(vecMessages_m.size()) + " MSM messages.");
  std::size_t wanted = 0, delivered = 0;
  for (const std::string& message : vecMessages_m) {
    const std::vector<std::string> recipients = GetRecipients(asToAccounts_m);
    LogMsg("About to send MSM msg to: " + std::to_string(recipients.size()) + " recipients.");
    wanted += recipients.size();
    for (const std::string& recipient : recipients) {
      if (Terminated()) {
        break;
      }
      if (DeliverToRecipient(trId, recipient, message)) {
        ++delivered;
      }
    }
  }
  delivered_ = wanted > 0 && delivered == wanted;
}

void thrQSMSMessenger::LogOut(int socket, const LogOutTexts& says) {
  LogMsg(says.sending);
  const int sent = msm::SendText(socket, "OUT\r\n");
  if (sent < 1) {
    LogMsg(says.sendFailed + msm::SendErrorText());
  }
  LogMsg(says.sent + std::to_string(sent));
  LogMsg("Waiting to see if there is a response from the Server.");
  std::string bye;
  const int got = msm::ReceiveText(socket, bye, 5000, timings_.receiveMs);
  if (got < 0) {
    LogMsg(says.receiveFailed + msm::ReceiveErrorText());
  } else if (got > 0) {
    LogMsg(says.received + bye);
  } else {
    LogMsg(says.closed);
  }
}

bool thrQSMSMessenger::DeliverToRecipient(int& trId, const std::string& recipient,
                                          const std::string& message) {
  LogMsg("Trying to send MSM msg to: " + recipient);
  ++trId;
  if (msm::SendText(iSBSocket_m, Platform::Format("CAL %d %s\r\n", trId, recipient.c_str())) < 1) {
    Abort("Error send CAL cmd: " + msm::SendErrorText());
  }
  LogMsg("SUCCESS sending CAL cmd to Switchboard.");
  LogMsg("Waiting for JOIN/CANCEL response from Switchboard.");
  if (!AwaitJoin(recipient)) {
    return false;
  }

  LogMsg("SUCCESS receiving JOIN cmd.");
  // The text goes out as a C string would, so the length always matches what is sent.
  const std::string payload = msm::MessagePayload(message.substr(0, message.find('\0')));
  ++trId;
  const std::string command = Platform::Format("MSG %d N %d\r\n%s", trId,
                                               static_cast<int>(payload.size()), payload.c_str());
  if (msm::SendText(iSBSocket_m, command) < 1) {
    Abort("Error sending MSG to recipient: " + msm::SendErrorText());
  }
  LogMsg("SUCCESS sending MSG to: " + recipient);
  LogMsg("Waiting for Switchboard Negative-Acknowledgement-Only ...");
  return AwaitAcknowledgement(recipient);
}

bool thrQSMSMessenger::AwaitJoin(const std::string& recipient) {
  int emptyPolls = 0;
  bool joined = false;
  bool waiting = true;
  const Clock::time_point called = Clock::now();
  while (waiting && !Terminated()) {
    // A ringing that never turns into a join, however much else arrives, ends in time.
    if (MillisecondsSince(called) > timings_.joinWaitMs) {
      Abort("Error attempting to receive JOI response, " + recipient + " did not join within " +
            msm::DurationText(timings_.joinWaitMs) + "!");
    }
    if (!msm::CheckForSocketData(iSBSocket_m, nullptr, timings_.pollMs)) {
      LogMsg("NO DATA - CheckForSocketData returned: false");
      if (++emptyPolls >= timings_.maxEmptyPolls) {
        Abort("Error attempting to receive XFR response, MAX attempts exceeded!");
      }
      continue;
    }
    std::string data;
    if (msm::ReceiveText(iSBSocket_m, data, 5000, timings_.receiveMs) < 1) {
      Abort("Error receiving JOIN response: " + msm::ReceiveErrorText());
    }
    LogMsg("Received Data from Switchboard: " + data);
    const bool ringing = Contains(data, "CAL") && Contains(data, "RING");
    if (!joined && !ringing) {
      const msm::MsmError error = GetMSMError(data);
      LogMsg("Error receiving CAL RING response Data [" + data +
             "] err: " + msm::SocketErrorText("Calling recv()", Platform::WSAGetLastError()) +
             "\r\n" + error.asName);
      if (error.iCode == 215) {
        joined = true;
      } else {
        failure_ = std::to_string(error.iCode) + " " + error.asName;
      }
      waiting = false;
    } else if (ringing) {
      joined = true;
    }
    if (Contains(data, "JOI")) {
      waiting = false;
    }
  }
  return joined;
}

bool thrQSMSMessenger::AwaitAcknowledgement(const std::string& recipient) {
  // Only a refusal is answered; silence within the wait means the message went out.
  const Clock::time_point sent = Clock::now();
  while (!Terminated()) {
    if (msm::CheckForSocketData(iSBSocket_m, nullptr, timings_.pollMs)) {
      std::string data;
      if (msm::ReceiveText(iSBSocket_m, data, 5000, timings_.receiveMs) < 1) {
        LogMsg("Error receiving Switchboard response: " + msm::ReceiveErrorText());
        return true;
      }
      LogMsg("Received Data from Switchboard: " + data);
      if (data.rfind("NAK", 0) == 0) {
        failure_ = "NAK " + recipient;
        return false;
      }
      return true;
    }
    LogMsg("NO DATA - CheckForSocketData returned: false");
    if (MillisecondsSince(sent) > timings_.ackWaitMs) {
      LogMsg("Timeout attempting to receive Switchboard response, MAX attempts exceeded!");
      return true;
    }
  }
  return true;
}

void thrQSMSMessenger::HandleSBXfer(const std::string& text, int& socket) {
  try {
    const msm::HostPort address = msm::ParseSBXferAddress(text);
    socket = ConnectToHost(address.asHost, address.iPort);
  } catch (const std::exception& e) {
    ReportInternalError("thrQSMSMessenger::HandleSBXfer", e.what());
  }
}

std::vector<std::string> thrQSMSMessenger::GetRecipients(const std::string& text) {
  try {
    return msm::SplitRecipients(text);
  } catch (const std::exception& e) {
    ReportInternalError("thrQSMSMessenger::GetRecipients", e.what());
  }
  return {};
}
