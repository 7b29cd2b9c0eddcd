// The e-mail notification on the wire: against Debian's aiosmtpd for a real delivery,
// and against a scripted server for the replies a real one rarely gives.
#include <gtest/gtest.h>

#include "SmtpTestServers.h"
#include "TempDir.h"
#include "TestDependency.h"
#include "channels/email/emailNotification.h"
#include "channels/email/smtpClient.h"

using testsupport::ScriptedSmtpServer;
using Lines = std::vector<std::string>;

namespace {

email_notification::Job JobFor(int port, const std::string& to = "a@x.org") {
  return {to, "Due soon", "127.0.0.1", port, "Vazudovu <me@x.org>", "Item due\n.\nend", 4};
}

// Runs the worker's body with short waits and returns its log (and its outcome).
Lines SendAndLog(const email_notification::Job& job, int replyMs = 2000,
                 email_notification::Result* outcome = nullptr) {
  Lines log;
  const email_notification::Result result = email_notification::Run(
      job, {{2000, replyMs}, 10}, [&log](const std::string& line) { log.push_back(line); });
  if (outcome != nullptr) {
    *outcome = result;
  }
  return log;
}

ScriptedSmtpServer::Script Replies(std::map<std::string, std::string> replies,
                                   std::string greeting = "220 scripted.test ESMTP") {
  ScriptedSmtpServer::Script script;
  script.replies = std::move(replies);
  script.greeting = std::move(greeting);
  return script;
}

std::string AttemptLine(int n, const std::string& why) {
  return "Error during attempt#" + std::to_string(n) +
         " establishing a connection to SMTP Host: 127.0.0.1 msg: " + why;
}

const char* kStart = "Attempting to Send an Email to : a@x.org asSMTPServer_m: 127.0.0.1";
const char* kFinished = "Finished with operation, disconnected from Email.";

}  // namespace

TEST(SmtpReply, OneOrManyLinesOfOneCodeAndNothingElse) {
  smtp::ReplyParser many;
  EXPECT_FALSE(many.Feed("250-host greets you"));
  EXPECT_TRUE(many.Feed("250 8BITMIME"));
  EXPECT_EQ(many.Result().Text(), "250 host greets you 8BITMIME");
  smtp::ReplyParser bare;
  EXPECT_TRUE(bare.Feed("354"));
  for (const char* bad : {"", "25", "abc OK", "250OK", "650 no"}) {
    smtp::ReplyParser p;
    EXPECT_THROW(p.Feed(bad), smtp::SmtpError) << bad;
  }
  smtp::ReplyParser changed;
  changed.Feed("250-first");
  EXPECT_THROW(changed.Feed("550 second"), smtp::SmtpError);
  smtp::ReplyParser endless;
  for (std::size_t i = 0; i < smtp::ReplyParser::kMaxLines; ++i) {
    endless.Feed("250-more");
  }
  EXPECT_THROW(endless.Feed("250-more"), smtp::SmtpError);
}

TEST(EmailSend, DeliversToARealServer) {
  testsupport::TempDir mails;
  testsupport::SmtpSink sink(mails.Path());
  REQUIRE_TEST_DEPENDENCY(sink.Available(), "aiosmtpd (Debian python3-aiosmtpd) is not installed");
  email_notification::Job job = JobFor(sink.Port(), "a@x.org; Bob <b@y.org>");
  job.subject = "Fällig";
  EXPECT_EQ(
      SendAndLog(job),
      (Lines{"Attempting to Send an Email to : a@x.org; Bob <b@y.org> asSMTPServer_m: "
             "127.0.0.1",
             "Email notification was sent SUCCESSFULLY to: a@x.org; Bob <b@y.org>", kFinished}));
  ASSERT_TRUE(sink.WaitForMails(1, 10000));
  const std::string mail = sink.Mails()[0];
  EXPECT_EQ(
      mail.rfind(
          "HELO: " + smtp::LocalHostName() + "\nFROM: me@x.org\nTO: a@x.org\nTO: b@y.org\n\n", 0),
      0u)
      << mail;
  EXPECT_NE(mail.find("\r\nSubject: =?UTF-8?B?RsOkbGxpZw==?=\r\n"), std::string::npos) << mail;
  // The server undoes the doubled dot: the body arrives as written.
  EXPECT_NE(mail.find("\r\n\r\nItem due\r\n.\r\nend\r\n"), std::string::npos) << mail;
}

