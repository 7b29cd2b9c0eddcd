// The SNTP client: timestamp conversions at exact values, the answer checks, the
// offset and delay, and whole exchanges against a time server of the test's own.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "DateTime.h"
#include "FakeSntpServer.h"
#include "SocketError.h"
#include "sntpSend.h"

using Platform::SecsPerDay;
using Platform::TDateTime;
using namespace sntp;

namespace {

constexpr TDateTime kSecond = 1.0 / SecsPerDay;

std::uint32_t Word(const TPacket& p, std::size_t at) {
  return (std::uint32_t{p[at]} << 24) | (std::uint32_t{p[at + 1]} << 16) |
         (std::uint32_t{p[at + 2]} << 8) | p[at + 3];
}

TEST(SntpConversion, TimestampsBecomeDateTimesKeepingATenthOfAMillisecond) {
  EXPECT_EQ(NtpToDateTime(0, 0), 2.0) << "1900-01-01 00:00";
  EXPECT_EQ(NtpToDateTime(3155673600u, 0), Platform::EncodeDate(2000, 1, 1));
  EXPECT_EQ(NtpToDateTime(0xFFFFFFFFu, 0), 4294967295.0 / SecsPerDay + 2) << "seconds unsigned";
  EXPECT_EQ(NtpToDateTime(84, 1610612736u), 2.0 + 1.0 / 1024) << "84.375 s";
  // Just under .375: the fraction is cut, not rounded, at 0.1 ms.
  EXPECT_EQ(NtpToDateTime(84, 1610612735u), (84 + 0.3749) / SecsPerDay + 2);
  EXPECT_EQ(NtpToDateTime(0, 0xFFFFFFFFu), 1.0 / SecsPerDay + 2);
}

TEST(SntpConversion, DateTimesBecomeTimestampsWrappingTo32Bits) {
  std::uint32_t s = 1, f = 1;
  DateTimeToNtp(2.0, s, f);
  EXPECT_EQ(s, 0u);
  EXPECT_EQ(f, 0u);
  DateTimeToNtp(Platform::EncodeDate(2000, 1, 1), s, f);
  EXPECT_EQ(s, 3155673600u);
  EXPECT_EQ(f, 0u);
  DateTimeToNtp(2.0 + 1.0 / 1024, s, f);  // 84.375 s: .375 of 4294967295, truncated
  EXPECT_EQ(s, 84u);
  EXPECT_EQ(f, 1610612735u);
  EXPECT_EQ(NtpToDateTime(s, f), (84 + 0.3749) / SecsPerDay + 2) << "a round trip loses 0.1 ms";
  DateTimeToNtp(2.0 + 49711, s, f);  // 2036-02-08: past the first era
  EXPECT_EQ(s, 4295030400u - 4294967296u);
  DateTimeToNtp(1.5, s, f);  // before 1900: two's complement
  EXPECT_EQ(s, static_cast<std::uint32_t>(-43200));
  EXPECT_EQ(f, 0u);
}

TEST(SntpPacket, TheRequestCarriesVersion3Mode3AndTheSendingTime) {
  const TPacket request = BuildRequest(Platform::EncodeDate(2000, 1, 1) + 0.5);
  EXPECT_EQ(request[0], 0x1B);
  EXPECT_EQ(Word(request, 24), 3155673600u + 43200);
  for (std::size_t i = 1; i < kPacketSize; ++i) {
    if (i < 24 || i >= 28) {
      EXPECT_EQ(request[i], 0) << "byte " << i;
    }
  }
}

TEST(SntpPacket, AnswersAreCheckedForLeapModeStratumAndTimestamps) {
  TPacket good{};
  good[0] = 0x1C;  // LI 0, VN 3, mode 4
  good[1] = 2;
  good[35] = 1;  // receive seconds
  good[43] = 1;  // transmit seconds
  EXPECT_TRUE(AnswerIsUsable(good));
  struct Case {
    const char* what;
    std::size_t at;
    std::uint8_t value;
    bool usable;
  };
  const Case cases[] = {
      {"LI 1", 0, 0x5C, true},
      {"LI 2", 0, 0x9C, true},
      {"LI 3", 0, 0xDC, false},
      {"mode 3", 0, 0x1B, false},
      {"mode 5", 0, 0x1D, false},
      {"version 4", 0, 0x24, true},
      {"stratum 0", 1, 0, false},
      {"stratum 1", 1, 1, true},
      {"stratum 15", 1, 15, true},
      {"stratum 16", 1, 16, false},
      {"receive seconds 0", 35, 0, false},
      {"transmit seconds 0", 43, 0, false},
  };
  for (const Case& c : cases) {
    TPacket answer = good;
    answer[c.at] = c.value;
    if (c.at == 35 || c.at == 43) {
      answer[c.at + 4] = 0xFF;  // a fraction alone does not make a timestamp
    }
    EXPECT_EQ(AnswerIsUsable(answer), c.usable) << c.what;
  }
}

TEST(SntpPacket, OffsetAndDelayLeaveOutTheTimeTheServerHeldTheRequest) {
  const TDateTime base = 40000.0;
  // Symmetric: 1 s each way, server 1.5 s ahead, answered at once.
  TExchangeResult r =
      ComputeExchange(base, base + 2.5 * kSecond, base + 2.5 * kSecond, base + 2 * kSecond);
  EXPECT_NEAR(r.NTPOffset, 1.5, 1e-5);
  EXPECT_NEAR(r.NTPDelay, 2.0, 1e-5);
  EXPECT_NEAR((r.NTPTime - base) / kSecond, 3.5, 1e-5);
  // Server 5 s ahead, no transit time, the request held there 3 s: at arrival here
  // (3 s local) the server reads 8 s, and the round trip itself took nothing.
  r = ComputeExchange(base, base + 5 * kSecond, base + 8 * kSecond, base + 3 * kSecond);
  EXPECT_NEAR(r.NTPOffset, 5.0, 1e-5);
  EXPECT_NEAR(r.NTPDelay, 0.0, 1e-5);
  EXPECT_NEAR((r.NTPTime - base) / kSecond, 8.0, 1e-5);
}

TEST(SntpDisplay, TheOffsetShowsItsSizeAsHoursMinutesSeconds) {
  EXPECT_EQ(OffsetText(90 * kSecond), "00:01:30");
  EXPECT_EQ(OffsetText(-90 * kSecond), "00:01:30");
  EXPECT_EQ(OffsetText(0.0), "00:00:00");
  EXPECT_EQ(OffsetText(2.0 / 24), "02:00:00");
  EXPECT_EQ(OffsetText(1.0 + 3661 * kSecond), "01:01:01") << "whole days dropped";
}

class SntpExchange : public ::testing::Test {
 protected:
  SntpExchange() {
    client_.TargetHost = "127.0.0.1";
    client_.TargetPort = std::to_string(server_.Port());
    client_.Timeout = 3000;
    client_.SetClock = [this](TDateTime utc) { clockSetTo_.push_back(utc); };
  }
  double SecondsFromNow(TDateTime t) const { return (t - Platform::NowUTC()) * SecsPerDay; }

