// The messenger notification worker: one thread per notification, created suspended,
// filled by Setup (each call queues one more message), then owned by the supervisor,
// which starts it and frees it once bRunning_m has dropped.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "MessageTarget.h"
#include "Thread.h"

// The window message that carries an internal error report to the main window.
inline constexpr std::uint32_t WM_INTERNAL_ERROR = 3043;

class thrQSMSMessenger : public Platform::TThread {
 public:
  // mainWindow receives the internal error reports; nullptr means the program's main
  // window, if there is one when the worker is created.
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
  bool bDelivered_m = false;
  std::string asFailure_m;

 protected:
  void Execute() override;
  // "Problem in [method] msg: message" to the main window, waiting until it has been
  // handled; nothing when there is no main window. Never raises.
  void ReportInternalError(const char* method, const std::string& message) noexcept;

 private:
  Platform::MessageTarget* pMainWindow_m = nullptr;
};
