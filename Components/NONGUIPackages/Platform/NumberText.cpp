#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>

#include "DateTime.h"
#include "Exceptions.h"

namespace Platform {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The number in the C form from_chars reads ('.' as the separator), with the decimal
// position of its first significant digit, by which an overflow is told from an
// underflow when from_chars reports the value out of range. False for anything but
// blanks, a sign, digits with the separator and an exponent.
bool ToCForm(const std::string& text, char separator, std::string& number, long& magnitude) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n && text[i] == ' ')
    ++i;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-')
      number += '-';
    ++i;
  }
  std::size_t digits = 0;
  magnitude = 0;
  bool seenSignificant = false;
  while (i < n && IsDigit(text[i])) {
    if (text[i] != '0')
      seenSignificant = true;
    if (seenSignificant)
      ++magnitude;
    number += text[i++];
    ++digits;
  }
  if (i < n && text[i] == separator) {
    number += '.';
    ++i;
    while (i < n && IsDigit(text[i])) {
      if (text[i] != '0')
        seenSignificant = true;
      if (!seenSignificant)
        --magnitude;
      number += text[i++];
      ++digits;
    }
  }
  if (digits == 0)
    return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    number += 'e';
    ++i;
    bool negativeExponent = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      negativeExponent = text[i] == '-';
      number += text[i++];
    }
    long exponent = 0;
    std::size_t exponentDigits = 0;
    while (i < n && IsDigit(text[i])) {
      if (exponent < 100000)
        exponent = exponent * 10 + (text[i] - '0');
      number += text[i++];
      ++exponentDigits;
    }
    if (exponentDigits == 0)
      return false;
    magnitude += negativeExponent ? -exponent : exponent;
  }
  while (i < n && text[i] == ' ')
    ++i;
  return i == n;
}

}  // namespace

bool TryStrToFloat(const std::string& text, double& result) {
  // Rebuilt with '.' for from_chars, which reads the C form whatever the locale.
  std::string number;
  long magnitude = 0;
  if (!ToCForm(text, FormatSettings().DecimalSeparator, number, magnitude))
    return false;
  double value = 0;
  const auto parsed = std::from_chars(number.data(), number.data() + number.size(), value);
  if (parsed.ptr != number.data() + number.size())
    return false;
  if (parsed.ec == std::errc::result_out_of_range) {
    if (magnitude > 0)
      return false;  // too large for a double
    value = number[0] == '-' ? -0.0 : 0.0;
  } else if (parsed.ec != std::errc()) {
    return false;
  }
  if (!std::isfinite(value))
    return false;
  result = value;
  return true;
}

double StrToFloat(const std::string& text) {
  double result = 0;
  if (!TryStrToFloat(text, result))
    throw EConvertError(Format("'%s' is not a valid floating point value", text.c_str()));
  return result;
}

bool TryStrToInt(const std::string& text, std::int32_t& result) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  bool hex = false;
  if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n)
    return false;
  if (hex) {
    // Hexadecimal is a 32-bit pattern, so "$FFFFFFFF" is -1 as in the toolkit.
    std::uint32_t bits = 0;
    const auto parsed = std::from_chars(text.data() + i, text.data() + n, bits, 16);
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + n)
      return false;
    result = static_cast<std::int32_t>(negative ? 0u - bits : bits);
    return true;
  }
  std::int64_t value = 0;
  for (; i < n; ++i) {
    if (!IsDigit(text[i]))
      return false;
    value = value * 10 + (text[i] - '0');
    if (value > 2147483648LL)
      return false;
  }
  if (negative)
    value = -value;
  if (value > 2147483647LL)
    return false;
  result = static_cast<std::int32_t>(value);
  return true;
}

std::int32_t StrToInt(const std::string& text) {
  std::int32_t result = 0;
  if (!TryStrToInt(text, result))
    throw EConvertError(Format("'%s' is not a valid integer value", text.c_str()));
  return result;
}

std::string FloatToStr(double value) {
  if (std::isnan(value))
    return "NAN";
  if (std::isinf(value))
    return value > 0 ? "INF" : "-INF";
  if (value == 0)
    return "0";
  // Fifteen significant digits, correctly rounded: "d.dddddddddddddde+XX".
  char buffer[64];
  const auto printed =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  const std::string sci(buffer, printed.ptr);
  const std::size_t ePos = sci.find('e');
  const bool negative = sci[0] == '-';
  std::string digits;
  for (std::size_t k = negative ? 1 : 0; k < ePos; ++k) {
    if (IsDigit(sci[k]))
      digits += sci[k];
  }
  int exponent = 0;
  const char* expBegin = sci.data() + ePos + 1;
  if (*expBegin == '+')
    ++expBegin;
  std::from_chars(expBegin, sci.data() + sci.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();

  const char separator = FormatSettings().DecimalSeparator;
  std::string out = negative ? "-" : "";
  if (exponent < -4 || exponent >= 15) {
    out += digits[0];
    if (digits.size() > 1) {
      out += separator;
      out.append(digits, 1);
    }
    out += 'E';
    out += std::to_string(exponent);
  } else if (exponent < 0) {
    out += '0';
    out += separator;
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
  } else {
    const auto intDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
      out += digits;
      out.append(intDigits - digits.size(), '0');
    } else {
      out.append(digits, 0, intDigits);
      out += separator;
      out.append(digits, intDigits);
    }
  }
  return out;
}

std::string IntToStr(std::int64_t value) {
  return std::to_string(value);
}

}  // namespace Platform
