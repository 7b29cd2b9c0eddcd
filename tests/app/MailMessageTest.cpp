// The e-mail notification's addresses and message text, checked byte for byte.
#include <gtest/gtest.h>

#include "DateTime.h"
#include "mailMessage.h"

using namespace mail_message;

namespace {

std::vector<std::string> Addresses(const std::string& list) {
  std::vector<std::string> out;
  for (const Mailbox& m : ParseAddressList(list)) {
    out.push_back(m.address);
  }
  return out;
}

}  // namespace

TEST(AddressList, CommaAndSemicolonBothSeparateAndBlanksOrEmptiesDrop) {
  const std::vector<std::string> two{"a@x.org", "b@y.org"};
  EXPECT_EQ(Addresses("a@x.org;b@y.org"), two);
  EXPECT_EQ(Addresses("a@x.org, b@y.org"), two);
  EXPECT_EQ(Addresses(" ; a@x.org ;; ,  b@y.org , ;"), two);
  EXPECT_TRUE(Addresses("").empty());
  EXPECT_TRUE(Addresses(" ;, ").empty());
}

TEST(AddressList, SeparatorsInsideQuotesParenthesesAndBracketsDoNotSplit) {
  const std::vector<Mailbox> list = ParseAddressList(
      "\"Doe, John\" <john@x.org>; jane@y.org (Jane; Smith), Bob <b\"ob@z.org>,<odd,one@q.org>");
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].displayName, "Doe, John");
  EXPECT_EQ(list[0].address, "john@x.org");
  EXPECT_EQ(list[1].displayName, "Jane; Smith");
  EXPECT_EQ(list[1].address, "jane@y.org");
  EXPECT_EQ(list[2].displayName, "Bob");
  EXPECT_EQ(list[2].address, "b\"ob@z.org");
  EXPECT_EQ(list[3].address, "odd,one@q.org");
}

TEST(AddressList, DisplayNamesAndEscapes) {
  Mailbox m = ParseMailbox("  John Doe   <john@x.org>  ");
  EXPECT_EQ(m.displayName, "John Doe");
  EXPECT_EQ(m.address, "john@x.org");
  m = ParseMailbox("\"Say \\\"hi\\\"\" <h@x.org>");
  EXPECT_EQ(m.displayName, "Say \"hi\"");
  m = ParseMailbox("<bare@x.org>");
  EXPECT_EQ(m.displayName, "");
  EXPECT_EQ(m.address, "bare@x.org");
  m = ParseMailbox("plain@x.org");
  EXPECT_EQ(m.address, "plain@x.org");
  EXPECT_EQ(m.displayName, "");
}

TEST(HeaderText, LineBreaksBecomeBlanks) {
  EXPECT_EQ(OneLine("a\r\nBcc: evil@x.org\rc\nd"), "a  Bcc: evil@x.org c d");
}

TEST(HeaderText, AsciiStaysAndOtherTextBecomesEncodedWords) {
  EXPECT_EQ(EncodeHeaderText("Reminder: 5 > 4"), "Reminder: 5 > 4");
  EXPECT_EQ(EncodeHeaderText("Grüße"), "=?UTF-8?B?R3LDvMOfZQ==?=");
  // A long text is cut into words of at most 75 characters, never inside a character.
  std::string long_text;
  for (int i = 0; i < 40; ++i) {
    long_text += "é";
  }
  const std::string encoded = EncodeHeaderText(long_text);
  std::size_t start = 0, words = 0;
  while (start < encoded.size()) {
    std::size_t end = encoded.find("\r\n ", start);
    const std::string word =
        encoded.substr(start, end == std::string::npos ? std::string::npos : end - start);
    EXPECT_LE(word.size(), 75u) << word;
    EXPECT_EQ(word.rfind("=?UTF-8?B?", 0), 0u);
    ++words;
    start = end == std::string::npos ? encoded.size() : end + 3;
  }
  EXPECT_EQ(words, 2u);
  // 45 bytes would cut the 23rd "é" in half: the first word holds 22.
  EXPECT_EQ(encoded,
            "=?UTF-8?B?w6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6k=?=\r\n "
            "=?UTF-8?B?w6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOpw6nDqcOp?=");
}

