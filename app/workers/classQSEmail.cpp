#include "workers/classQSEmail.h"

#include "Exceptions.h"
#include "channels/email/emailNotification.h"
#include "workers/workerLog.h"

thrQSEmail::thrQSEmail() = default;

thrQSEmail::~thrQSEmail() {
  TerminateAndWait();
}

void thrQSEmail::Setup(const std::string& To, const std::string& Subject,
                       const std::string& SMTPServer, int SMTPPort, const std::string& From,
                       const std::string& Body, int Attempts, Platform::MessageTarget* LogWnd,
                       int iLogMsg) {
  asTo_m = To;
  asSubject_m = Subject;
  asSMTPServer_m = SMTPServer;
  iSMTPPort_m = SMTPPort;
  asFrom_m = From;
  asBody_m = Body;
  iAttempts_m = Attempts;
  hLogWnd_m = LogWnd;
  iLogMsg_m = iLogMsg;
}

void thrQSEmail::LogMsg(const std::string& text) {
  SendWorkerLogLine(hLogWnd_m, iLogMsg_m, text);
}

void thrQSEmail::Execute() {
  // The supervisor frees this object once the flag drops, whichever way the body ends.
  struct ClearRunning {
    std::atomic<bool>& flag;
    ~ClearRunning() { flag.store(false); }
  } clearRunning{bRunning_m};

  if (asTo_m.empty() || asSubject_m.empty() || asSMTPServer_m.empty() || asFrom_m.empty() ||
      asBody_m.empty() || iSMTPPort_m < 1) {
    failure_ = kSetupFirstError;
    throw Platform::Exception(kSetupFirstError);
  }
  // Connect, send, close: every step goes to the log, and nothing is raised from here on.
  const email_notification::Result outcome =
      email_notification::Run({asTo_m, asSubject_m, asSMTPServer_m, iSMTPPort_m, asFrom_m, asBody_m,
                               iAttempts_m, emailOptions_},
                              {}, [this](const std::string& line) { LogMsg(line); });
  delivered_ = outcome.delivered;
  failure_ = outcome.failure;
}
