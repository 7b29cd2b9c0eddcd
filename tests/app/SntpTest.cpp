// The SNTP client: timestamp conversions at exact values, offset and delay, and whole
// exchanges against a time server of the test's own on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "DateTime.h"
#include "FakeSntpServer.h"
#include "SocketError.h"
#include "time/sntpSend.h"

using Platform::SecsPerDay;
using Platform::TDateTime;
using namespace sntp;

namespace {

constexpr TDateTime kSecond = 1.0 / SecsPerDay;

TEST(SntpConversion, TimestampsAndDateTimesConvertKeepingATenthOfAMillisecond) {
  EXPECT_EQ(NtpToDateTime(0, 0), 2.0) << "1900-01-01 00:00";
  EXPECT_EQ(NtpToDateTime(3155673600u, 0), Platform::EncodeDate(2000, 1, 1));
  EXPECT_EQ(NtpToDateTime(0xFFFFFFFFu, 0), 4294967295.0 / SecsPerDay + 2) << "seconds unsigned";
  EXPECT_EQ(NtpToDateTime(84, 1610612736u), 2.0 + 1.0 / 1024) << "84.375 s";
  EXPECT_EQ(NtpToDateTime(84, 1610612735u), (84 + 0.3749) / SecsPerDay + 2) << "cut, not rounded";

  std::uint32_t s = 1, f = 1;
  DateTimeToNtp(Platform::EncodeDate(2000, 1, 1), s, f);
  EXPECT_EQ(s, 3155673600u);
  EXPECT_EQ(f, 0u);
  DateTimeToNtp(2.0 + 1.0 / 1024, s, f);  // .375 of 4294967295, truncated
  EXPECT_EQ(s, 84u);
  EXPECT_EQ(f, 1610612735u);
  DateTimeToNtp(2.0 + 49711, s, f);  // 2036-02-08: past the first era
  EXPECT_EQ(s, 4295030400u - 4294967296u);
  DateTimeToNtp(1.5, s, f);  // before 1900: two's complement
  EXPECT_EQ(s, static_cast<std::uint32_t>(-43200));
}

TEST(SntpConversion, OffsetAndDelayLeaveOutTheTimeTheServerHeldTheRequest) {
  const TDateTime t = 40000.0;
  // 1 s each way, server 1.5 s ahead, answered at once.
  TExchangeResult r = ComputeExchange(t, t + 2.5 * kSecond, t + 2.5 * kSecond, t + 2 * kSecond);
  EXPECT_NEAR(r.NTPOffset, 1.5, 1e-5);
  EXPECT_NEAR(r.NTPDelay, 2.0, 1e-5);
  EXPECT_NEAR((r.NTPTime - t) / kSecond, 3.5, 1e-5);
  // Server 5 s ahead, no transit, the request held there 3 s: on arrival it reads 8 s.
  r = ComputeExchange(t, t + 5 * kSecond, t + 8 * kSecond, t + 3 * kSecond);
  EXPECT_NEAR(r.NTPDelay, 0.0, 1e-5);
  EXPECT_NEAR((r.NTPTime - t) / kSecond, 8.0, 1e-5);
}

TEST(SntpConversion, TheOffsetShowsItsSizeAsHoursMinutesSeconds) {
  EXPECT_EQ(OffsetText(90 * kSecond), "00:01:30");
  EXPECT_EQ(OffsetText(-90 * kSecond), "00:01:30");
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
  static double FromNow(TDateTime t) { return (t - Platform::NowUTC()) * SecsPerDay; }

  testsupport::FakeSntpServer server_;
  TSNTPSend client_;
  std::vector<TDateTime> clockSetTo_;
};

TEST_F(SntpExchange, AGoodAnswerGivesTheServerTimeAndOneSocketServesEveryPoll) {
  server_.Script({{.serverAheadSecs = -90.5}});
  const TDateTime before = Platform::NowUTC();
  ASSERT_TRUE(client_.GetNTP());
  EXPECT_NEAR(FromNow(client_.NTPTime), -90.5, 0.5);
  EXPECT_NEAR(client_.NTPOffset, -90.5, 0.5);
  EXPECT_LT(client_.NTPDelay, 0.5);
  EXPECT_EQ(client_.NTPReply[0], 0x1C);
  EXPECT_TRUE(clockSetTo_.empty()) << "the clock is set only when asked";
  const std::vector<std::uint8_t> request = server_.LastRequest();
  ASSERT_EQ(request.size(), 48u);
  EXPECT_EQ(request[0], 0x1B);
  TPacket sent{};
  std::copy(request.begin(), request.end(), sent.begin());
  EXPECT_NEAR((ReadTimestamp(sent, kOriginateOffset) - before) * SecsPerDay, 0, 1.0);

  server_.Script({{.firstByte = 0x9C, .stratum = 15}});  // LI 2 and stratum 15 still do
  ASSERT_TRUE(client_.GetNTP());
  const std::vector<std::uint16_t> ports = server_.ClientPorts();
  EXPECT_EQ(ports.front(), ports.back());
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
      // A round trip longer than the wait, or shorter than nothing.
      {"receive time long before transmit", {.receiveSkewSecs = -3500}},
      {"receive time after transmit", {.receiveSkewSecs = 3500}},
  };
  for (const auto& [what, reply] : bad) {
    server_.Script({reply});
    EXPECT_FALSE(client_.GetNTP()) << what;
  }
  EXPECT_TRUE(clockSetTo_.empty());
  EXPECT_EQ(client_.NTPOffset, 0.0) << "no offset is taken from a failed poll";
  client_.TargetHost = "";
  EXPECT_FALSE(client_.GetNTP());
  EXPECT_EQ(Platform::WSAGetLastError(), Platform::WSAHOST_NOT_FOUND);
}

