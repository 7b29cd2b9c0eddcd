// Splitting a text at a delimiter and replacing occurrences of a text.

#include <algorithm>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "CommonCodeLite.h"
#include "Exceptions.h"

namespace VIDodadaZadoVove {

namespace {

// Lower-cases ASCII letters only, byte by byte, so a lowered copy keeps every
// byte at the same offset as the original (UTF-8 sequences are left untouched).
std::string AsciiLower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return lowered;
}

std::size_t SaturatingMul(std::size_t a, std::size_t b) {
  if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a) {
    return std::numeric_limits<std::size_t>::max();
  }
  return a * b;
}

std::size_t SaturatingAdd(std::size_t a, std::size_t b) {
  return b > std::numeric_limits<std::size_t>::max() - a ? std::numeric_limits<std::size_t>::max()
                                                         : a + b;
}

}  // namespace

std::vector<std::string> GetDelimitedValues(std::string Source, std::string Delimiter, int StartPos,
                                            int EndPos, bool SkipFirst, bool CaseSensitive,
                                            bool RequireDelimiter) {
  // The window [begin, end) of Source the values are taken from: EndPos cuts
  // first, then StartPos, both counted from 1 and clamped to the text.
  std::size_t end = Source.size();
  if (EndPos > 1) {
    end = std::min(end, static_cast<std::size_t>(EndPos) - 1);
  }
  std::size_t begin = 0;
  if (StartPos > 1) {
    begin = std::min(end, static_cast<std::size_t>(StartPos) - 1);
  }

  // Searches run on a lowered copy when case does not matter; the values are
  // still cut from the original text at the same offsets.
  const std::string_view original(Source.data() + begin, end - begin);
  std::string loweredText;
  std::string loweredDelimiter;
  std::string_view haystack = original;
  std::string_view needle = Delimiter;
  if (!CaseSensitive) {
    loweredText = AsciiLower(original);
    loweredDelimiter = AsciiLower(Delimiter);
    haystack = loweredText;
    needle = loweredDelimiter;
  }

  // An empty delimiter never matches; otherwise it would match everywhere and
  // the loop below would never advance.
  auto find = [&](std::size_t from) {
    return needle.empty() ? std::string_view::npos : haystack.find(needle, from);
  };

  std::size_t rest = 0;  // offset of the text not yet split off
  std::size_t p = find(rest);
  const bool found = p != std::string_view::npos;
  if (SkipFirst && found) {
    rest = p + needle.size();
    p = find(rest);
  }

  std::vector<std::string> values;
  if (p == std::string_view::npos) {
    if (!(RequireDelimiter && !found)) {
      values.emplace_back(original.substr(rest));
    }
    return values;
  }
  // One allocation for the list: an events file line holds some twenty values.
  std::size_t count = 2;
  for (std::size_t q = find(p + needle.size()); q != std::string_view::npos;
       q = find(q + needle.size())) {
    ++count;
  }
  values.reserve(count);
  while (p != std::string_view::npos) {
    values.emplace_back(original.substr(rest, p - rest));
    rest = p + needle.size();
    p = find(rest);
  }
  values.emplace_back(original.substr(rest));
  return values;
}

std::string qsStringReplace(std::string Source, std::string Find, std::string Replace, bool All) {
  if (All && (Find.empty() || Replace.find(Find) != std::string::npos)) {
    throw Platform::Exception(
        "qsStringReplace: with All set, Find must not be empty and Replace must not contain "
        "Find");
  }
  if (Source.empty()) {
    return std::string();
  }
  if (!All) {
    const std::size_t p = Source.find(Find);
    if (p != std::string::npos) {
      Source.replace(p, Find.size(), Replace);
    }
    return Source;
  }

  // Replacing every occurrence restarts the search at the beginning of the
  // changed text, so a replacement can combine with the text around it into a
  // new occurrence. This runs the same rewriting in one pass: `done` never holds
  // an occurrence, characters move one by one from `pending` (kept reversed, so
  // its front is its back), and when `done` comes to end with Find that is the
  // first occurrence of the whole text; it is swapped for Replace, which goes
  // back in front of the pending text.
  std::string done;
  std::string pending(Source.rbegin(), Source.rend());
  const std::string reversedReplace(Replace.rbegin(), Replace.rend());
  done.reserve(Source.size());

  // Some Find/Replace pairs keep producing new occurrences for a very long time
  // (Find "ab", Replace "bba" doubles the text for every leading "a"). Stop once
  // the work or the text clearly exceeds what an ordinary replacement needs.
  const std::size_t maxReplacements = SaturatingAdd(
      SaturatingMul(SaturatingMul(Source.size() + 1, Replace.size() + 1), 4), std::size_t{1} << 20);
  const std::size_t maxLength =
      SaturatingAdd(SaturatingMul(Source.size() + 1, Replace.size() + 1), std::size_t{1} << 24);
  std::size_t replacements = 0;

  while (!pending.empty()) {
    done.push_back(pending.back());
    pending.pop_back();
    if (done.back() == Find.back() && done.size() >= Find.size() &&
        done.compare(done.size() - Find.size(), Find.size(), Find) == 0) {
      done.resize(done.size() - Find.size());
      pending += reversedReplace;
      ++replacements;
      if (replacements > maxReplacements || done.size() + pending.size() > maxLength) {
        throw Platform::Exception(
            "qsStringReplace: with All set, the replacements keep creating new occurrences of "
            "Find");
      }
    }
  }
  return done;
}

}  // namespace VIDodadaZadoVove
