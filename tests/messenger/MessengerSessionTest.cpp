// The messenger worker's whole run against a scripted notification server that is its own
// switchboard and a Passport server over TLS, all of the test's own on 127.0.0.1.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <functional>
#include <utility>

#include "LoopbackSocket.h"

#include "MessengerTestServers.h"
#include "MessengerTestSupport.h"
#include "UniqueFd.h"

using msmtest::Session;
using testsupport::FakePassportServer;
using testsupport::MsnCommand;
using testsupport::MsnReply;
using testsupport::ScriptedMsnServer;

namespace {

const std::string kEnd = "======== ENDING [thrQSMSMessenger::Execute] ============";
const std::string kAbortLine =
    "MSM Internal error EABORT was caught (actual errors above this line).";

bool IsSignIn(const MsnCommand& c) {
  return c.asWord == "USR" && c.asLine.find(" TWN I ") != std::string::npos;
}

bool IsTicket(const MsnCommand& c) {
  return c.asWord == "USR" && c.asLine.find(" TWN S ") != std::string::npos;
}

}  // namespace

TEST(MessengerSession, DeliversTwoMessagesToTwoRecipientsThroughUnsolicitedLines) {
  FakePassportServer passport;
  ASSERT_TRUE(passport.Ready());
  ScriptedMsnServer server;
  Session session(server.Port(), passport.NexusUrl());
  session.worker->Setup("127.0.0.1", server.Port(), "sender@test.example", "pa,ss",
                        "first@test.example;second@test.example", "second text", 4, &session.log,
                        1025);
  session.Run();

  const std::vector<std::string> expected = {
      "VER 0 MSNP10 CVRO",
      "CVR 1 0x0413 winnt 5.1 i386 MSNMSGR 6.2.0137 MSMSGS sender@test.example",
      "USR 2 TWN I sender@test.example",
      std::string("USR 3 TWN S ") + FakePassportServer::kTicket,
      "CHG 4 NLN 0",
      "XFR 5 SB",
      "USR 6 sender@test.example 17262740.1050826919.32308",
      "CAL 7 first@test.example",
      "MSG 8 N 97",
      "CAL 9 second@test.example",
      "MSG 10 N 97",
      "CAL 11 first@test.example",
      "MSG 12 N 58",
      "CAL 13 second@test.example",
      "MSG 14 N 58",
      "OUT",
      "OUT",
  };
  EXPECT_EQ(server.Lines(), expected) << session.log.Text();
  std::vector<std::string> payloads;
  for (const MsnCommand& c : server.Commands()) {
    if (c.asWord == "MSG") {
      payloads.push_back(c.asPayload);
    }
  }
  ASSERT_EQ(payloads.size(), 4u);
  EXPECT_EQ(payloads[0],
            std::string("MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\n") + msmtest::kText);
  EXPECT_EQ(payloads[3], "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nsecond text");

  const std::vector<FakePassportServer::Request> requests = passport.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].vecLines[0], "GET /rdr/pprdr.asp HTTP/1.1");
  EXPECT_NE(
      std::find(requests[0].vecLines.begin(), requests[0].vecLines.end(), "User-Agent: MSMSGS"),
      requests[0].vecLines.end());
  const std::vector<std::string> login = {
      "GET /login2.srf HTTP/1.1",
      "Authorization: Passport1.4 OrgVerb=GET,OrgURL=http%3A%2F%2Fmessenger%2Emsn%2Ecom,"
      "sign-in=sender%40test.example,pwd=pa,ss,lc=1033,id=507,tw=40,fs=1,"
      "ru=http%3A%2F%2Fmessenger%2Emsn%2Ecom,ct=1062630100,kpp=1,kv=5,ver=2.1.0173.1,tpf=4c3a2b",
      "User-Agent: MSMSGS",
      "Host: 127.0.0.1:" + std::to_string(passport.Port()),
      "Connection: Keep-Alive",
      "Cache-Control: no-cache",
  };
  EXPECT_EQ(requests[1].vecLines, login);

  // The ticket went to the server, and the log shows it masked wherever it would appear.
  EXPECT_TRUE(session.log.Has("ClientTicket returned: [********]")) << session.log.Text();
  EXPECT_TRUE(session.log.Has("Sending secure login command [USR 3 TWN S ********\r\n]"));
  EXPECT_EQ(session.log.Text().find(FakePassportServer::kTicket), std::string::npos)
      << session.log.Text();
  EXPECT_EQ(session.log.Count("SUCCESS receiving JOIN cmd."), 4);
  EXPECT_EQ(session.log.Count(
                "Timeout attempting to receive Switchboard response, MAX attempts exceeded!"),
            4);
  EXPECT_TRUE(session.log.Has("Switchboard has disconnected us with NO OUT response."));
  EXPECT_TRUE(session.log.Has("Server has disconnected us with NO logoff response."));
  EXPECT_TRUE(session.log.Has("Finished with operation, disconnected from MSM."));
  EXPECT_EQ(session.log.Lines().back(), kEnd);
  EXPECT_TRUE(session.worker->delivered_) << session.worker->failure_;
  EXPECT_EQ(session.worker->failure_, "");
  EXPECT_FALSE(session.worker->bRunning_m);
  EXPECT_TRUE(session.window.Lines().empty());
}

