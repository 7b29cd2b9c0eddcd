// The e-mail notification through a provider's kind of server: TLS from the first byte
// or after STARTTLS, and a sign-in, against Debian's aiosmtpd with a certificate made
// here and trusted for these tests only; the refusals against a scripted server.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "SmtpTestServers.h"
#include "TempDir.h"
#include "TestCertificates.h"
#include "TestDependency.h"
#include "channels/email/emailNotification.h"
#include "channels/email/smtpClient.h"

using testsupport::ScriptedSmtpServer;
using testsupport::SmtpSink;
using Lines = std::vector<std::string>;
using smtp::Security;

namespace {

const char* kStart = "Attempting to Send an Email to : a@x.org asSMTPServer_m: localhost";
const char* kSent = "Email notification was sent SUCCESSFULLY to: a@x.org";
const char* kFinished = "Finished with operation, disconnected from Email.";

std::string Failed(const std::string& why) {
  return "Email notification FAILED to: a@x.org with msg: " + why;
}

std::string AttemptLine(int n, const std::string& why) {
  return "Error during attempt#" + std::to_string(n) +
         " establishing a connection to SMTP Host: localhost msg: " + why;
}

class SecureMail : public ::testing::Test {
 protected:
  testsupport::TempDir certs_;
  testsupport::TestAuthority authority_{certs_.Path()};
  testsupport::TestAuthority::Files good_ =
      authority_.ServerCertificate("good", "DNS:localhost,IP:127.0.0.1");
  testsupport::ScopedEnv trust_{"SSL_CERT_FILE", authority_.CaFile()};

  void SetUp() override { ASSERT_FALSE(good_.key.empty()) << "the test certificates were made"; }

  SmtpSink::Secure Server(const std::string& tls, const testsupport::TestAuthority::Files& files,
                          bool loginOnly = false) const {
    return {tls, files.certificate, files.key, "me@x.org", "app-pass", loginOnly};
  }

  static email_notification::Job JobFor(int port, Security security,
                                        const std::string& password = "app-pass") {
    return {"a@x.org",
            "Due soon",
            "localhost",
            port,
            "Vazudovu <me@x.org>",
            "Item due",
            2,
            {security, "me@x.org", password}};
  }

  static Lines SendAndLog(const email_notification::Job& job) {
    Lines log;
    email_notification::Run(job, {{2000, 2000}, 10},
                            [&log](const std::string& line) { log.push_back(line); });
    return log;
  }
};

}  // namespace

TEST(SmtpExtensions, TheKeywordsAnEhloReplyListsWithTheirParameters) {
  const smtp::Reply ehlo{250,
                         {"STARTTLS.example greets you", "auth LOGIN Plain", "STARTTLS",
                          "AUTH=CRAM-MD5", "STARTTLSX"}};
  EXPECT_EQ(smtp::Extension(ehlo, "AUTH"), (Lines{"LOGIN", "PLAIN"}));
  EXPECT_EQ(smtp::Extension(ehlo, "STARTTLS"), Lines{});
  EXPECT_FALSE(smtp::Extension({250, {"STARTTLS greets you", "STARTTLSX"}}, "STARTTLS"))
      << "neither the greeting nor a longer keyword counts";
  EXPECT_FALSE(smtp::Extension({}, "AUTH")) << "after HELO nothing is listed";
  EXPECT_TRUE(smtp::IsLoopback(htonl(0x7F000001)));
  EXPECT_TRUE(smtp::IsLoopback(htonl(0x7F0A0B0C)));
  EXPECT_FALSE(smtp::IsLoopback(htonl(0xC0A80001)));
}

