// Reading and writing one setting under the program's key, the way every setting is
// kept: the current user's copy first, each write repeated for the whole machine.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CommonCodeLite.h"

namespace settings_store {

// How a value is kept: a flag and an integer as REG_DWORD, a text as REG_SZ, a font as
// its 60-byte description.
enum class Form { Flag, Integer, Text, Font };

// The value as stored, or nothing when it is absent or cannot be read (the registry
// functions have then said why in their "Problem Detected" box). It is read twice, first
// to learn whether it is there and then to convert it, so a value that vanishes in between
// comes back as an empty one of its kind. Not for fonts.
std::optional<VIDodadaZadoVove::Variant> Read(const std::string& name, Form form);
// Writes under the current user and, where permitted, the machine.
bool Write(const std::string& name, const VIDodadaZadoVove::Variant& value);

// Fonts are read once; nothing when absent.
std::unique_ptr<VIDodadaZadoVove::LOGFONTA> ReadFont(const std::string& name);
bool WriteFont(const std::string& name, const VIDodadaZadoVove::LOGFONTA& font);

// Texts equal without regard to letter case (Unicode case folding of UTF-8 texts).
bool SameText(const std::string& a, const std::string& b);
// The position of the first item equal to text without regard to letter case, or -1.
int IndexOfText(const std::vector<std::string>& items, const std::string& text);

}  // namespace settings_store
