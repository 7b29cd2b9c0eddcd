#include "channels/program/customApp.h"

#include <exception>
#include <utility>

#include "CommonCodeLite.h"

namespace {

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return text;
}

// The text put in place of a placeholder at a position of the line: quoted by the
// command-line splitter's own rules, so that the program receives the value exactly and
// in one piece, whatever quotes, blanks, backslashes or NUL bytes it holds. A description
// is always enclosed in double quotes.
std::string Substitute(std::string& line, std::size_t at, const std::string& value,
                       bool alwaysQuoted) {
  const bool inside = VIDodadaZadoVove::CommandLineQuotedAt(line, at);
  std::string text = VIDodadaZadoVove::QuoteCommandLineArgument(value, inside);
  if (alwaysQuoted && text.front() != '"') {
    text = inside ? "\"\"" + text + "\"\"" : "\"" + text + "\"";
  }
  if (text.front() == '"') {
    // Backslashes typed right before the placeholder now precede a quote: doubled, they
    // stay the backslashes they were.
    std::size_t backslashes = 0;
    while (backslashes < at && line[at - 1 - backslashes] == '\\') {
      ++backslashes;
    }
    text.insert(0, backslashes, '\\');
  }
  return text;
}

}  // namespace

std::string ParseCustomizedString(const std::string& Template, const std::string& ItemID,
                                  const std::string& ItemDesc, const std::string& ItemDate,
                                  const std::string& ItemTime, const std::string& ItemTZ,
                                  bool QuoteDesc) {
  std::string result = Template;
  try {
    // In ascending order of the names: a value put in by one may hold a later one.
    const std::pair<const char*, const std::string*> placeholders[] = {
        {"%ITEMDATE", &ItemDate}, {"%ITEMDESC", &ItemDesc}, {"%ITEMID", &ItemID},
        {"%ITEMTIME", &ItemTime}, {"%ITEMTZ", &ItemTZ},
    };
    for (const auto& [name, value] : placeholders) {
      const std::string placeholder(name);
      const std::size_t at = UpperAscii(result).find(placeholder);
      if (at != std::string::npos) {
        result.replace(at, placeholder.size(),
                       Substitute(result, at, *value, QuoteDesc && value == &ItemDesc));
      }
    }
  } catch (const std::exception& e) {
    const std::string text =
        std::string("Internal Error in [ParseCustomizedString] msg: ") + e.what();
    // The program points the library's box at its dialogs.
    VIDodadaZadoVove::ShowLibraryMessageBox(text, "Error");
  }
  return result;
}
