#include "classQSMSMessenger.h"

#include "Exceptions.h"
#include "classQSEmail.h"
#include "formMain.h"
#include "workerLog.h"

thrQSMSMessenger::thrQSMSMessenger(Platform::MessageTarget* mainWindow) {
  try {
    pMainWindow_m = mainWindow != nullptr ? mainWindow : frmMain;
    // The session's TLS and HTTP objects are created here with the messenger session.
  } catch (const std::exception& e) {
    ReportInternalError("thrQSMSMessenger::thrQSMSMessenger", e.what());
  }
}

thrQSMSMessenger::~thrQSMSMessenger() {
  TerminateAndWait();
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
  SendWorkerLogLine(hLogWnd_m, iLogMsg_m, text);
}

void thrQSMSMessenger::ReportInternalError(const char* method,
                                           const std::string& message) noexcept {
  try {
    if (pMainWindow_m == nullptr) {
      return;
    }
    const std::string text = Platform::Format("Problem in [%s] msg: %s", method, message.c_str());
    pMainWindow_m->SendMessage(WM_INTERNAL_ERROR, reinterpret_cast<std::uintptr_t>(text.c_str()),
                               0);
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
  // The sign-in and switchboard delivery arrive with the messenger session; until then
  // a set-up worker ends here without connecting anywhere.
}
