// The messenger notification worker: one thread per notification, created suspended,
// filled by Setup (each call queues one more message), then owned by the supervisor,
// which starts it and frees it once bRunning_m has dropped.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "MessageTarget.h"
#include "Thread.h"
#include "channels/messenger/msmProtocol.h"
#include "channels/messenger/msmSocket.h"
#include "channels/messenger/passportClients.h"

// The window message that carries an internal error report to the main window.
inline constexpr std::uint32_t WM_INTERNAL_ERROR = 3043;

class thrQSMSMessenger : public Platform::TThread {
 public:
  // mainWindow receives the internal error reports (the program's main window); with
  // nullptr they are dropped.
  explicit thrQSMSMessenger(Platform::MessageTarget* mainWindow = nullptr);
  ~thrQSMSMessenger() override;

  // Replaces the connection values and appends Message to the queue; checks nothing.
  void Setup(const std::string& MSMHost, int MSMPort, const std::string& FromAccount,
             const std::string& Password, const std::string& ToAccounts, const std::string& Message,
             int Attempts, Platform::MessageTarget* LogWnd, int iLogMsg);
  // Sends the line to the log window and waits until it has been handled; does
  // nothing without a window or with a message number below 1.
  void LogMsg(const std::string& text);

  // True until Execute has ended; written by this worker, read by the supervisor.
  std::atomic<bool> bRunning_m{true};
  std::string asMSMHost_m;
  std::int32_t iMSMPort_m = -1;
  std::string asFromAccount_m;
  std::string asPassword_m;
  std::string asToAccounts_m;  // separated by ";"
  std::vector<std::string> vecMessages_m;
  std::int32_t iAttempts_m = 4;
  Platform::MessageTarget* hLogWnd_m = nullptr;
  std::int32_t iLogMsg_m = 0;
  // What became of the notification, final once bRunning_m has dropped: true when it
  // went out to every recipient, else why not in the worker's own words.
  bool delivered_ = false;
  std::string failure_;
  // The log target this worker writes to, held for the worker's life once the supervisor
  // that held it has let a still-running worker go.
  std::shared_ptr<void> logTargetHold_;

  // The Passport nexus asked for the login server's address; set before the hand-over.
  std::string passportNexus_ = kDefaultPassportNexus;
  // The waits of the session; set before the hand-over.
  msm::MessengerTimings timings_;

  std::unique_ptr<msm::TlsContext> pSSL_m;
  std::unique_ptr<msm::NexusClient> pNexusClient_m;
  std::unique_ptr<msm::TlsLineClient> pLoginConn_m;
  std::vector<std::string> vecPassportURLs_m;
  int iNSSocket_m = -1;
  int iSBSocket_m = -1;

  // The classic nexus address, used unless the store or the environment names another.
  static constexpr const char* kDefaultPassportNexus = "https://nexus.passport.com/rdr/pprdr.asp";

 protected:
  void Execute() override;

  // Helpers of the session; each reports its own unexpected failures and returns.
  int ConnectToHost(const std::string& host, int port);
  void HandleXfer(const std::string& text, int& socket);
  void HandleSBXfer(const std::string& text, int& socket);
  std::vector<std::string> GetRecipients(const std::string& text);
  msm::MsmError GetMSMError(const std::string& text);
  // Passport: the login server's address from the nexus (empty when it names none), then
  // the ticket. Neither goes on past the deadline of the sign-in as a whole.
  bool QueryPassportNexus(std::chrono::steady_clock::time_point deadline, std::string& loginServer);
  std::string GetClientTicket(const std::string& password, const std::string& account,
                              const std::string& challenge);
  // "Problem in [method] msg: message" to the main window, waiting until it has been
  // handled; nothing when there is no main window. Never raises.
  void ReportInternalError(const char* method, const std::string& message) noexcept;

 private:
  // One run of the session: sign-in, going online, delivery and logout. Sets retry when
  // the ticket was refused with 911 and a new run should follow.
  void RunSession(bool& retry);
  // Sign-in attempts up to the complete answer to the first USR; returns that answer.
  std::string SignIn(int& trId);
  // One handshake (VER, CVR, USR I) and the collecting wait; false when the wait ran out
  // or the server redirected us.
  bool Handshake(int& trId, std::string& reply);
  // From the switchboard transfer to the logout from both servers.
  void DeliverThroughSwitchboard(int& trId);
  // Asks the notification server for a switchboard; returns the reply that names it.
  std::string AwaitSwitchboardTransfer(int& trId);
  // Presents the cookie of the transfer reply on the switchboard.
  void SignInToSwitchboard(int& trId, const std::string& reply);
  // Every queued message to every recipient; delivered_ when all went out.
  void DeliverMessages(int& trId);
  // True when the recipient joined, took the message and did not refuse it.
  bool DeliverToRecipient(int& trId, const std::string& recipient, const std::string& message);
  bool AwaitJoin(const std::string& recipient);
  // False on a refusal; silence or a failed read count as taken.
  bool AwaitAcknowledgement(const std::string& recipient);
  void CloseConnections();
  // One request to the login server at address; true when the ticket is final, false when
  // the request is to be made again (at the address a redirect has put there).
  bool RequestTicket(std::string& address, const std::string& signIn, const std::string& password,
                     const std::string& challenge, std::chrono::steady_clock::time_point deadline,
                     std::string& ticket);
  std::string PassportTimeoutText() const;
  // False, after logging which, when a setting holds a line end that would end a command
  // early and let the rest pass as commands of its own.
  bool SettingsFitOnOneLine();
  // Every later log line shows the secret as "********".
  void HideInLog(const std::string& secret);
  // What one command's steps say in the log: the two failure texts are followed by the
  // error, the answer text by the answer.
  struct StepTexts {
    const char* sendFailed;
    const char* sent;
    const char* receiveFailed;
    const char* received;
  };
  // Sends one command and reads one answer on the socket, logging each step; a failed
  // step aborts the run with its error. Returns the answer.
  std::string Exchange(int socket, const std::string& command, const StepTexts& says);
  // What a logout says in the log, on the switchboard or on the notification server.
  struct LogOutTexts {
    const char* sending;
    const char* sendFailed;
    const char* sent;
    const char* receiveFailed;
    const char* received;
    const char* closed;  // the server closed without an answer
  };
  // Sends OUT and reads one answer on the socket; failures are logged and the run goes on.
  void LogOut(int socket, const LogOutTexts& says);
  // Logs a failure line and keeps it as the reason the notification did not go out.
  void LogFailure(const std::string& line);
  [[noreturn]] void Abort(const std::string& line);
  // Sleeps, ending early on a stop request.
  void Pause(int milliseconds);

  Platform::MessageTarget* mainWindow_ = nullptr;
  std::vector<std::string> secrets_;  // only this worker's thread touches them
};

// The nexus address the messenger workers ask: QS_PASSPORT_NEXUS from the environment,
// else the store value PassportNexus, else the classic address.
std::string MessengerPassportNexus();