TEST(MessengerSession, FollowsARedirectAndJoinsASignInReplyThatComesInPieces) {
  FakePassportServer passport;
  ScriptedMsnServer target([&](const MsnCommand& c) -> MsnReply {
    if (IsSignIn(c)) {  // the challenge in three pieces, the line end in the last
      return {{"USR " + c.asTrId + " TWN S lc=1033,", "id=507,tw=40,", "ct=1\r\n"}};
    }
    return target.DefaultReply(c);
  });
  ScriptedMsnServer first([&](const MsnCommand& c) -> MsnReply {
    if (IsSignIn(c)) {
      return {{"XFR " + c.asTrId + " NS 127.0.0.1:" + std::to_string(target.Port()) +
               " 0 127.0.0.1:1863\r\n"}};
    }
    return first.DefaultReply(c);
  });
  Session session(first.Port(), passport.NexusUrl(), "first@test.example");
  session.Run();

  EXPECT_EQ(first.Lines().size(), 3u);
  const std::vector<std::string> lines = target.Lines(1);
  ASSERT_GE(lines.size(), 4u) << session.log.Text();
  EXPECT_EQ(lines[0], "VER 2 MSNP10 CVRO");
  EXPECT_EQ(lines[1].substr(0, 6), "CVR 3 ");
  EXPECT_EQ(lines[2], "USR 4 TWN I sender@test.example");
  EXPECT_TRUE(session.log.Has("Detected a login XFR, attempting authentication on XFR Server."));
  EXPECT_TRUE(session.log.Has("Parsed asChallengeString: [lc=1033,id=507,tw=40,ct=1]"))
      << session.log.Text();
  EXPECT_TRUE(session.worker->delivered_) << session.log.Text();
}

TEST(MessengerSession, SignInRefusalsRetryOnlyFor911) {
  FakePassportServer passport;
  {
    ScriptedMsnServer server([&](const MsnCommand& c) -> MsnReply {
      return IsSignIn(c) ? MsnReply{{"911 " + c.asTrId + "\r\n"}} : server.DefaultReply(c);
    });
    Session session(server.Port(), passport.NexusUrl());
    session.Run();
    EXPECT_EQ(server.Connections(), 3);
    EXPECT_EQ(session.log.Count("(Authentication error *May retry authentication attempt again*) "
                                "Error receiving Initial Login cmd response: "
                                "ERR_AUTHENTICATION_FAILED"),
              3);
    EXPECT_TRUE(session.log.Has("MAX Authentication attempts exceeded!"));
    EXPECT_TRUE(session.log.Has(kAbortLine));
    EXPECT_EQ(session.worker->failure_, "MAX Authentication attempts exceeded!");
    EXPECT_TRUE(passport.Requests().empty());
  }
  {
    ScriptedMsnServer server([&](const MsnCommand& c) -> MsnReply {
      return IsSignIn(c) ? MsnReply{{"500 " + c.asTrId + "\r\n"}} : server.DefaultReply(c);
    });
    Session session(server.Port(), passport.NexusUrl());
    session.Run();
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(
        session.log.Count("(Authentication error) Error receiving Initial Login cmd response: "
                          "ERR_INTERNAL_SERVER"),
        1);
    EXPECT_TRUE(session.log.Has(kAbortLine));
    EXPECT_FALSE(session.worker->delivered_);
  }
}

