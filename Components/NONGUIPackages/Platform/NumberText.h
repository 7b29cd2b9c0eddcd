// Numbers as text the way the toolkit reads and writes them, with the decimal separator
// of FormatSettings() (DateTime.h).
#pragma once

#include <cstdint>
#include <string>

namespace Platform {

// Numbers in the locale's form. StrToFloat accepts blanks around, a sign, digits with
// FormatSettings().DecimalSeparator and an exponent; StrToInt decimal or hexadecimal
// ("$FF", "0xFF") 32-bit integers. Both raise EConvertError with the toolkit's texts.
double StrToFloat(const std::string& text);
bool TryStrToFloat(const std::string& text, double& result);
std::int32_t StrToInt(const std::string& text);
bool TryStrToInt(const std::string& text, std::int32_t& result);
// General format, 15 significant digits: "0.5", "1E20", "1.5E-7".
std::string FloatToStr(double value);
std::string IntToStr(std::int64_t value);

}  // namespace Platform
