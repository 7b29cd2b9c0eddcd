// The e-mail notification's addresses and message text, built without any
// connection so that exactly what goes on the wire can be checked on its own.
#pragma once

#include <string>
#include <vector>

#include "DateTime.h"

namespace mail_message {

// One address with its optional display name.
struct Mailbox {
  std::string displayName;  // without its quotes; may be empty
  std::string address;      // without angle brackets
};

// A recipient list as the user types it: "," and ";" both separate entries, except
// inside double quotes, parentheses or angle brackets; blanks around an entry are
// ignored and empty entries dropped; "Name <a@b>", "\"Last, First\" <a@b>",
// "a@b (Name)" and "a@b" are all accepted. Entries keep the order written.
std::vector<Mailbox> ParseAddressList(const std::string& text);

// One mailbox in any of the forms above.
Mailbox ParseMailbox(const std::string& text);

// The text with every CR and LF turned into a blank: nothing the user typed can end a
// header or command line early and start one of its own.
std::string OneLine(const std::string& text);

// The bytes in base64 with padding and no line breaks, as SMTP's AUTH lines and encoded
// words carry them.
std::string Base64(const std::string& bytes);

// A header value: ASCII text as it is; text holding bytes outside ASCII as RFC 2047
// encoded words (UTF-8, base64), each at most 75 characters, folded onto continuation
// lines.
std::string EncodeHeaderText(const std::string& text);

// A mailbox as a header shows it: "a@b", or the display name (quoted when it holds
// special characters, encoded when it holds non-ASCII text) followed by " <a@b>".
std::string FormatMailbox(const Mailbox& mailbox);

// "Tue, 02 May 2006 14:05:09 +0200": a local date-time and its offset east of UTC in
// minutes, in the form of RFC 822 (four-digit year).
std::string Rfc822Date(Platform::TDateTime local, int utcOffsetMinutes);
// The current local time in that form, with this computer's present offset.
std::string Rfc822Now();

// The body as sent between DATA and the closing ".": split into lines at CR, LF or
// CR LF (a line end at the very end adds no empty line), each line followed by CR LF,
// a line beginning with "." sent with one more "." in front.
std::string BodyLines(const std::string& body);

// What one notification mail says.
struct Message {
  std::string from;     // the sender as typed
  std::string to;       // the recipient list as typed
  std::string subject;  // the subject as typed
  std::string body;
  std::string date;  // an Rfc822Date text
};

// Everything between DATA and the closing ".": the header lines From, Subject, To and
// Date, an empty line, then the body lines. A body holding non-ASCII text also gets the
// three MIME lines that declare it as UTF-8, so that readers show it as written.
std::string BuildMessage(const Message& message);

}  // namespace mail_message
