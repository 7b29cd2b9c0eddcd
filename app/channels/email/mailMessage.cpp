#include "channels/email/mailMessage.h"

#include <cstdio>
#include <ctime>

namespace mail_message {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string Trim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && IsBlank(text[first])) {
    ++first;
  }
  while (last > first && IsBlank(text[last - 1])) {
    --last;
  }
  return text.substr(first, last - first);
}

bool IsAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0x80) {
      return false;
    }
  }
  return true;
}

// Walks a text and tells, for every character, whether it stands outside quotes,
// comments and angle brackets; a backslash inside quotes or a comment escapes the next one.
class Scanner {
 public:
  // Feeds one character; true when it is at the top level (a separator there splits).
  bool TopLevel(char c) {
    if (escaped_) {
      escaped_ = false;
    } else if (quoted_) {
      escaped_ = c == '\\';
      quoted_ = c != '"';
    } else if (comment_ > 0) {
      escaped_ = c == '\\';
      comment_ += c == '(' ? 1 : c == ')' ? -1 : 0;
    } else if (angle_) {
      angle_ = c != '>';
    } else if (c == '"') {
      quoted_ = true;
    } else if (c == '(') {
      comment_ = 1;
    } else if (c == '<') {
      angle_ = true;
    } else {
      return true;
    }
    return false;
  }

 private:
  bool quoted_ = false;
  bool escaped_ = false;
  bool angle_ = false;
  int comment_ = 0;
};

// A display name as written: surrounding quotes removed and backslash escapes undone.
std::string Unquote(const std::string& text) {
  std::string t = Trim(text);
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') {
    std::string out;
    for (std::size_t i = 1; i + 1 < t.size(); ++i) {
      if (t[i] == '\\' && i + 2 < t.size()) {
        ++i;
      }
      out += t[i];
    }
    return out;
  }
  return t;
}

// The lines of a text: CR LF, LF and CR all end a line; a line end at the very end
// adds no empty line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(line));
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
    } else {
      line += c;
    }
  }
  if (!line.empty()) {
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace

namespace {
const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}  // namespace

std::string Base64(const std::string& bytes) {
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                       static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kBase64[v >> 18 & 63];
    out += kBase64[v >> 12 & 63];
    out += kBase64[v >> 6 & 63];
    out += kBase64[v & 63];
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) {
      v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    }
    out += kBase64[v >> 18 & 63];
    out += kBase64[v >> 12 & 63];
    out += i + 1 < bytes.size() ? kBase64[v >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

std::vector<Mailbox> ParseAddressList(const std::string& text) {
  std::vector<Mailbox> list;
  Scanner scanner;
  std::string entry;
  const auto finish = [&list, &entry] {
    if (!Trim(entry).empty()) {
      Mailbox mailbox = ParseMailbox(entry);
      if (!mailbox.address.empty()) {
        list.push_back(std::move(mailbox));
      }
    }
    entry.clear();
  };
  for (char c : text) {
    if (scanner.TopLevel(c) && (c == ',' || c == ';')) {
      finish();
    } else {
      entry += c;
    }
  }
  finish();
  return list;
}

Mailbox ParseMailbox(const std::string& text) {
  // The text outside brackets and comments, the address in angle brackets, and the
  // comments, which name the mailbox when nothing else does.
  std::string outside, angle, comment;
  enum { kBefore, kInAngle, kAfter } where = kBefore;
  bool quoted = false, escaped = false;
  int depth = 0;
  for (char c : text) {
    if (depth > 0) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
        continue;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')' && --depth == 0) {
        continue;
      }
      comment += c;
    } else if (quoted) {
      // Kept with its escapes; Unquote undoes them.
      (where == kInAngle ? angle : outside) += c;
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        quoted = false;
      }
    } else if (where == kInAngle) {
      if (c == '>') {
        where = kAfter;
      } else {
        angle += c;
      }
    } else if (c == '(') {
      depth = 1;
      if (!comment.empty()) {
        comment += ' ';
      }
    } else if (c == '<' && where == kBefore) {
      where = kInAngle;
    } else if (where == kBefore) {
      quoted = c == '"';
      outside += c;
    }
  }
  Mailbox mailbox;
  if (where != kBefore) {
    mailbox.address = Trim(angle);
    mailbox.displayName = Unquote(outside);
  } else {
    mailbox.address = Trim(outside);
  }
  if (mailbox.displayName.empty()) {
    mailbox.displayName = Trim(comment);
  }
  return mailbox;
}

