#include "regFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace regfile {

namespace {

using Platform::RegDataType;

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::string_view kVersion5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kVersion4 = "REGEDIT4";

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The next code point of UTF-8 text at i (advanced past it); kReplacement for a bad
// sequence, of which one byte is consumed.
char32_t NextUtf8(std::string_view text, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(text[i++]);
  if (b0 < 0x80) {
    return b0;
  }
  int extra;
  char32_t c;
  char32_t minimum;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, c = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, c = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, c = b0 & 0x07, minimum = 0x10000;
  } else {
    return kReplacement;
  }
  if (i + static_cast<std::size_t>(extra) > text.size()) {
    return kReplacement;
  }
  for (int k = 0; k < extra; ++k) {
    const auto b = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) {
      return kReplacement;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    return kReplacement;
  }
  i += static_cast<std::size_t>(extra);
  return c;
}

// Windows-1252 positions 0x80..0x9F; the rest of the page is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) {
    s.remove_prefix(1);
  }
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) {
    s.remove_suffix(1);
  }
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), s.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// The file as UTF-8 text: UTF-16LE after its byte-order mark, UTF-8 after its own, else
// UTF-8 when the bytes are valid UTF-8 (a file written on this system) and the
// Windows-1252 page otherwise.
std::string DecodeFile(std::string_view file) {
  if (file.size() >= 2 && file[0] == '\xFF' && file[1] == '\xFE') {
    return Utf16LeToUtf8(file.substr(2));
  }
  if (file.substr(0, 3) == "\xEF\xBB\xBF") {
    return std::string(file.substr(3));
  }
  return IsUtf8(file) ? std::string(file) : Cp1252ToUtf8(file);
}

class Parser {
 public:
  explicit Parser(std::string text) : text_(std::move(text)) { SplitLines(); }

  std::vector<Key> Run() {
    std::size_t at = 0;
    while (at < lines_.size() && Trim(lines_[at]).empty()) {
      ++at;
    }
    const std::string_view header = at < lines_.size() ? Trim(lines_[at]) : std::string_view();
    if (header == kVersion5) {
      unicode_ = true;
    } else if (header != kVersion4) {
      throw ParseError(static_cast<int>(at) + 1, "not a registry file: the first line must be \"" +
                                                     std::string(kVersion5) + "\" or \"" +
                                                     std::string(kVersion4) + "\"");
    }
    for (++at; at < lines_.size(); ++at) {
      const int number = static_cast<int>(at) + 1;
      const std::string_view line = Trim(lines_[at]);
      if (line.empty() || line.front() == ';') {
        continue;
      }
      if (line.front() == '[') {
        KeyLine(line, number);
      } else if (line.front() == '"' || line.front() == '@') {
        if (keys_.empty()) {
          throw ParseError(number, "a value before the first key");
        }
        keys_.back().values.push_back(ValueLine(Joined(at), number));
      } else {
        throw ParseError(number, "neither a [key], a value nor a ; comment");
      }
    }
    return std::move(keys_);
  }