TEST(MessengerSession, ARefusedTicketStartsANewRunFromVersionZero) {
  FakePassportServer passport;
  std::atomic<int> tickets{0};
  ScriptedMsnServer server([&](const MsnCommand& c) -> MsnReply {
    if (IsTicket(c) && ++tickets == 1) {
      return {{"911 " + c.asTrId + "\r\n"}};
    }
    return server.DefaultReply(c);
  });
  Session session(server.Port(), passport.NexusUrl(), "first@test.example");
  session.Run();

  EXPECT_TRUE(session.log.Has("Invalid Login to MSM, msg: ERR_AUTHENTICATION_FAILED"));
  EXPECT_TRUE(session.log.Has("About to retry authentication ..."));
  ASSERT_GE(server.Connections(), 2);
  EXPECT_EQ(server.Lines(2).front(), "VER 0 MSNP10 CVRO");
  EXPECT_TRUE(session.worker->delivered_) << session.log.Text();
}

TEST(MessengerSession, LoginServerAnswers) {
  struct Case {
    const char* name;
    std::function<std::string(int)> answer;
    std::string ticketLine;  // the USR S command the server receives, or "" for none
    std::string logLine;
    int times = 1;
  };
  const std::vector<Case> cases = {
      {"401", [](int) { return std::string("HTTP/1.1 401 Unauthorized\r\n\r\n"); }, "",
       "MSM Internal error: SSL Authenitcation returned: 401"},
      {"302 without Location",
       [](int) { return std::string("HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\n"); },
       "USR 3 TWN S ", "In response section #1"},
      {"200 without Authentication-Info",
       [](int) { return std::string("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"); },
       "USR 3 TWN S ", "In response section #2"},
      {"400 with a line of its own",
       [](int) { return std::string("HTTP/1.1 400 Bad Request\r\nX-Reason: bad\r\n\r\n"); },
       "USR 3 TWN S ", "More data from server: X-Reason: bad"},
      {"unknown status five times", [](int) { return std::string("HTTP/1.1 503 Busy\r\n\r\n"); },
       "USR 3 TWN S ", "In response section #5", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePassportServer passport(
        [&](const FakePassportServer::Request&, int n) { return c.answer(n); });
    ScriptedMsnServer server;
    Session session(server.Port(), passport.NexusUrl(), "first@test.example");
    session.Run();
    EXPECT_EQ(session.log.Count(c.logLine), c.times) << session.log.Text();
    const std::vector<std::string> lines = server.Lines();
    const bool sent = std::find(lines.begin(), lines.end(), c.ticketLine) != lines.end();
    EXPECT_EQ(sent, !c.ticketLine.empty());
  }
}

TEST(MessengerSession, ARedirectingLoginServerLeadsToItsNewAddress) {
  FakePassportServer passport([&](const FakePassportServer::Request& r, int n) {
    if (n == 1) {
      return "HTTP/1.1 302 Found\r\nLocation: https://127.0.0.1:" +
             std::to_string(passport.Port()) + "/ppsecure/post.srf\r\n\r\n";
    }
    return r.vecLines[0].rfind("GET /ppsecure/post.srf ", 0) == 0
               ? std::string(
                     "HTTP/1.1 200 OK\r\nAuthentication-Info: Passport1.4 "
                     "da-status=success,from-PP='t=moved&p=x',ru=y\r\n\r\n")
               : std::string("HTTP/1.1 400 Bad\r\n\r\n");
  });
  ScriptedMsnServer server;
  Session session(server.Port(), passport.NexusUrl(), "first@test.example");
  session.Run();
  EXPECT_EQ(passport.Requests().size(), 3u);
  EXPECT_TRUE(session.log.Has("ClientTicket returned: [********]")) << session.log.Text();
  EXPECT_EQ(session.log.Text().find("t=moved&p=x"), std::string::npos);
  EXPECT_NE(server.Lines()[3].find("t=moved&p=x"), std::string::npos);
  EXPECT_TRUE(session.worker->delivered_);
}

TEST(MessengerSwitchboard, RecipientListsRefusalsAndSilence) {
  FakePassportServer passport;
  {
    // "a;;b" invites three, the middle one with an empty account that the server refuses;
    // the refused one gets no message and the next is invited.
    ScriptedMsnServer server([&](const MsnCommand& c) -> MsnReply {
      if (c.asWord == "CAL" && c.asLine == "CAL " + c.asTrId + " ") {
        return {{"217 " + c.asTrId + "\r\n"}};
      }
      return server.DefaultReply(c);
    });
    Session session(server.Port(), passport.NexusUrl(), "a@test.example;;b@test.example");
    session.Run();
    std::vector<std::string> sb;
    for (const std::string& line : server.Lines()) {
      if (line.rfind("CAL", 0) == 0 || line.rfind("MSG", 0) == 0) {
        sb.push_back(line.substr(0, 5));
      }
    }
    EXPECT_EQ(sb, (std::vector<std::string>{"CAL 7", "MSG 8", "CAL 9", "CAL 1", "MSG 1"}))
        << session.log.Text();
    EXPECT_TRUE(
        session.log.Has("Error receiving CAL RING response Data [217 9\r\n] err: "
                        "Calling recv(): No error (0)\r\nERR_NOT_ONLINE_OR_AVAILABLE"))
        << session.log.Text();
    EXPECT_FALSE(session.worker->delivered_);
    EXPECT_EQ(session.worker->failure_, "217 ERR_NOT_ONLINE_OR_AVAILABLE");
  }
  {
    // "a;" is one recipient; a switchboard that never answers the invitation ends the run.
    ScriptedMsnServer server([&](const MsnCommand& c) -> MsnReply {
      return c.asWord == "CAL" ? MsnReply{} : server.DefaultReply(c);
    });
    Session session(server.Port(), passport.NexusUrl(), "a@test.example;");
    session.Run();
    EXPECT_EQ(session.log.Count("About to send MSM msg to: 1 recipients."), 1);
    EXPECT_EQ(session.log.Count("NO DATA - CheckForSocketData returned: false"), 4);
    EXPECT_TRUE(
        session.log.Has("Error attempting to receive XFR response, MAX attempts exceeded!"));
    EXPECT_TRUE(session.log.Has(kAbortLine));
    EXPECT_FALSE(session.worker->delivered_);
  }
}

TEST(MessengerSession, BadRedirectsAndSilentServersAreBounded) {
  FakePassportServer passport;
  {
    // A redirect whose port has no blank after it is reported, and the handshake starts
    // again on the same connection.
    std::atomic<int> signIns{0};
    ScriptedMsnServer server([&](const MsnCommand& c) -> MsnReply {
      if (IsSignIn(c) && ++signIns == 1) {
        return {{"XFR " + c.asTrId + " NS 127.0.0.1:1\r\n"}};
      }
      return server.DefaultReply(c);
    });
    Session session(server.Port(), passport.NexusUrl(), "first@test.example");
    session.Run();
    ASSERT_EQ(session.window.Lines().size(), 1u);
    EXPECT_EQ(session.window.Lines()[0].rfind("Problem in [thrQSMSMessenger::HandleXfer] msg: ", 0),
              0u);
    EXPECT_EQ(server.Lines(1)[3], "VER 2 MSNP10 CVRO");
    EXPECT_TRUE(session.worker->delivered_) << session.log.Text();
  }
  {
    // No answer to the sign-in at all: four handshakes on the one connection, then the end.
    ScriptedMsnServer server([&](const MsnCommand& c) -> MsnReply {
      return IsSignIn(c) ? MsnReply{} : server.DefaultReply(c);
    });
    Session session(server.Port(), passport.NexusUrl(), "first@test.example");
    session.Run();
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(server.Lines().size(), 12u);
    EXPECT_TRUE(session.log.Has("Got AuthResp: []"));
    EXPECT_TRUE(session.log.Has(kAbortLine));
  }
}

TEST(MessengerSession, TricklingServersAreCutOffAtTheirDeadlines) {
  using Stall = FakePassportServer::Stall;
  const std::string passportLate = "Error: The Passport sign-in took longer than 600 ms (";
  const std::string passportWhere = ": out of time) in [thrQSMSMessenger::GetClientTicket]";
  struct Case {
    const char* name;
    Stall stall;
    const char* word;  // the command the notification server answers with reply
    std::function<MsnReply(const MsnCommand&)> reply;  // nullptr: a willing server
    std::string logLine;
  };
  // Presence lines, or after the ringing single bytes, every 20 ms: never an empty poll.
  auto trickle = [](std::vector<std::string> chunks, const std::string& piece) {
    for (int i = 0; i < 250; ++i) {
      chunks.push_back(piece);
    }
    return MsnReply{chunks, false, 20};
  };
  const std::vector<Case> cases = {
      {"TLS handshake byte by byte", Stall::kHandshake, "", nullptr,
       passportLate + "TLS negotiation with 127.0.0.1" + passportWhere},
      {"status line byte by byte", Stall::kStatusLine, "", nullptr,
       passportLate + "Reading from the login server" + passportWhere},
      {"header line after header line", Stall::kHeaderLines, "", nullptr,
       passportLate + "Reading from the login server" + passportWhere},
      {"presence instead of the switchboard", Stall::kNone, "XFR",
       [&](const MsnCommand& c) {
         return trickle({}, "ILN " + c.asTrId + " NLN friend@test.example Friend 0\r\n");
       },
       "Error attempting to receive XFR response, no switchboard transfer within 600 ms!"},
      {"ringing without a join", Stall::kNone, "CAL",
       [&](const MsnCommand& c) { return trickle({"CAL " + c.asTrId + " RINGING 1\r\n"}, "."); },
       "Error attempting to receive JOI response, first@test.example did not join within 600 "
       "ms!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePassportServer passport(nullptr, {"", c.stall});
    ScriptedMsnServer server([&](const MsnCommand& command) -> MsnReply {
      return c.reply && command.asWord == c.word ? c.reply(command) : server.DefaultReply(command);
    });
    Session session(server.Port(), passport.NexusUrl(), "first@test.example");
    session.worker->timings_.passportMs = 600;
    session.worker->timings_.xfrWaitMs = 600;
    session.worker->timings_.joinWaitMs = 600;
    session.Run();
    EXPECT_TRUE(session.log.Has(c.logLine)) << session.log.Text();
    EXPECT_EQ(session.worker->failure_, c.logLine);
    EXPECT_TRUE(session.log.Has(kAbortLine));
    EXPECT_FALSE(session.worker->delivered_);
    if (c.stall != Stall::kNone) {  // a sign-in out of time sends no ticket at all
      EXPECT_EQ(server.Lines().size(), 3u);
    }
  }
}

TEST(MessengerSession, SettingsWithLineBreaksSendNothing) {
  FakePassportServer passport;
  ScriptedMsnServer server;
  const std::vector<std::pair<std::string, std::string thrQSMSMessenger::*>> settings = {
      {"To", &thrQSMSMessenger::asToAccounts_m},
      {"From", &thrQSMSMessenger::asFromAccount_m},
      {"Password", &thrQSMSMessenger::asPassword_m},
      {"Host", &thrQSMSMessenger::asMSMHost_m},
  };
  for (const auto& [name, member] : settings) {
    for (const std::string& brk : {std::string("\r\n"), std::string("\0", 1)}) {
      SCOPED_TRACE(name);
      Session session(server.Port(), passport.NexusUrl());
      std::string& value = (*session.worker).*member;
      value = "friend@test.example" + brk + "OUT" + brk + "CAL 99 victim@test.example";
      session.Run();
      const std::string line =
          "The messenger setting " + name + " holds a line break; nothing was sent";
      EXPECT_TRUE(session.log.Has(line)) << session.log.Text();
      EXPECT_EQ(session.worker->failure_, line);
      EXPECT_FALSE(session.worker->delivered_);
      EXPECT_EQ(session.log.Text().find("victim"), std::string::npos);
      EXPECT_EQ(session.log.Lines().back(), kEnd);
    }
  }
  EXPECT_EQ(server.Connections(), 0);
  EXPECT_TRUE(passport.Requests().empty());
}

TEST(MessengerSession, TheNexusNamesTheLoginServerByNameOrNotAtAll) {
  {
    // Today's revival servers answer with the login address alone, scheme and all.
    FakePassportServer passport(nullptr,
                                {"PassportURLs: DALogin=https://127.0.0.1:%PORT%/login2.srf"});
    ScriptedMsnServer server;
    Session session(server.Port(), passport.NexusUrl(), "first@test.example");
    session.Run();
    ASSERT_EQ(passport.Requests().size(), 2u) << session.log.Text();
    EXPECT_EQ(passport.Requests()[1].vecLines[0], "GET /login2.srf HTTP/1.1");
    const std::vector<std::string> lines = server.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        std::string("USR 3 TWN S ") + FakePassportServer::kTicket),
              lines.end());
    EXPECT_TRUE(session.worker->delivered_) << session.log.Text();
  }
  {
    // No login address at all: the sign-in ends at once, without an empty ticket.
    FakePassportServer passport(nullptr, {"PassportURLs: DARealm=Passport.Net"});
    ScriptedMsnServer server;
    Session session(server.Port(), passport.NexusUrl(), "first@test.example");
    session.Run();
    const std::string line = "The Passport nexus named no login server; the sign-in stops here.";
    EXPECT_TRUE(session.log.Has(line)) << session.log.Text();
    EXPECT_EQ(session.worker->failure_, line);
    EXPECT_TRUE(session.log.Has(kAbortLine));
    EXPECT_EQ(passport.Requests().size(), 1u);
    EXPECT_EQ(server.Lines().size(), 3u);
  }
}