TEST(HeaderText, MailboxesQuoteOrEncodeTheirNames) {
  EXPECT_EQ(FormatMailbox({"", "a@x.org"}), "a@x.org");
  EXPECT_EQ(FormatMailbox({"Ann Lee", "a@x.org"}), "Ann Lee <a@x.org>");
  EXPECT_EQ(FormatMailbox({"Lee, Ann \"A\"", "a@x.org"}), "\"Lee, Ann \\\"A\\\"\" <a@x.org>");
  EXPECT_EQ(FormatMailbox({"Zoë", "z@x.org"}), "=?UTF-8?B?Wm/Dqw==?= <z@x.org>");
}

TEST(Date, Rfc822FormWithTheZoneOffset) {
  const Platform::TDateTime t = Platform::EncodeDateTime(2006, 5, 2, 14, 5, 9, 0);
  EXPECT_EQ(Rfc822Date(t, 120), "Tue, 02 May 2006 14:05:09 +0200");
  EXPECT_EQ(Rfc822Date(t, -330), "Tue, 02 May 2006 14:05:09 -0530");
  EXPECT_EQ(Rfc822Date(Platform::EncodeDateTime(1999, 12, 31, 23, 59, 59, 0), 0),
            "Fri, 31 Dec 1999 23:59:59 +0000");
  EXPECT_EQ(Rfc822Date(Platform::EncodeDateTime(2024, 3, 3, 0, 0, 0, 0), 0),
            "Sun, 03 Mar 2024 00:00:00 +0000");
  const std::string now = Rfc822Now();
  EXPECT_EQ(now.size(), 31u) << now;
}

TEST(Body, LinesEndInCrLfAndLeadingDotsAreDoubled) {
  EXPECT_EQ(BodyLines("one\rtwo\nthree\r\n.\r\n..x\nlast"),
            "one\r\ntwo\r\nthree\r\n..\r\n...x\r\nlast\r\n");
  EXPECT_EQ(BodyLines("a\n\nb\n"), "a\r\n\r\nb\r\n");
  EXPECT_EQ(BodyLines(""), "");
}

TEST(Message, HeadersThenBlankLineThenBody) {
  const std::string text =
      BuildMessage({"Vazudovu <me@x.org>", "a@x.org; \"B, C\" <b@y.org>", "Due soon", "Item 1\n.",
                    "Tue, 02 May 2006 14:05:09 +0200"});
  EXPECT_EQ(text,
            "From: Vazudovu <me@x.org>\r\n"
            "Subject: Due soon\r\n"
            "To: a@x.org, \"B, C\" <b@y.org>\r\n"
            "Date: Tue, 02 May 2006 14:05:09 +0200\r\n"
            "\r\n"
            "Item 1\r\n"
            "..\r\n");
}

TEST(Message, NoHeaderCanBeInjectedAndNonAsciiIsDeclared) {
  const std::string text =
      BuildMessage({"me@x.org\r\nBcc: spy@evil.org", "a@x.org\nBcc: spy2@evil.org",
                    "Hi\r\nBcc: spy3@evil.org", "Café at 10", "Tue, 02 May 2006 14:05:09 +0200"});
  const std::string head = text.substr(0, text.find("\r\n\r\n") + 2);
  EXPECT_EQ(head.find("\r\nBcc"), std::string::npos) << head;
  EXPECT_EQ(head.find("\nBcc"), std::string::npos) << head;
  EXPECT_NE(head.find("Subject: Hi  Bcc: spy3@evil.org\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("Content-Type: text/plain; charset=UTF-8\r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 13), "Café at 10\r\n");
}
