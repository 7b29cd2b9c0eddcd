// Server replies as the SMTP client collects them: line after line until the reply is
// complete or refused.
#include <cstddef>
#include <cstdint>
#include <string>

#include "channels/email/smtpClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  smtp::ReplyParser parser;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    try {
      if (parser.Feed(line)) {
        (void)parser.Result().Text();
        parser = smtp::ReplyParser();
      }
    } catch (const std::exception&) {
      parser = smtp::ReplyParser();
    }
    start = end + 1;
  }
  return 0;
}