TEST(MessengerSession, LineBreaksFromServersNeverReachTheLoginRequest) {
  const std::string line =
      "The Passport login request would hold a line break from a server's answer; nothing was "
      "sent.";
  auto injected = [](const FakePassportServer& passport) {
    for (const FakePassportServer::Request& request : passport.Requests()) {
      for (const std::string& text : request.vecLines) {
        if (text.find("X-Injected") != std::string::npos) {
          return true;
        }
      }
    }
    return false;
  };
  {
    // A redirect whose address holds a lone CR, which the line reader keeps.
    FakePassportServer passport([&](const FakePassportServer::Request&, int n) {
      return n == 1 ? "HTTP/1.1 302 Found\r\nLocation: https://127.0.0.1:" +
                          std::to_string(passport.Port()) + "/x\rX-Injected: 1\r\n\r\n"
                    : std::string("HTTP/1.1 400 Bad\r\n\r\n");
    });
    ScriptedMsnServer server;
    Session session(server.Port(), passport.NexusUrl(), "first@test.example");
    session.Run();
    EXPECT_TRUE(session.log.Has(line)) << session.log.Text();
    EXPECT_EQ(passport.Requests().size(), 2u);
    EXPECT_FALSE(injected(passport));
  }
  {
    // A challenge with an LF inside its word.
    FakePassportServer passport;
    ScriptedMsnServer server([&](const MsnCommand& c) -> MsnReply {
      return IsSignIn(c) ? MsnReply{{"USR " + c.asTrId + " TWN S lc=1\nX-Injected: 1\r\n"}}
                         : server.DefaultReply(c);
    });
    Session session(server.Port(), passport.NexusUrl(), "first@test.example");
    session.Run();
    EXPECT_TRUE(session.log.Has(line)) << session.log.Text();
    EXPECT_EQ(passport.Requests().size(), 1u);
    EXPECT_FALSE(injected(passport));
    EXPECT_FALSE(session.worker->delivered_);
  }
}

