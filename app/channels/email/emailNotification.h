// What one e-mail notification worker does once it is set up: connect with a few
// attempts, send the mail, close, and tell each step in a log line.
#pragma once

#include <functional>
#include <string>

#include "channels/email/smtpClient.h"

namespace email_notification {

// How the mail reaches the server beyond the plain dialogue. The defaults give the
// plain dialogue without sign-in.
struct Options {
  smtp::Security security = smtp::Security::None;
  std::string user;  // empty: no sign-in
  std::string password;
};

// The security a stored setting number stands for: 1 STARTTLS, 2 TLS, anything else none.
smtp::Security SecurityFromSetting(int number);

// What the worker was set up with.
struct Job {
  std::string to;  // the recipient list as typed
  std::string subject;
  std::string server;
  int port = -1;
  std::string from;  // the sender, with an optional display name
  std::string body;
  int attempts = 4;
  Options options = {};
};

// The waits of one run; tests shorten them.
struct Timings {
  smtp::Limits limits;        // connect and reply limits
  int attemptPauseMs = 1000;  // after each failed connection attempt
};

using LogFn = std::function<void(const std::string& line)>;

// Sends the mail, logs every step and returns the outcome; never raises. With a user name it signs
// in after the opening (and after TLS when asked for); a refused sign-in fails the send like a
// refused command. The log lines read:
//   "Attempting to Send an Email to : <to> asSMTPServer_m: <server>"
//   "Error during attempt#<n> establishing a connection to SMTP Host: <server> msg: <why>"
//   "Email notification was sent SUCCESSFULLY to: <to>"
//   "Email notification FAILED to: <to> with msg: <why>"
//   "Finished with operation, disconnected from Email."
struct Result {
  bool delivered = false;
  std::string failure = "no mail was sent";  // empty once delivered
};

Result Run(const Job& job, const Timings& timings, const LogFn& log);

}  // namespace email_notification
