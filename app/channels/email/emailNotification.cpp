#include "channels/email/emailNotification.h"

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "channels/email/mailMessage.h"

namespace email_notification {

namespace {

// Leaving the connection attempts after the last one; carries no message.
struct Abandoned {};

}  // namespace

smtp::Security SecurityFromSetting(int number) {
  switch (number) {
    case 1:
      return smtp::Security::StartTls;
    case 2:
      return smtp::Security::Tls;
    default:
      return smtp::Security::None;
  }
}

Result Run(const Job& job, const Timings& timings, const LogFn& log) {
  using mail_message::OneLine;
  Result result;
  // Every failure is logged with its reason and is the run's outcome: the last line that
  // says "sent" or "FAILED" decides, as a reader of the log would take it.
  const auto failed = [&](const std::string& why) {
    log("Email notification FAILED to: " + job.to + " with msg: " + why);
    result.delivered = false;
    result.failure = why;
  };
  std::string lastAttempt;
  log("Attempting to Send an Email to : " + job.to + " asSMTPServer_m: " + job.server);
  std::unique_ptr<smtp::Client> client;
  try {
    // The envelope and the message are built from the typed texts; no CR or LF of
    // theirs reaches the wire as a line end.
    const std::string from = mail_message::ParseMailbox(OneLine(job.from)).address;
    std::vector<std::string> recipients;
    for (const mail_message::Mailbox& to : mail_message::ParseAddressList(OneLine(job.to))) {
      recipients.push_back(to.address);
    }
    client =
        std::make_unique<smtp::Client>(job.server, job.port, timings.limits, job.options.security);
    const std::string heloName = smtp::LocalHostName();

    for (int n = 1; n <= job.attempts; ++n) {
      try {
        client->Open(heloName);
        break;
      } catch (const std::exception& e) {
        lastAttempt = e.what();
        log("Error during attempt#" + std::to_string(n) +
            " establishing a connection to SMTP Host: " + job.server + " msg: " + lastAttempt);
        std::this_thread::sleep_for(std::chrono::milliseconds(timings.attemptPauseMs));
        if (n == job.attempts) {
          throw Abandoned{};
        }
      }
    }

    try {
      const std::string message = mail_message::BuildMessage(
          {job.from, job.to, job.subject, job.body, mail_message::Rfc822Now()});
      if (!job.options.user.empty()) {
        client->SignIn(job.options.user, job.options.password);
      }
      client->Send(from, recipients, message);
      log("Email notification was sent SUCCESSFULLY to: " + job.to);
      result.delivered = true;
      result.failure.clear();
    } catch (const std::exception& e) {
      failed(e.what());
    } catch (...) {
      failed("UNKNOWN ERROR.");
    }
    client->Close();
  } catch (const Abandoned&) {
    failed("");
  } catch (const std::exception& e) {
    failed(e.what());
  } catch (...) {
    failed("");
  }
  log("Finished with operation, disconnected from Email.");
  // A failure the log gives no reason for (every connection attempt failed) takes the
  // last attempt's.
  if (!result.delivered && result.failure.empty()) {
    result.failure = lastAttempt.empty() ? "UNKNOWN ERROR." : lastAttempt;
  }
  return result;
}

}  // namespace email_notification
