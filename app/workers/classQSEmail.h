// The e-mail notification worker: one thread per mail, created suspended, filled by
// Setup, then owned by the supervisor, which starts it and frees it once bRunning_m
// has dropped.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "MessageTarget.h"
#include "Thread.h"
#include "channels/email/emailNotification.h"

class thrQSEmail : public Platform::TThread {
 public:
  thrQSEmail();
  ~thrQSEmail() override;

  // Stores every value as given, replacing the earlier ones; checks nothing.
  void Setup(const std::string& To, const std::string& Subject, const std::string& SMTPServer,
             int SMTPPort, const std::string& From, const std::string& Body, int Attempts,
             Platform::MessageTarget* LogWnd, int iLogMsg);
  // TLS and sign-in, beside Setup's values; until called, the plain dialogue.
  void SetOptions(const email_notification::Options& options) { emailOptions_ = options; }
  // Sends the line to the log window and waits until it has been handled; does
  // nothing without a window or with a message number below 1.
  void LogMsg(const std::string& text);

  // True until Execute has ended; written by this worker, read by the supervisor.
  std::atomic<bool> bRunning_m{true};
  std::string asTo_m;
  std::string asSubject_m;
  std::string asSMTPServer_m;
  std::int32_t iSMTPPort_m = -1;
  std::string asFrom_m;
  std::string asBody_m;
  std::int32_t iAttempts_m = 4;
  Platform::MessageTarget* hLogWnd_m = nullptr;
  std::int32_t iLogMsg_m = 0;
  email_notification::Options emailOptions_;
  // What became of the notification, final once bRunning_m has dropped: true when it
  // went out to every recipient, else why not in the worker's own words.
  bool delivered_ = false;
  std::string failure_;
  // The log target this worker writes to, held for the worker's life once the supervisor
  // that held it has let a still-running worker go.
  std::shared_ptr<void> logTargetHold_;

 protected:
  void Execute() override;
};

// The error a worker ends with when it was started before being set up.
inline constexpr const char* kSetupFirstError =
    "You must call this threads Setup method FIRST before resuming execution!";