TEST_F(SntpExchange, OnlyTheServersOwnTimelyAnswerCounts) {
  client_.SyncTime = true;
  client_.Timeout = 300;
  server_.Script({{.answer = false}});
  EXPECT_FALSE(client_.GetNTP());
  EXPECT_EQ(Platform::WSAGetLastError(), Platform::WSAETIMEDOUT);
  server_.Script({{.answer = false, .strayFirst = true}});
  EXPECT_FALSE(client_.GetNTP()) << "a stray from another port is no answer";
  EXPECT_TRUE(clockSetTo_.empty());

  client_.Timeout = 3000;
  server_.Script({{.strayFirst = true, .strayAheadSecs = 1800}});
  ASSERT_TRUE(client_.GetNTP());
  ASSERT_EQ(clockSetTo_.size(), 1u);
  EXPECT_NEAR(FromNow(clockSetTo_[0]), 0.0, 1.0) << "the stray's time was not taken";
}

TEST_F(SntpExchange, ALateAnswerToAnEarlierPollIsNotTakenForTheNextOne) {
  client_.Timeout = 200;
  server_.Script({{.holdMs = 500}, {.serverAheadSecs = 100}});
  EXPECT_FALSE(client_.GetNTP());
  std::this_thread::sleep_for(std::chrono::milliseconds(700));  // the late answer waits
  client_.Timeout = 3000;
  ASSERT_TRUE(client_.GetNTP());
  EXPECT_NEAR(FromNow(client_.NTPTime), 100.0, 1.0);
}

TEST_F(SntpExchange, TheClockIsSetOnlyWithinAnHour) {
  client_.SyncTime = true;
  server_.Script({{.serverAheadSecs = -90}});
  ASSERT_TRUE(client_.GetNTP());
  ASSERT_EQ(clockSetTo_.size(), 1u);
  EXPECT_EQ(clockSetTo_[0], client_.NTPTime);
  server_.Script({{.serverAheadSecs = 7200}});
  ASSERT_TRUE(client_.GetNTP()) << "two hours off is still measured";
  EXPECT_NEAR(client_.NTPOffset, 7200.0, 1.0);
  EXPECT_EQ(clockSetTo_.size(), 1u) << "but never corrected";
}

}  // namespace