TEST_F(SecureMail, StartTlsAndTlsFromTheFirstByteSignInAndDeliver) {
  struct Case {
    const char* tls;
    Security security;
    bool loginOnly;
    const char* signIn;
  };
  for (const Case& c : {Case{"starttls", Security::StartTls, false, "PLAIN"},
                        Case{"implicit", Security::Tls, true, "LOGIN"}}) {
    testsupport::TempDir mails;
    SmtpSink sink(mails.Path(), Server(c.tls, good_, c.loginOnly));
    REQUIRE_TEST_DEPENDENCY(sink.Available(),
                            "aiosmtpd (Debian python3-aiosmtpd) is not installed");
    EXPECT_EQ(SendAndLog(JobFor(sink.Port(), c.security)), (Lines{kStart, kSent, kFinished}))
        << c.tls;
    ASSERT_TRUE(sink.WaitForMails(1, 10000)) << c.tls;
    EXPECT_EQ(sink.Mails()[0].rfind("TLS: yes\nAUTH: me@x.org\nHELO: ", 0), 0u) << sink.Mails()[0];
    EXPECT_EQ(sink.SignIns(), std::string(c.signIn) + " me@x.org app-pass\n");
  }
}

TEST_F(SecureMail, AWrongPasswordFailsTheSendOnceWithTheServersReply) {
  testsupport::TempDir mails;
  SmtpSink sink(mails.Path(), Server("starttls", good_));
  REQUIRE_TEST_DEPENDENCY(sink.Available(), "aiosmtpd (Debian python3-aiosmtpd) is not installed");
  EXPECT_EQ(SendAndLog(JobFor(sink.Port(), Security::StartTls, "wrong")),
            (Lines{kStart, Failed("535 5.7.8 Authentication credentials invalid"), kFinished}));
  EXPECT_EQ(sink.SignIns(), "PLAIN me@x.org wrong\n") << "a refused sign-in is not tried again";
  EXPECT_TRUE(sink.Mails().empty());
}

TEST_F(SecureMail, CertificatesNotForThisHostOrNotTrustedFailEveryAttemptBeforeThePassword) {
  testsupport::TempDir otherCerts;
  const testsupport::TestAuthority stranger(otherCerts.Path());
  const struct {
    testsupport::TestAuthority::Files files;
    const char* why;
  } cases[] = {
      {authority_.ServerCertificate("elsewhere", "DNS:mail.elsewhere.test"), "hostname mismatch"},
      {stranger.ServerCertificate("stranger", "DNS:localhost"),
       "unable to get local issuer certificate"},
  };
  for (const auto& c : cases) {
    for (const char* tls : {"implicit", "starttls"}) {
      testsupport::TempDir mails;
      SmtpSink sink(mails.Path(), Server(tls, c.files));
      REQUIRE_TEST_DEPENDENCY(sink.Available(),
                              "aiosmtpd (Debian python3-aiosmtpd) is not installed");
      const Security security = tls[0] == 'i' ? Security::Tls : Security::StartTls;
      const std::string why =
          std::string("The certificate of localhost was not accepted: ") + c.why + ".";
      EXPECT_EQ(SendAndLog(JobFor(sink.Port(), security)),
                (Lines{kStart, AttemptLine(1, why), AttemptLine(2, why), Failed(""), kFinished}))
          << tls;
      EXPECT_EQ(sink.SignIns(), "");
      EXPECT_TRUE(sink.Mails().empty());
    }
  }
}