std::string OneLine(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c == '\r' || c == '\n') {
      c = ' ';
    }
  }
  return out;
}

std::string EncodeHeaderText(const std::string& text) {
  if (IsAscii(text)) {
    return text;
  }
  // "=?UTF-8?B?" and "?=" take 12 of the 75 characters; 45 bytes make 60 base64 characters.
  constexpr std::size_t kMaxBytes = 45;
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = std::min(text.size(), start + kMaxBytes);
    // Never cut a UTF-8 sequence: back up to the start of a character.
    while (end < text.size() && end > start + 1 &&
           (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
      --end;
    }
    if (!out.empty()) {
      out += "\r\n ";
    }
    out += "=?UTF-8?B?" + Base64(text.substr(start, end - start)) + "?=";
    start = end;
  }
  return out;
}

std::string FormatMailbox(const Mailbox& mailbox) {
  if (mailbox.displayName.empty()) {
    return mailbox.address;
  }
  std::string name;
  if (!IsAscii(mailbox.displayName)) {
    name = EncodeHeaderText(mailbox.displayName);
  } else if (mailbox.displayName.find_first_of("()<>[]:;@\\,.\"") != std::string::npos) {
    name = "\"";
    for (char c : mailbox.displayName) {
      if (c == '"' || c == '\\') {
        name += '\\';
      }
      name += c;
    }
    name += "\"";
  } else {
    name = mailbox.displayName;
  }
  return name + " <" + mailbox.address + ">";
}

std::string Rfc822Date(Platform::TDateTime local, int utcOffsetMinutes) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int year, month, day, hour, minute, second, msec;
  Platform::DecodeDateTime(local, year, month, day, hour, minute, second, msec);
  // Day 0, 1899-12-30, was a Saturday.
  const long dayNumber = static_cast<long>(local);
  const int weekday = static_cast<int>(((dayNumber % 7) + 7 + 6) % 7);
  const int offset = utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", kDays[weekday],
                day, kMonths[month - 1], year, hour, minute, second,
                utcOffsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
  return text;
}

std::string Rfc822Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const Platform::TDateTime dt =
      Platform::EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                               local.tm_min, local.tm_sec < 60 ? local.tm_sec : 59, 0);
  return Rfc822Date(dt, static_cast<int>(local.tm_gmtoff / 60));
}

std::string BodyLines(const std::string& body) {
  std::string out;
  for (const std::string& line : SplitLines(body)) {
    if (!line.empty() && line[0] == '.') {
      out += '.';
    }
    out += line;
    out += "\r\n";
  }
  return out;
}

std::string BuildMessage(const Message& message) {
  std::string to;
  for (const Mailbox& mailbox : ParseAddressList(OneLine(message.to))) {
    if (!to.empty()) {
      to += ", ";
    }
    to += FormatMailbox(mailbox);
  }
  const Mailbox from = ParseMailbox(OneLine(message.from));
  std::string out;
  out += "From: " +
         (from.address.empty() ? EncodeHeaderText(OneLine(message.from)) : FormatMailbox(from)) +
         "\r\n";
  out += "Subject: " + EncodeHeaderText(OneLine(message.subject)) + "\r\n";
  out += "To: " + to + "\r\n";
  out += "Date: " + OneLine(message.date) + "\r\n";
  if (!IsAscii(message.body)) {
    out += "MIME-Version: 1.0\r\n";
    out += "Content-Type: text/plain; charset=UTF-8\r\n";
    out += "Content-Transfer-Encoding: 8bit\r\n";
  }
  out += "\r\n";
  out += BodyLines(message.body);
  return out;
}

}  // namespace mail_message