 private:
  void SplitLines() {
    std::size_t start = 0;
    while (start <= text_.size()) {
      std::size_t end = text_.find('\n', start);
      if (end == std::string::npos) {
        end = text_.size();
      }
      std::string_view line(text_.data() + start, end - start);
      if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
      }
      lines_.push_back(line);
      start = end + 1;
    }
  }

  void KeyLine(std::string_view line, int number) {
    if (line.back() != ']' || line.size() < 3) {
      throw ParseError(number, "a key line must be [KEY] or [-KEY]");
    }
    Key key;
    key.line = number;
    std::string_view name = line.substr(1, line.size() - 2);
    if (name.front() == '-') {
      key.remove = true;
      name.remove_prefix(1);
    }
    if (name.empty()) {
      throw ParseError(number, "a key line without a key name");
    }
    key.root = SplitRoot(std::string(name), key.rootName, key.path);
    if (key.rootName.empty()) {
      // "[\]" would otherwise be written back as "[]", which no file may hold.
      throw ParseError(number,
                       "a key name must begin with its root key, such as HKEY_CURRENT_USER");
    }
    if (key.remove && key.path.find_first_not_of('\\') == std::string::npos) {
      throw ParseError(number, "a whole root cannot be deleted");
    }
    keys_.push_back(std::move(key));
  }

  // A value line with its continuation lines: data that ends in a backslash goes on in
  // the next line. (A quoted text ends in its quote, so only hexadecimal data does.)
  std::string Joined(std::size_t& at) {
    const int first = static_cast<int>(at) + 1;
    std::string joined(Trim(lines_[at]));
    while (!joined.empty() && joined.back() == '\\') {
      joined.pop_back();
      if (++at == lines_.size()) {
        throw ParseError(first, "the file ends inside a continued value");
      }
      joined += Trim(lines_[at]);
    }
    return joined;
  }

  // A quoted text from s[i] = '"'; i ends after the closing quote.
  static std::string Quoted(std::string_view s, std::size_t& i, int number) {
    std::string out;
    for (++i; i < s.size(); ++i) {
      if (s[i] == '"') {
        ++i;
        return out;
      }
      if (s[i] == '\\') {
        if (++i == s.size() || (s[i] != '\\' && s[i] != '"')) {
          throw ParseError(number, "only \\\\ and \\\" may follow a backslash in a quoted text");
        }
      }
      out += s[i];
    }
    throw ParseError(number, "a quoted text without its closing quote");
  }

  Value ValueLine(const std::string& line, int number) {
    Value value;
    value.line = number;
    std::size_t i = 0;
    if (line[0] == '@') {
      i = 1;
    } else {
      value.name = Quoted(line, i, number);
    }
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
      ++i;
    }
    if (i == line.size() || line[i] != '=') {
      throw ParseError(number, "'=' expected after the value name");
    }
    const std::string_view data = Trim(std::string_view(line).substr(i + 1));
    if (data == "-") {
      value.remove = true;
    } else if (!data.empty() && data.front() == '"') {
      std::size_t j = 0;
      value.data = Quoted(data, j, number);
      if (!Trim(data.substr(j)).empty()) {
        throw ParseError(number, "something after the closing quote");
      }
    } else if (StartsWithNoCase(data, "dword:")) {
      Dword(data.substr(6), value, number);
    } else if (StartsWithNoCase(data, "hex")) {
      Hex(data.substr(3), value, number);
    } else {
      throw ParseError(number, "the data must be \"text\", dword:, hex:, hex(N): or -");
    }
    return value;
  }

  static void Dword(std::string_view digits, Value& value, int number) {
    if (digits.empty() || digits.size() > 8) {
      throw ParseError(number, "dword: needs one to eight hexadecimal digits");
    }
    std::uint32_t n = 0;
    for (char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) {
        throw ParseError(number, "dword: needs one to eight hexadecimal digits");
      }
      n = (n << 4) | static_cast<std::uint32_t>(d);
    }
    value.type = RegDataType::DWord;
    value.number = n;
  }

  // After "hex": an optional "(N)", a colon, then bytes as pairs of hex digits with commas.
  void Hex(std::string_view rest, Value& value, int number) const {
    unsigned kind = 3;  // plain hex: binary
    if (!rest.empty() && rest.front() == '(') {
      const std::size_t close = rest.find(')');
      if (close == std::string_view::npos || close == 1 || close > 9) {
        throw ParseError(number, "hex(N): needs a hexadecimal type number");
      }
      kind = 0;
      for (char c : rest.substr(1, close - 1)) {
        const int d = HexDigit(c);
        if (d < 0) {
          throw ParseError(number, "hex(N): needs a hexadecimal type number");
        }
        kind = (kind << 4) | static_cast<unsigned>(d);
      }
      rest.remove_prefix(close + 1);
    }
    if (rest.empty() || rest.front() != ':') {
      throw ParseError(number, "':' expected after hex");
    }
    rest.remove_prefix(1);
    std::string bytes;
    if (!Trim(rest).empty()) {
      std::size_t start = 0;
      while (true) {
        const std::size_t comma = rest.find(',', start);
        const std::string_view item =
            Trim(rest.substr(start, comma == std::string_view::npos ? rest.npos : comma - start));
        if (item.size() != 2 || HexDigit(item[0]) < 0 || HexDigit(item[1]) < 0) {
          throw ParseError(number, "hexadecimal data must be pairs of hex digits between commas");
        }
        bytes += static_cast<char>(HexDigit(item[0]) * 16 + HexDigit(item[1]));
        if (comma == std::string_view::npos) {
          break;
        }
        start = comma + 1;
      }
    }
    // Texts given in hex: UTF-16LE in version 5.00 files, the ANSI page in REGEDIT4;
    // they end at their first zero character, as the registry reads them.
    const auto asText = [this](const std::string& raw) {
      std::string text = unicode_ ? Utf16LeToUtf8(raw) : Cp1252ToUtf8(raw);
      return text.substr(0, text.find('\0'));
    };
    if (kind == 1 || kind == 2) {
      value.type = kind == 1 ? RegDataType::String : RegDataType::ExpandString;
      value.data = asText(bytes);
    } else if (kind == 4 && bytes.size() == 4) {
      value.type = RegDataType::DWord;
      for (int k = 3; k >= 0; --k) {
        value.number = (value.number << 8) | static_cast<unsigned char>(bytes[std::size_t(k)]);
      }
    } else {
      // Binary, and the types the store does not keep (multi-texts, 64-bit numbers, ...)
      // as their raw bytes.
      value.type = RegDataType::Binary;
      value.data = std::move(bytes);
    }
  }

  std::string text_;
  std::vector<std::string_view> lines_;
  std::vector<Key> keys_;
  bool unicode_ = false;
};

