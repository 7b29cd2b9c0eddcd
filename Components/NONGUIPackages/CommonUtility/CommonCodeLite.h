// The common utility library: registry access, delimited values and string
// replacement, process launching.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace VIDodadaZadoVove {

using HKEY = std::uintptr_t;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001, HKEY_LOCAL_MACHINE = 0x80000002;

// A tagged value with which single settings pass to and from the registry.
// Type codes: 0 empty, 1 null, 2 16-bit int, 3 int, 4 single, 5 double, 6 currency,
// 7 date-time, 8 wide string, 11 bool, 12 variant, 17 byte, 256 text.
class Variant {
 public:
  Variant();                            // null
  static Variant OfType(int typeCode);  // an empty payload of any code, e.g. 12
  Variant(std::int32_t value);
  Variant(double value);
  Variant(bool value);
  Variant(const std::string& value);
  Variant(const char* value);

  int Type() const { return type_; }
  bool IsNull() const { return type_ == 1; }
  // Conversions between the payload kinds; a null or empty value gives 0, false or "".
  std::int32_t AsInt() const;
  double AsDouble() const;
  bool AsBool() const;
  std::string AsString() const;

 private:
  friend struct VariantAccess;
  int type_ = 1;
  std::int64_t int_ = 0;
  double double_ = 0.0;
  std::string text_;
};

extern bool bForceNoRegistryFlush_m;

// The Windows font description, stored as a 60-byte binary value.
#pragma pack(push, 1)
struct LOGFONTA {
  std::int32_t lfHeight;
  std::int32_t lfWidth;
  std::int32_t lfEscapement;
  std::int32_t lfOrientation;
  std::int32_t lfWeight;
  std::uint8_t lfItalic;
  std::uint8_t lfUnderline;
  std::uint8_t lfStrikeOut;
  std::uint8_t lfCharSet;
  std::uint8_t lfOutPrecision;
  std::uint8_t lfClipPrecision;
  std::uint8_t lfQuality;
  std::uint8_t lfPitchAndFamily;
  char lfFaceName[32];
};
#pragma pack(pop)
static_assert(sizeof(LOGFONTA) == 60, "LOGFONTA is the 60-byte registry record");

Variant ReadFromRegistry(HKEY root, std::string key, std::string value, int typeCode,
                         bool preferUser, std::string computer);
bool WriteToRegistry(HKEY root, std::string key, std::string value, Variant data, bool alsoMachine,
                     std::string computer);
std::unique_ptr<std::uint8_t[]> ReadBinaryFromRegistry(HKEY root, std::string key,
                                                       std::string value, int& size,
                                                       bool preferUser, std::string computer);
bool WriteFontToRegistry(HKEY root, std::string key, std::string value, const LOGFONTA* font,
                         bool alsoMachine, std::string computer);
std::unique_ptr<LOGFONTA> ReadFontFromRegistry(HKEY root, std::string key, std::string value,
                                               bool preferUser, std::string computer);
std::vector<std::string> ReadKeysFromRegistry(HKEY root, std::string key, bool preferUser,
                                              std::string computer);
std::vector<std::string> ReadKeyValueNamesFromRegistry(HKEY root, std::string key, bool preferUser,
                                                       std::string computer);
void DeleteKeyFromRegistry(HKEY root, std::string key, bool alsoMachine, std::string computer);
void DeleteFromRegistry(HKEY root, std::string key, std::string value, bool alsoMachine,
                        std::string computer);

std::vector<std::string> GetDelimitedValues(std::string Source, std::string Delimiter, int StartPos,
                                            int EndPos, bool SkipFirst, bool CaseSensitive,
                                            bool RequireDelimiter);
std::string qsStringReplace(std::string Source, std::string Find, std::string Replace, bool All);
bool LaunchApplication(std::string CommandLine, std::uint16_t ShowWindow, bool Wait,
                       std::uint32_t* ExitCode, bool Detached);

// The words LaunchApplication makes of a command line: blanks separate words, double
// quotes group them and are removed; backslashes are literal unless they precede a double
// quote, where 2n give n backslashes and the quote groups, 2n+1 give n and a literal quote.
std::vector<std::string> SplitCommandLine(const std::string& line);
// The longest command line LaunchApplication starts; a longer one is not started.
inline constexpr std::size_t kMaxCommandLineLength = 4095;
// Text for a command line that LaunchApplication's splitter turns back into exactly the
// value, as one word of its own or as part of the word it is written in, whatever the
// value holds; NUL bytes are dropped (a command line ends at its first). insideQuotes: the
// text goes where the line is inside a double-quoted group.
std::string QuoteCommandLineArgument(const std::string& value, bool insideQuotes);
// Whether the splitter is inside a double-quoted group at a byte position of a line.
bool CommandLineQuotedAt(const std::string& line, std::size_t pos);

// Where the library's message boxes go ("Problem Detected" reports). The default
// writes "caption: text" to standard error; the program points it at its dialogs.
using MessageBoxHandler = std::function<void(const std::string& text, const std::string& caption)>;
// Installs a handler (an empty one restores the default) and returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
void ShowLibraryMessageBox(const std::string& text, const std::string& caption);

}  // namespace VIDodadaZadoVove