  testsupport::FakeSntpServer server_;
  TSNTPSend client_;
  std::vector<TDateTime> clockSetTo_;
};

TEST_F(SntpExchange, AGoodAnswerGivesTheServerTimeOffsetAndDelay) {
  server_.Script({{.serverAheadSecs = -90.5}});
  const TDateTime before = Platform::NowUTC();
  ASSERT_TRUE(client_.GetNTP());
  EXPECT_NEAR(SecondsFromNow(client_.NTPTime), -90.5, 0.5);
  EXPECT_NEAR(client_.NTPOffset, -90.5, 0.5);
  EXPECT_GT(client_.NTPDelay, -0.01);
  EXPECT_LT(client_.NTPDelay, 0.5);
  EXPECT_EQ(client_.NTPReply[0], 0x1C);
  EXPECT_EQ(client_.NTPReply[1], 2);
  EXPECT_TRUE(clockSetTo_.empty()) << "the clock is set only when asked";

  const std::vector<std::uint8_t> request = server_.LastRequest();
  ASSERT_EQ(request.size(), 48u);
  EXPECT_EQ(request[0], 0x1B);
  TPacket sent{};
  std::copy(request.begin(), request.end(), sent.begin());
  EXPECT_NEAR((ReadTimestamp(sent, kOriginateOffset) - before) * SecsPerDay, 0, 1.0);
  EXPECT_EQ(Word(sent, 40), 0u) << "transmit timestamp left 0";
}

TEST_F(SntpExchange, AServerThatHoldsTheRequestDoesNotShiftTheTime) {
  server_.Script({{.holdMs = 300}});
  ASSERT_TRUE(client_.GetNTP());
  EXPECT_NEAR(SecondsFromNow(client_.NTPTime), 0.0, 0.15);
  EXPECT_LT(client_.NTPDelay, 0.15);
}

TEST_F(SntpExchange, AnswersThatFailACheckFailThePollAndNeverSetTheClock) {
  client_.SyncTime = true;
  const std::pair<const char*, testsupport::SntpReply> bad[] = {
      {"stratum 0", {.stratum = 0}},
      {"stratum 16", {.stratum = 16}},
      {"mode 3", {.firstByte = 0x1B}},
      {"LI 3", {.firstByte = 0xDC}},
      {"47 bytes", {.length = 47}},
      {"zero receive time", {.zeroReceiveSeconds = true}},
      {"zero transmit time", {.zeroTransmitSeconds = true}},
  };
  for (const auto& [what, reply] : bad) {
    server_.Script({reply});
    EXPECT_FALSE(client_.GetNTP()) << what;
  }
  EXPECT_TRUE(clockSetTo_.empty());
}

TEST_F(SntpExchange, NoAnswerWithinTheTimeoutFailsWithTimedOut) {
  server_.Script({{.answer = false}});
  client_.Timeout = 200;
  EXPECT_FALSE(client_.GetNTP());
  EXPECT_EQ(Platform::WSAGetLastError(), Platform::WSAETIMEDOUT);
}

TEST_F(SntpExchange, OnlyTheServersOwnAnswerCounts) {
  client_.SyncTime = true;
  client_.Timeout = 300;
  server_.Script({{.answer = false, .strayFirst = true}});
  EXPECT_FALSE(client_.GetNTP()) << "a stray from another port is no answer";
  EXPECT_TRUE(clockSetTo_.empty());

  client_.Timeout = 3000;
  server_.Script({{.serverAheadSecs = 0, .strayFirst = true, .strayAheadSecs = 1800}});
  ASSERT_TRUE(client_.GetNTP());
  EXPECT_NEAR(SecondsFromNow(client_.NTPTime), 0.0, 1.0) << "the stray's time was not taken";
  ASSERT_EQ(clockSetTo_.size(), 1u);
  EXPECT_NEAR(SecondsFromNow(clockSetTo_[0]), 0.0, 1.0);
}

TEST_F(SntpExchange, ALateAnswerToAnEarlierPollIsNotTakenForTheNextOne) {
  client_.Timeout = 200;
  server_.Script({{.holdMs = 500}, {.serverAheadSecs = 100}});
  EXPECT_FALSE(client_.GetNTP());
  std::this_thread::sleep_for(std::chrono::milliseconds(700));  // the late answer waits
  client_.Timeout = 3000;
  ASSERT_TRUE(client_.GetNTP());
  EXPECT_NEAR(SecondsFromNow(client_.NTPTime), 100.0, 1.0);
}

TEST_F(SntpExchange, OneSocketServesEveryPollOfTheClient) {
  ASSERT_TRUE(client_.GetNTP());
  ASSERT_TRUE(client_.GetNTP());
  const std::vector<std::uint16_t> ports = server_.ClientPorts();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0], ports[1]);
}