namespace {

const std::string kRefused =
    " establishing a connection with MSM: Calling ConnectToHost(): Connection refused (10061)";

std::string ConnectLine(const char* when, int count) {
  return std::string("In [thrQSMSMessenger::Execute] ") + when +
         " ConnectToHost() iConnectCount: " + std::to_string(count);
}

}  // namespace

TEST(MessengerSession, ARefusedPortGetsEveryConnectionAttemptThenTheRunEnds) {
  FakePassportServer passport;
  int port = 0;
  Platform::UniqueFd bound(testsupport::BindLoopback(port));  // never listening: refused
  ASSERT_TRUE(bound);
  Session session(port, passport.NexusUrl());
  session.Run();
  bound.reset();
  for (int count = 1; count <= 4; ++count) {
    EXPECT_EQ(session.log.Count(ConnectLine("after", count)), 1) << session.log.Text();
    EXPECT_EQ(session.log.Count("Error during attempt#" + std::to_string(count) + kRefused), 1);
  }
  EXPECT_FALSE(session.log.Has(ConnectLine("before", 5)));
  EXPECT_TRUE(session.log.Has(kAbortLine));
  EXPECT_EQ(session.worker->failure_, "Error during attempt#4" + kRefused);
  EXPECT_TRUE(passport.Requests().empty());
}

