#include "classQSEmail.h"

#include "Exceptions.h"
#include "emailNotification.h"
#include "workerLog.h"

namespace {

// Reads the outcome from the run's own log lines: the last of them that says "sent" or
// "FAILED" decides; a failure without a reason of its own (every connection attempt
// failed) takes the last attempt's.
class OutcomeFromLog {
 public:
  void See(const std::string& line) {
    static const std::string kSent = "Email notification was sent SUCCESSFULLY to: ";
    static const std::string kFailed = "Email notification FAILED to: ";
    static const std::string kWithMsg = " with msg: ";
    static const std::string kAttempt = "Error during attempt#";
    static const std::string kAttemptMsg = " msg: ";
    if (line.starts_with(kSent)) {
      delivered = true;
      failure.clear();
    } else if (line.starts_with(kFailed)) {
      delivered = false;
      const std::size_t at = line.find(kWithMsg);
      failure = at == std::string::npos ? "" : line.substr(at + kWithMsg.size());
      if (failure.empty()) {
        failure = lastAttempt_.empty() ? "UNKNOWN ERROR." : lastAttempt_;
      }
    } else if (line.starts_with(kAttempt)) {
      const std::size_t at = line.find(kAttemptMsg);
      lastAttempt_ = at == std::string::npos ? line : line.substr(at + kAttemptMsg.size());
    }
  }
  bool delivered = false;
  std::string failure = "no mail was sent";

 private:
  std::string lastAttempt_;
};

}  // namespace

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
    asFailure_m = kSetupFirstError;
    throw Platform::Exception(kSetupFirstError);
  }
  // Connect, send, close: every step goes to the log, and nothing is raised from here on.
  OutcomeFromLog outcome;
  email_notification::Run({asTo_m, asSubject_m, asSMTPServer_m, iSMTPPort_m, asFrom_m, asBody_m,
                           iAttempts_m, emailOptions_m},
                          {}, [this, &outcome](const std::string& line) {
                            outcome.See(line);
                            LogMsg(line);
                          });
  bDelivered_m = outcome.delivered;
  asFailure_m = outcome.delivered ? "" : outcome.failure;
}