TEST_F(SntpExchange, AnEmptyHostNameDoesNotResolve) {
  client_.TargetHost = "";
  EXPECT_FALSE(client_.GetNTP());
  EXPECT_EQ(Platform::WSAGetLastError(), Platform::WSAHOST_NOT_FOUND);
  EXPECT_EQ(server_.Requests(), 0);
}

TEST_F(SntpExchange, TheClockIsSetOnlyWhenAskedAndWithinAnHour) {
  server_.Script({{.serverAheadSecs = -90}});
  ASSERT_TRUE(client_.GetNTP());
  EXPECT_TRUE(clockSetTo_.empty());

  client_.SyncTime = true;
  ASSERT_TRUE(client_.GetNTP());
  ASSERT_EQ(clockSetTo_.size(), 1u);
  EXPECT_EQ(clockSetTo_[0], client_.NTPTime);
  EXPECT_NEAR(SecondsFromNow(clockSetTo_[0]), -90.0, 1.0);

  server_.Script({{.serverAheadSecs = 7200}});
  ASSERT_TRUE(client_.GetNTP()) << "two hours off is still measured";
  EXPECT_NEAR(client_.NTPOffset, 7200.0, 1.0);
  EXPECT_EQ(clockSetTo_.size(), 1u) << "but never corrected";
}

}  // namespace