TEST(EmailSend, TheDialogueInItsFixedOrderWithHeloFallbackAndForwardedRecipients) {
  const std::string host = smtp::LocalHostName();
  ScriptedSmtpServer plain({});
  SendAndLog(JobFor(plain.Port(), "a@x.org, b@y.org"));
  EXPECT_EQ(plain.Commands(),
            (Lines{"EHLO " + host, "RSET", "MAIL FROM:<me@x.org>", "RCPT TO:<a@x.org>",
                   "RCPT TO:<b@y.org>", "DATA", ".", "QUIT"}));
  const Lines lines = plain.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), ".."), 1) << "the body's \".\" line doubled";

  ScriptedSmtpServer old(Replies({{"EHLO", "502 5.5.2 Command not recognised"},
                                  {"RCPT", "251 User not local; will forward"}}));
  EXPECT_EQ(SendAndLog(JobFor(old.Port())).at(1),
            "Email notification was sent SUCCESSFULLY to: a@x.org");
  EXPECT_EQ(old.Commands().at(1), "HELO " + host);
}

TEST(EmailSend, RefusalsInTheOpeningFailEachAttemptAndSendNothing) {
  for (const auto& [script, why] :
       {std::pair{Replies({}, "554 No service here"), "554 No service here"},
        std::pair{Replies({{"EHLO", "500 What"}, {"HELO", "550 Go away"}}), "550 Go away"}}) {
    ScriptedSmtpServer server(script);
    email_notification::Job job = JobFor(server.Port());
    job.attempts = 2;
    email_notification::Result outcome;
    EXPECT_EQ(SendAndLog(job, 2000, &outcome),
              (Lines{kStart, AttemptLine(1, why), AttemptLine(2, why),
                     "Email notification FAILED to: a@x.org with msg: ", kFinished}));
    EXPECT_FALSE(outcome.delivered);
    EXPECT_EQ(outcome.failure, why) << "the last attempt's reason stands for the failure";
    EXPECT_EQ(server.Connections(), 2);
    const Lines commands = server.Commands();
    EXPECT_EQ(std::find(commands.begin(), commands.end(), "MAIL FROM:<me@x.org>"), commands.end());
  }
}

TEST(EmailSend, RefusalsInTheTransactionFailTheSendOnceAndStillQuit) {
  for (const char* word : {"MAIL", "RCPT", "DATA", "."}) {
    ScriptedSmtpServer server(Replies({{word, "550 5.1.1 Refused here"}}));
    email_notification::Result outcome;
    EXPECT_EQ(
        SendAndLog(JobFor(server.Port()), 2000, &outcome),
        (Lines{kStart, "Email notification FAILED to: a@x.org with msg: 550 5.1.1 Refused here",
               kFinished}))
        << word;
    EXPECT_EQ(outcome.failure, "550 5.1.1 Refused here");
    EXPECT_EQ(server.Connections(), 1) << "a refused send is not tried again";
    EXPECT_EQ(server.Commands().back(), "QUIT") << word;
  }
}

TEST(EmailSend, SilentAndRefusingServersAndNoAttemptsAtAll) {
  ScriptedSmtpServer::Script quiet;
  quiet.silent = true;
  ScriptedSmtpServer silent(quiet);
  email_notification::Job job = JobFor(silent.Port());
  job.attempts = 1;
  EXPECT_EQ(SendAndLog(job, 150).at(1), AttemptLine(1, "Read timed out."));

  testsupport::RefusingPort refusing;
  Lines expected{kStart};
  for (int n = 1; n <= 4; ++n) {
    expected.push_back(AttemptLine(n, "Socket Error # 10061 Connection refused."));
  }
  expected.push_back("Email notification FAILED to: a@x.org with msg: ");
  expected.push_back(kFinished);
  EXPECT_EQ(SendAndLog(JobFor(refusing.Port())), expected);

  ScriptedSmtpServer unused({});
  job = JobFor(unused.Port());
  job.attempts = 0;
  EXPECT_EQ(
      SendAndLog(job),
      (Lines{kStart, "Email notification FAILED to: a@x.org with msg: Not connected.", kFinished}));
  EXPECT_EQ(unused.Connections(), 0);
}

TEST(EmailSend, LineBreaksInTheTypedTextsNeverReachTheWireAsLineEnds) {
  ScriptedSmtpServer server({});
  email_notification::Job job = JobFor(server.Port(), "a@x.org\r\nDATA");
  job.subject = "Hi\r\nBcc: spy@evil.org";
  job.from = "me@x.org\nRSET";
  SendAndLog(job);
  const Lines lines = server.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "RSET"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "DATA"), 1);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.rfind("Bcc", 0) == 0; }),
            0);
}
