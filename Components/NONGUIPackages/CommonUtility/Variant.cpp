#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>

#include "CommonCodeLite.h"
#include "DateTime.h"
#include "Exceptions.h"

namespace VIDodadaZadoVove {

namespace {

// Where a type code keeps its payload: integers, the byte and booleans (0 or 1) and
// currency (a count of ten-thousandths) in int_, the floating kinds in double_, texts in
// text_. Every other code carries nothing.
enum class Payload { None, Integer, Boolean, Real, DateTime, Currency, Text };

Payload PayloadOf(int type) {
  switch (type) {
    case 2:
    case 3:
    case 17:
      return Payload::Integer;
    case 11:
      return Payload::Boolean;
    case 4:
    case 5:
      return Payload::Real;
    case 7:
      return Payload::DateTime;
    case 6:
      return Payload::Currency;
    case 8:
    case 256:
      return Payload::Text;
    default:
      return Payload::None;
  }
}

std::string_view Trimmed(const std::string& text) {
  std::string_view view(text);
  while (!view.empty() && (view.front() == ' ' || view.front() == '\t')) {
    view.remove_prefix(1);
  }
  while (!view.empty() && (view.back() == ' ' || view.back() == '\t')) {
    view.remove_suffix(1);
  }
  return view;
}

bool ParseDouble(std::string_view text, double& result) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
  }
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, result);
  return ec == std::errc() && ptr == end && !text.empty();
}

// Rounds half to even, as the toolkit's variant conversions do; out-of-range values are
// clamped rather than left undefined.
std::int32_t RoundToInt32(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  const double rounded = std::nearbyint(value);
  if (rounded >= 2147483647.0) {
    return std::numeric_limits<std::int32_t>::max();
  }
  if (rounded <= -2147483648.0) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(rounded);
}

// General format, 15 significant digits, '.' as the decimal point: "0.5", "1E20", "1.5E-7".
std::string GeneralFormat(double value) {
  if (std::isnan(value)) {
    return "NAN";
  }
  if (std::isinf(value)) {
    return value > 0 ? "INF" : "-INF";
  }
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  std::string text(buffer);
  const std::size_t e = text.find('E');
  if (e == std::string::npos) {
    return text;
  }
  // "%G" writes "1E+20" and "1.5E-07"; the program's form drops the '+' and leading zeros.
  std::string mantissa = text.substr(0, e);
  std::string exponent = text.substr(e + 1);
  std::string sign;
  if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
    if (exponent[0] == '-') {
      sign = "-";
    }
    exponent.erase(0, 1);
  }
  exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
  return mantissa + "E" + sign + exponent;
}

}  // namespace

Variant::Variant() = default;

Variant Variant::OfType(int typeCode) {
  Variant v;
  v.type_ = typeCode;
  return v;
}

Variant::Variant(std::int32_t value) : type_(3), int_(value) {}
Variant::Variant(double value) : type_(5), double_(value) {}
Variant::Variant(bool value) : type_(11), int_(value ? 1 : 0) {}
Variant::Variant(const std::string& value) : type_(256), text_(value) {}
Variant::Variant(const char* value) : type_(256), text_(value != nullptr ? value : "") {}

std::int32_t Variant::AsInt() const {
  switch (PayloadOf(type_)) {
    case Payload::Integer:
    case Payload::Boolean:
      return static_cast<std::int32_t>(int_);
    case Payload::Real:
    case Payload::DateTime:
      return RoundToInt32(double_);
    case Payload::Currency:
      return RoundToInt32(static_cast<double>(int_) / 10000.0);
    case Payload::Text: {
      const std::string_view text = Trimmed(text_);
      if (text.empty()) {
        return 0;
      }
      std::int32_t whole = 0;
      const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), whole);
      if (ec == std::errc() && ptr == text.data() + text.size()) {
        return whole;
      }
      double real = 0;
      if (ParseDouble(text, real) && std::abs(real) < 2147483648.0) {
        return RoundToInt32(real);
      }
      throw Platform::EConvertError(
          Platform::Format("'%s' is not a valid integer value", text_.c_str()));
    }
    case Payload::None:
      break;
  }
  return 0;
}

double Variant::AsDouble() const {
  switch (PayloadOf(type_)) {
    case Payload::Integer:
    case Payload::Boolean:
      return static_cast<double>(int_);
    case Payload::Real:
    case Payload::DateTime:
      return double_;
    case Payload::Currency:
      return static_cast<double>(int_) / 10000.0;
    case Payload::Text: {
      const std::string_view text = Trimmed(text_);
      double value = 0;
      if (text.empty() || ParseDouble(text, value)) {
        return value;
      }
      throw Platform::EConvertError(
          Platform::Format("'%s' is not a valid floating point value", text_.c_str()));
    }
    case Payload::None:
      break;
  }
  return 0.0;
}

bool Variant::AsBool() const {
  switch (PayloadOf(type_)) {
    case Payload::Integer:
    case Payload::Boolean:
    case Payload::Currency:
      return int_ != 0;
    case Payload::Real:
    case Payload::DateTime:
      return double_ != 0.0;
    case Payload::Text: {
      const std::string_view text = Trimmed(text_);
      auto equalsNoCase = [text](std::string_view word) {
        if (text.size() != word.size()) {
          return false;
        }
        for (std::size_t i = 0; i < text.size(); ++i) {
          if ((text[i] | 0x20) != word[i]) {
            return false;
          }
        }
        return true;
      };
      double value = 0;
      if (text.empty() || equalsNoCase("false")) {
        return false;
      }
      if (equalsNoCase("true")) {
        return true;
      }
      if (ParseDouble(text, value)) {
        return value != 0.0;
      }
      throw Platform::EConvertError(
          Platform::Format("'%s' is not a valid boolean value", text_.c_str()));
    }
    case Payload::None:
      break;
  }
  return false;
}

std::string Variant::AsString() const {
  switch (PayloadOf(type_)) {
    case Payload::Integer:
      return std::to_string(static_cast<std::int32_t>(int_));
    case Payload::Boolean:
      return int_ != 0 ? "True" : "False";
    case Payload::Real:
      return GeneralFormat(double_);
    case Payload::DateTime:
      return std::isfinite(double_) ? Platform::DateTimeToStr(double_) : "";
    case Payload::Currency:
      return GeneralFormat(static_cast<double>(int_) / 10000.0);
    case Payload::Text:
      return text_;
    case Payload::None:
      break;
  }
  return "";
}

}  // namespace VIDodadaZadoVove
