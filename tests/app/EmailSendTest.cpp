// The e-mail notification on the wire: against Debian's aiosmtpd for a real delivery,
// and against a scripted server for the replies a real one rarely gives.
#include <gtest/gtest.h>

#include "SmtpTestServers.h"
#include "TempDir.h"
#include "emailNotification.h"
#include "smtpClient.h"

using testsupport::RefusingPort;
using testsupport::ScriptedSmtpServer;
using testsupport::SmtpSink;

namespace {

// Short waits, so that the failure cases end quickly.
email_notification::Timings Quick() {
  email_notification::Timings t;
  t.limits.connectMs = 2000;
  t.limits.replyMs = 2000;
  t.attemptPauseMs = 10;
  return t;
}

email_notification::Job JobFor(int port, const std::string& to = "a@x.org; Bob <b@y.org>") {
  email_notification::Job job;
  job.to = to;
  job.subject = "Due soon";
  job.server = "127.0.0.1";
  job.port = port;
  job.from = "Vazudovu <me@x.org>";
  job.body = "Your scheduled item is about to elapse\n.\nend";
  job.attempts = 4;
  return job;
}

std::vector<std::string> SendAndLog(const email_notification::Job& job,
                                    const email_notification::Timings& timings = Quick()) {
  std::vector<std::string> log;
  email_notification::Run(job, timings, [&log](const std::string& line) { log.push_back(line); });
  return log;
}

ScriptedSmtpServer::Script Replies(std::map<std::string, std::string> replies) {
  ScriptedSmtpServer::Script script;
  script.replies = std::move(replies);
  return script;
}

ScriptedSmtpServer::Script Greeting(const std::string& greeting) {
  ScriptedSmtpServer::Script script;
  script.greeting = greeting;
  return script;
}

ScriptedSmtpServer::Script Silent() {
  ScriptedSmtpServer::Script script;
  script.silent = true;
  return script;
}

const char* kFinished = "Finished with operation, disconnected from Email.";

}  // namespace

TEST(SmtpReply, ParsesOneAndManyLinesStrictly) {
  smtp::ReplyParser one;
  EXPECT_TRUE(one.Feed("250 OK"));
  EXPECT_EQ(one.Result().Text(), "250 OK");
  smtp::ReplyParser bare;
  EXPECT_TRUE(bare.Feed("354"));
  EXPECT_EQ(bare.Result().code, 354);

  smtp::ReplyParser many;
  EXPECT_FALSE(many.Feed("250-host greets you"));
  EXPECT_FALSE(many.Feed("250-PIPELINING"));
  EXPECT_TRUE(many.Feed("250 8BITMIME"));
  EXPECT_EQ(many.Result().code, 250);
  EXPECT_EQ(many.Result().lines.size(), 3u);

  for (const char* bad : {"", "25", "abc OK", "250OK", "650 no", "2x0 OK"}) {
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
  SmtpSink sink(mails.Path());
  if (!sink.Available()) {
    GTEST_SKIP() << "aiosmtpd (Debian python3-aiosmtpd) is not installed";
  }
  email_notification::Job job = JobFor(sink.Port());
  job.subject = "Fällig: Zahnarzt";
  const std::vector<std::string> log = SendAndLog(job);
  EXPECT_EQ(log,
            (std::vector<std::string>{
                "Attempting to Send an Email to : a@x.org; Bob <b@y.org> asSMTPServer_m: "
                "127.0.0.1",
                "Email notification was sent SUCCESSFULLY to: a@x.org; Bob <b@y.org>", kFinished}));
  ASSERT_TRUE(sink.WaitForMails(1, 10000));
  const std::string mail = sink.Mails()[0];
  EXPECT_EQ(mail.rfind("HELO: " + smtp::LocalHostName() +
                           "\nFROM: me@x.org\nTO: a@x.org\nTO: "
                           "b@y.org\n\n",
                       0),
            0u)
      << mail;
  EXPECT_NE(mail.find("\r\nSubject: =?UTF-8?B?RsOkbGxpZzogWmFobmFyenQ=?=\r\n"), std::string::npos);
  EXPECT_NE(mail.find("\r\nTo: a@x.org, Bob <b@y.org>\r\n"), std::string::npos);
  // The server undoes the doubled dot: the body arrives as written.
  EXPECT_NE(mail.find("\r\n\r\nYour scheduled item is about to elapse\r\n.\r\nend\r\n"),
            std::string::npos)
      << mail;
}

TEST(EmailSend, SpeaksTheDialogueInItsFixedOrder) {
  ScriptedSmtpServer server({});
  const std::vector<std::string> log = SendAndLog(JobFor(server.Port()));
  EXPECT_EQ(log.at(1), "Email notification was sent SUCCESSFULLY to: a@x.org; Bob <b@y.org>");
  const std::string host = smtp::LocalHostName();
  EXPECT_EQ(server.Commands(), (std::vector<std::string>{
                                   "EHLO " + host, "RSET", "MAIL FROM:<me@x.org>",
                                   "RCPT TO:<a@x.org>", "RCPT TO:<b@y.org>", "DATA", ".", "QUIT"}));
  const std::vector<std::string> lines = server.Lines();
  const auto data = std::find(lines.begin(), lines.end(), "DATA");
  ASSERT_NE(data, lines.end());
  EXPECT_EQ(data[1], "From: Vazudovu <me@x.org>");
  EXPECT_EQ(data[2], "Subject: Due soon");
  EXPECT_EQ(data[3], "To: a@x.org, Bob <b@y.org>");
  EXPECT_EQ(data[4].rfind("Date: ", 0), 0u);
  EXPECT_EQ(data[5], "");
  EXPECT_EQ(data[6], "Your scheduled item is about to elapse");
  EXPECT_EQ(data[7], "..");
  EXPECT_EQ(data[8], "end");
  EXPECT_EQ(data[9], ".");
}

TEST(EmailSend, FallsBackToHeloAndTakesForwardedRecipients) {
  ScriptedSmtpServer server(Replies({{"EHLO", "502 5.5.2 Command not recognised"},
                                     {"RCPT", "251 User not local; will forward"}}));
  const std::vector<std::string> log = SendAndLog(JobFor(server.Port(), "a@x.org"));
  EXPECT_EQ(log.at(1), "Email notification was sent SUCCESSFULLY to: a@x.org");
  const std::vector<std::string> commands = server.Commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[0], "EHLO " + smtp::LocalHostName());
  EXPECT_EQ(commands[1], "HELO " + smtp::LocalHostName());
}