TEST_F(SecureMail, TlsAskedForAndNotHadNeverFallsBackToPlainText) {
  // A real server without TLS that would take the password in plain text.
  testsupport::TempDir mails;
  SmtpSink plain(mails.Path(), Server("", {}));
  REQUIRE_TEST_DEPENDENCY(plain.Available(), "aiosmtpd (Debian python3-aiosmtpd) is not installed");
  const std::string noOffer = "The server does not offer STARTTLS.";
  EXPECT_EQ(
      SendAndLog(JobFor(plain.Port(), Security::StartTls)),
      (Lines{kStart, AttemptLine(1, noOffer), AttemptLine(2, noOffer), Failed(""), kFinished}));
  const Lines implicit = SendAndLog(JobFor(plain.Port(), Security::Tls));
  ASSERT_EQ(implicit.size(), 5u);
  EXPECT_EQ(implicit[1].rfind(AttemptLine(1, "TLS handshake with localhost failed: "), 0), 0u)
      << implicit[1];
  EXPECT_EQ(plain.SignIns(), "");
  EXPECT_TRUE(plain.Mails().empty());

  // A refused STARTTLS, and plain text slipped in after its reply.
  const std::string offers = "250-scripted.test\r\n250-AUTH PLAIN\r\n250 STARTTLS";
  for (const auto& [reply, why] :
       {std::pair{"454 4.7.0 TLS not available", "454 4.7.0 TLS not available"},
        std::pair{"220 Go ahead\r\n250 injected",
                  "The server sent more than its reply to STARTTLS."}}) {
    ScriptedSmtpServer::Script script;
    script.replies = {{"EHLO", offers}, {"STARTTLS", reply}};
    ScriptedSmtpServer server(script);
    email_notification::Job job = JobFor(server.Port(), Security::StartTls);
    job.attempts = 1;
    EXPECT_EQ(SendAndLog(job), (Lines{kStart, AttemptLine(1, why), Failed(""), kFinished}));
    const Lines commands = server.Commands();
    EXPECT_EQ(commands.back(), "STARTTLS");
  }
}

TEST(EmailSignIn, PlainTextSignInOnlyOnThisComputerAndTheDialogueUnchangedWithoutAUser) {
  const std::string host = smtp::LocalHostName();
  ScriptedSmtpServer::Script script;
  // AUTH LOGIN only: the name "me" is "bWU=", the password "pw" is "cHc=".
  script.replies = {{"EHLO", "250-scripted.test\r\n250 AUTH LOGIN"},
                    {"AUTH", "334 VXNlcm5hbWU6"},
                    {"BWU=", "334 UGFzc3dvcmQ6"},
                    {"CHC=", "235 2.7.0 Authentication successful"}};
  ScriptedSmtpServer server(script);
  email_notification::Job job{"a@x.org",  "Due",      "127.0.0.1", server.Port(),
                              "me@x.org", "Item due", 1,           {Security::None, "me", "pw"}};
  Lines log;
  const auto run = [&job, &log] {
    log.clear();
    email_notification::Run(job, {{2000, 2000}, 10},
                            [&log](const std::string& line) { log.push_back(line); });
  };
  run();
  EXPECT_EQ(log.at(1), "Email notification was sent SUCCESSFULLY to: a@x.org");
  EXPECT_EQ(server.Commands(),
            (Lines{"EHLO " + host, "AUTH LOGIN", "bWU=", "cHc=", "RSET", "MAIL FROM:<me@x.org>",
                   "RCPT TO:<a@x.org>", "DATA", ".", "QUIT"}));

  // A password but no user name: no sign-in, the plain dialogue as ever.
  ScriptedSmtpServer plain({});
  job.port = plain.Port();
  job.options = {Security::None, "", "pw"};
  run();
  EXPECT_EQ(plain.Commands(), (Lines{"EHLO " + host, "RSET", "MAIL FROM:<me@x.org>",
                                     "RCPT TO:<a@x.org>", "DATA", ".", "QUIT"}));

  // A server offering no sign-in this program knows.
  ScriptedSmtpServer cram(
      ScriptedSmtpServer::Script{"220 scripted.test", {{"EHLO", "250-x\r\n250 AUTH CRAM-MD5"}}});
  job.port = cram.Port();
  job.options = {Security::None, "me", "pw"};
  run();
  EXPECT_EQ(log.at(1),
            "Email notification FAILED to: a@x.org with msg: The server offers no "
            "sign-in this program knows (AUTH PLAIN or LOGIN).");
  EXPECT_EQ(cram.Commands(), (Lines{"EHLO " + host, "QUIT"}));
}