void CheckWritable(const std::string& name) {
  if (name.find_first_of("\r\n") != std::string::npos) {
    throw std::invalid_argument("'" + name + "' holds a line break, which the file cannot carry");
  }
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') {
      out += '\\';
    }
    out += c;
  }
  return out;
}

// "hex(N):" data as the registry editor writes it: lines kept under 80 characters,
// continued with a backslash and indented by two spaces.
void AppendHex(std::string& out, std::string_view bytes) {
  std::size_t column = out.size() - out.rfind('\n') - 1;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(bytes[i]));
    out += pair;
    column += 2;
    if (i + 1 < bytes.size()) {
      out += ',';
      ++column;
      if (column > 75) {
        out += "\\\r\n  ";
        column = 2;
      }
    }
  }
}

std::string TextBytes(const std::string& text) {
  return Utf8ToUtf16Le(text) + std::string(2, '\0');
}

}  // namespace

Root SplitRoot(const std::string& fullName, std::string& rootName, std::string& path) {
  const std::size_t slash = fullName.find('\\');
  rootName = fullName.substr(0, slash);
  path = slash == std::string::npos ? "" : fullName.substr(slash + 1);
  if (EqualNoCase(rootName, "HKEY_CURRENT_USER") || EqualNoCase(rootName, "HKCU")) {
    return Root::CurrentUser;
  }
  if (EqualNoCase(rootName, "HKEY_LOCAL_MACHINE") || EqualNoCase(rootName, "HKLM")) {
    return Root::LocalMachine;
  }
  return Root::Other;
}

std::vector<Key> Parse(std::string_view file) {
  if (file.size() >= 2 && file[0] == '\xFF' && file[1] == '\xFE' && file.size() % 2 != 0) {
    throw ParseError(1, "a UTF-16 file with an odd number of bytes");
  }
  return Parser(DecodeFile(file)).Run();
}

std::string Write(const std::vector<Key>& keys) {
  std::string text(kVersion5);
  text += "\r\n\r\n";
  for (const Key& key : keys) {
    CheckWritable(key.path);
    text += key.remove ? "[-" : "[";
    text += key.rootName;
    if (!key.path.empty()) {
      text += '\\' + key.path;
    }
    text += "]\r\n";
    for (const Value& value : key.values) {
      CheckWritable(value.name);
      text += value.name.empty() ? "@=" : "\"" + Escaped(value.name) + "\"=";
      if (value.remove) {
        text += '-';
      } else if (value.type == RegDataType::DWord) {
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", value.number);
        text += "dword:";
        text += digits;
      } else if (value.type == RegDataType::String &&
                 value.data.find_first_of("\r\n") == std::string::npos) {
        text += "\"" + Escaped(value.data) + "\"";
      } else if (value.type == RegDataType::String) {
        text += "hex(1):";  // a text with line breaks cannot stand between quotes
        AppendHex(text, TextBytes(value.data));
      } else if (value.type == RegDataType::ExpandString) {
        text += "hex(2):";
        AppendHex(text, TextBytes(value.data));
      } else {
        text += "hex:";
        AppendHex(text, value.data);
      }
      text += "\r\n";
    }
    text += "\r\n";
  }
  return "\xFF\xFE" + Utf8ToUtf16Le(text);
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  const auto unit = [&bytes](std::size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      const char16_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : char32_t(u));
  }
  return out;
}

std::string Utf8ToUtf16Le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  const auto put = [&out](char32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>((u >> 8) & 0xFF);
  };
  for (std::size_t i = 0; i < text.size();) {
    const char32_t c = NextUtf8(text, i);
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? char32_t(kCp1252High[b - 0x80]) : char32_t(b));
  }
  return out;
}

bool IsUtf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t start = i;
    if (NextUtf8(bytes, i) == kReplacement &&
        !(i - start == 3 && bytes.substr(start, 3) == "\xEF\xBF\xBD")) {
      return false;
    }
  }
  return true;
}

}  // namespace regfile