TEST(EmailSend, RefusalsInTheOpeningFailEveryAttempt) {
  for (const ScriptedSmtpServer::Script& script :
       {Greeting("554 No service here"),
        Replies({{"EHLO", "500 What"}, {"HELO", "550 Go away"}})}) {
    ScriptedSmtpServer server(script);
    email_notification::Job job = JobFor(server.Port(), "a@x.org");
    job.attempts = 2;
    const std::vector<std::string> log = SendAndLog(job);
    const std::string why = script.greeting[0] == '5' ? "554 No service here" : "550 Go away";
    EXPECT_EQ(log, (std::vector<std::string>{
                       log.at(0),
                       "Error during attempt#1 establishing a connection to SMTP Host: 127.0.0.1 "
                       "msg: " +
                           why,
                       "Error during attempt#2 establishing a connection to SMTP Host: 127.0.0.1 "
                       "msg: " +
                           why,
                       "Email notification FAILED to: a@x.org with msg: ", kFinished}));
    EXPECT_EQ(server.Connections(), 2);
    for (const std::string& command : server.Commands()) {
      EXPECT_NE(command.rfind("MAIL", 0), 0u) << "nothing is sent after a failed opening";
    }
  }
}

TEST(EmailSend, RefusalsInTheTransactionFailTheSendOnceAndStillQuit) {
  for (const char* word : {"MAIL", "RCPT", "DATA", "."}) {
    ScriptedSmtpServer server(Replies({{word, "550 5.1.1 Refused here"}}));
    const std::vector<std::string> log = SendAndLog(JobFor(server.Port(), "a@x.org"));
    EXPECT_EQ(log, (std::vector<std::string>{
                       log.at(0),
                       "Email notification FAILED to: a@x.org with msg: 550 5.1.1 Refused here",
                       kFinished}))
        << word;
    EXPECT_EQ(server.Connections(), 1) << "a refused send is not tried again";
    EXPECT_EQ(server.Commands().back(), "QUIT") << word;
  }
}

TEST(EmailSend, AServerThatNeverAnswersTimesOutEveryAttempt) {
  ScriptedSmtpServer server(Silent());
  email_notification::Timings timings = Quick();
  timings.limits.replyMs = 150;
  email_notification::Job job = JobFor(server.Port(), "a@x.org");
  job.attempts = 2;
  const std::vector<std::string> log = SendAndLog(job, timings);
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[1],
            "Error during attempt#1 establishing a connection to SMTP Host: 127.0.0.1 msg: Read "
            "timed out.");
  EXPECT_EQ(log[3], "Email notification FAILED to: a@x.org with msg: ");
}

TEST(EmailSend, ARefusingServerGetsFourAttemptsThenTheEmptyFailure) {
  RefusingPort refusing;
  const std::vector<std::string> log = SendAndLog(JobFor(refusing.Port(), "a@x.org"));
  std::vector<std::string> expected{
      "Attempting to Send an Email to : a@x.org asSMTPServer_m: 127.0.0.1"};
  for (int n = 1; n <= 4; ++n) {
    expected.push_back("Error during attempt#" + std::to_string(n) +
                       " establishing a connection to SMTP Host: 127.0.0.1 msg: Socket Error # "
                       "10061 Connection refused.");
  }
  expected.push_back("Email notification FAILED to: a@x.org with msg: ");
  expected.push_back(kFinished);
  EXPECT_EQ(log, expected);
}

TEST(EmailSend, NoAttemptsMeansTheSendFailsForWantOfAConnection) {
  ScriptedSmtpServer server({});
  email_notification::Job job = JobFor(server.Port(), "a@x.org");
  job.attempts = 0;
  EXPECT_EQ(SendAndLog(job),
            (std::vector<std::string>{
                "Attempting to Send an Email to : a@x.org asSMTPServer_m: 127.0.0.1",
                "Email notification FAILED to: a@x.org with msg: Not connected.", kFinished}));
  EXPECT_EQ(server.Connections(), 0);
}

TEST(EmailSend, LineBreaksInTheTypedTextsNeverReachTheWireAsLineEnds) {
  ScriptedSmtpServer server({});
  email_notification::Job job = JobFor(server.Port(), "a@x.org\r\nDATA");
  job.subject = "Hi\r\nBcc: spy@evil.org";
  job.from = "me@x.org\nRSET";
  SendAndLog(job);
  for (const std::string& line : server.Lines()) {
    EXPECT_NE(line.rfind("Bcc", 0), 0u) << line;
  }
  const std::vector<std::string> commands = server.Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "RSET"), 1);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "DATA"), 1);
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                          [](const std::string& c) { return c.rfind("RCPT", 0) == 0; }),
            1);
}