TEST(MessengerSession, AStopRequestEndsTheRunWhereverItComes) {
  FakePassportServer passport;
  const std::string signInFailed =
      "(Authentication error) Error receiving Initial Login cmd response: ";
  {
    // Between two connection attempts: the pause is the one set, and the stop cuts it short.
    int port = 0;
    Platform::UniqueFd bound(testsupport::BindLoopback(port));
    ASSERT_TRUE(bound);
    Session session(port, passport.NexusUrl());
    session.worker->timings_.connectPauseMs = 3600 * 1000;
    session.worker->Resume();
    EXPECT_TRUE(session.log.WaitForLine("Error during attempt#1" + kRefused));
    session.worker->Terminate();
    session.worker->WaitFor();
    bound.reset();
    EXPECT_FALSE(session.log.Has(ConnectLine("before", 2))) << session.log.Text();
    EXPECT_EQ(session.worker->failure_, signInFailed);
    EXPECT_EQ(session.log.Lines().back(), kEnd);
  }
  struct Case {
    const char* name;
    std::function<bool(const MsnCommand&)> stopAt;  // the server stops the worker, then is silent
    std::vector<std::string> tail;                  // the last commands the server receives
    std::size_t commands;
    std::string failure;
  };
  const std::vector<Case> cases = {
      {"in the sign-in wait", IsSignIn, {"USR 2 TWN I sender@test.example"}, 3, signInFailed},
      {"in the join wait",
       [](const MsnCommand& c) { return c.asWord == "CAL"; },
       {"CAL 7 first@test.example", "OUT", "OUT"},
       10,
       "Stopped before the message went out."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<thrQSMSMessenger*> worker{nullptr};
    ScriptedMsnServer server([&](const MsnCommand& command) -> MsnReply {
      if (c.stopAt(command)) {
        worker.load()->Terminate();
        return {};
      }
      return server.DefaultReply(command);
    });
    Session session(server.Port(), passport.NexusUrl());
    worker = session.worker.get();
    session.Run();
    const std::vector<std::string> lines = server.Lines();
    ASSERT_EQ(lines.size(), c.commands) << session.log.Text();
    EXPECT_TRUE(std::equal(c.tail.rbegin(), c.tail.rend(), lines.rbegin()));
    EXPECT_EQ(session.worker->failure_, c.failure);
    EXPECT_FALSE(session.worker->delivered_);
    EXPECT_EQ(session.log.Lines().back(), kEnd);
  }
}

TEST(MessengerSession, ATicketRefusedThreeTimesEndsAfterTheThirdRun) {
  FakePassportServer passport;
  ScriptedMsnServer server([&](const MsnCommand& c) -> MsnReply {
    return IsTicket(c) ? MsnReply{{"911 " + c.asTrId + "\r\n"}} : server.DefaultReply(c);
  });
  Session session(server.Port(), passport.NexusUrl(), "first@test.example");
  session.Run();
  EXPECT_EQ(server.Connections(), 3);
  for (int connection = 1; connection <= 3; ++connection) {
    EXPECT_EQ(server.Lines(connection).front(), "VER 0 MSNP10 CVRO");
  }
  EXPECT_EQ(session.log.Count("About to retry authentication ..."), 3) << session.log.Text();
  EXPECT_EQ(session.worker->failure_, "Invalid Login to MSM, msg: ERR_AUTHENTICATION_FAILED");
  EXPECT_TRUE(session.log.Has("Finished with operation, disconnected from MSM."));
}

TEST(MessengerSession, ANexusThatRefusesTheConnectionEndsTheRun) {
  int port = 0;
  Platform::UniqueFd bound(testsupport::BindLoopback(port));
  ASSERT_TRUE(bound);
  ScriptedMsnServer server;
  Session session(server.Port(), "https://127.0.0.1:" + std::to_string(port) + "/rdr/pprdr.asp",
                  "first@test.example");
  session.Run();
  bound.reset();
  const std::string failure = session.worker->failure_;
  EXPECT_EQ(failure.rfind("MSM Internal error: ", 0), 0u) << session.log.Text();
  EXPECT_GT(failure.size(), std::string("MSM Internal error: ").size());
  EXPECT_TRUE(session.log.Has(failure));
  EXPECT_EQ(server.Lines().size(), 3u);  // no ticket went out
}

TEST(MessengerSwitchboard, AnswersToTheTransferTheInvitationAndTheMessage) {
  struct Case {
    const char* name;
    const char* word;  // the command answered by reply
    std::function<MsnReply(const MsnCommand&)> reply;
    std::string logLine;
    int times;
    std::vector<std::string> sent;  // the commands after the switchboard's USR
    std::string failure;            // empty: delivered
  };
  const std::vector<std::string> both = {"CAL 7", "MSG 8", "CAL 9", "MSG 10", "OUT", "OUT"};
  const std::vector<Case> cases = {
      {"215 counts as joined", "CAL",
       [](const MsnCommand& c) { return MsnReply{{"215 " + c.asTrId + "\r\n"}}; },
       "Error receiving CAL RING response Data [215 7\r\n] err: Calling recv(): No error "
       "(0)\r\nERR_ALREADY_THERE",
       1, both, ""},
      {"ringing and joining in one read", "CAL",
       [](const MsnCommand& c) {
         return MsnReply{{"CAL " + c.asTrId + " RINGING 1\r\nJOI friend@test.example F\r\n"}};
       },
       "SUCCESS receiving JOIN cmd.", 2, both, ""},
      {"a negative acknowledgement", "MSG",
       [](const MsnCommand& c) { return c.asTrId == "8" ? MsnReply{{"NAK 8\r\n"}} : MsnReply{}; },
       "Received Data from Switchboard: NAK 8\r\n", 1, both, "NAK first@test.example"},
      {"no switchboard transfer",
       "XFR",
       [](const MsnCommand&) { return MsnReply{}; },
       "NO DATA - CheckForSocketData returned: false",
       4,
       {},
       "Error attempting to receive XFR response, MAX attempts exceeded!"},
  };
  FakePassportServer passport;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedMsnServer server([&](const MsnCommand& command) -> MsnReply {
      return command.asWord == c.word ? c.reply(command) : server.DefaultReply(command);
    });
    Session session(server.Port(), passport.NexusUrl());
    session.Run();
    EXPECT_EQ(session.log.Count(c.logLine), c.times) << session.log.Text();
    std::vector<std::string> sent;
    const std::vector<MsnCommand> commands = server.Commands();
    for (std::size_t i = 7; i < commands.size(); ++i) {
      sent.push_back(commands[i].asWord + (commands[i].asTrId.empty() ? "" : " ") +
                     commands[i].asTrId);
    }
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(session.worker->delivered_, c.failure.empty());
    EXPECT_EQ(session.worker->failure_, c.failure);
  }
}
