// The e-mail notification's addresses and message text, checked byte for byte.
#include <gtest/gtest.h>

#include "DateTime.h"
#include "channels/email/mailMessage.h"

using namespace mail_message;

TEST(MailAddresses, ListsSplitAtCommasAndSemicolonsOutsideQuotesCommentsAndBrackets) {
  const auto addresses = [](const std::string& list) {
    std::vector<std::string> out;
    for (const Mailbox& m : ParseAddressList(list)) {
      out.push_back(m.displayName + "|" + m.address);
    }
    return out;
  };
  const std::vector<std::string> two{"|a@x.org", "|b@y.org"};
  EXPECT_EQ(addresses("a@x.org;b@y.org"), two);
  EXPECT_EQ(addresses(" ; a@x.org ;; ,  b@y.org , ;"), two);
  EXPECT_TRUE(addresses(" ;, ").empty());
  EXPECT_EQ(
      addresses("\"Doe, John\" <j@x.org>; k@y.org (Kim; Lee), Bob <b\"ob@z.org>,<o,ne@q.org>"),
      (std::vector<std::string>{"Doe, John|j@x.org", "Kim; Lee|k@y.org", "Bob|b\"ob@z.org",
                                "|o,ne@q.org"}));
  const Mailbox escaped = ParseMailbox("\"Say \\\"hi\\\"\" <h@x.org>");
  EXPECT_EQ(escaped.displayName, "Say \"hi\"");
}

TEST(MailHeaders, NonAsciiTextBecomesEncodedWordsOfAtMost75Characters) {
  EXPECT_EQ(EncodeHeaderText("Reminder: 5 > 4"), "Reminder: 5 > 4");
  EXPECT_EQ(EncodeHeaderText("Grüße"), "=?UTF-8?B?R3LDvMOfZQ==?=");
  // 45 bytes would cut the 23rd "é" in half: the first word holds 22.
  std::string accents;
  for (int i = 0; i < 40; ++i) {
    accents += "é";
  }
  EXPECT_EQ(EncodeHeaderText(accents),
            "=?UTF-8?B?w6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6k=?=\r\n "
            "=?UTF-8?B?w6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOp?=");
  EXPECT_EQ(FormatMailbox({"Lee, Ann \"A\"", "a@x.org"}), "\"Lee, Ann \\\"A\\\"\" <a@x.org>");
  EXPECT_EQ(FormatMailbox({"Zoë", "z@x.org"}), "=?UTF-8?B?Wm/Dqw==?= <z@x.org>");
}

TEST(MailHeaders, DatesInRfc822FormWithTheZoneOffset) {
  const Platform::TDateTime t = Platform::EncodeDateTime(2006, 5, 2, 14, 5, 9, 0);
  EXPECT_EQ(Rfc822Date(t, 120), "Tue, 02 May 2006 14:05:09 +0200");
  EXPECT_EQ(Rfc822Date(t, -330), "Tue, 02 May 2006 14:05:09 -0530");
  EXPECT_EQ(Rfc822Date(Platform::EncodeDateTime(2024, 3, 3, 0, 0, 0, 0), 0),
            "Sun, 03 Mar 2024 00:00:00 +0000");
}

TEST(MailMessage, HeadersBlankLineAndBodyLinesEndedByCrLfWithLeadingDotsDoubled) {
  EXPECT_EQ(BodyLines("one\rtwo\nthree\r\n.\r\n..x\n\nlast\n"),
            "one\r\ntwo\r\nthree\r\n..\r\n...x\r\n\r\nlast\r\n");
  EXPECT_EQ(BuildMessage({"Vazudovu <me@x.org>", "a@x.org; \"B, C\" <b@y.org>", "Due soon",
                          "Item 1\n.", "Tue, 02 May 2006 14:05:09 +0200"}),
            "From: Vazudovu <me@x.org>\r\n"
            "Subject: Due soon\r\n"
            "To: a@x.org, \"B, C\" <b@y.org>\r\n"
            "Date: Tue, 02 May 2006 14:05:09 +0200\r\n"
            "\r\n"
            "Item 1\r\n"
            "..\r\n");
}

TEST(MailMessage, NoHeaderCanBeInjectedAndNonAsciiBodiesAreDeclared) {
  const std::string text =
      BuildMessage({"me@x.org\r\nBcc: spy@evil.org", "a@x.org\nBcc: spy2@evil.org",
                    "Hi\r\nBcc: spy3@evil.org", "Café at 10", "Tue, 02 May 2006 14:05:09 +0200"});
  const std::string head = text.substr(0, text.find("\r\n\r\n") + 2);
  EXPECT_EQ(head.find("\nBcc"), std::string::npos) << head;
  EXPECT_NE(head.find("Subject: Hi  Bcc: spy3@evil.org\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("Content-Type: text/plain; charset=UTF-8\r\n"), std::string::npos);
}
