#include "events/eventExtras.h"

#include <vector>

#include "events/eventsFile.h"

namespace event_extras {

namespace {

constexpr std::size_t kRule = 0, kConsumed = 1, kSnooze = 2, kSnoozeSlot = 3;

// A tail cut at every "|"; terminated when the text ended with one, as a saved line does.
struct Fields {
  std::vector<std::string> values;
  bool terminated = true;
};

Fields Cut(std::string_view tail) {
  Fields fields;
  if (tail.empty()) {
    return fields;
  }
  std::size_t start = 0;
  for (std::size_t bar = tail.find('|'); bar != std::string_view::npos;
       bar = tail.find('|', start)) {
    fields.values.emplace_back(tail.substr(start, bar - start));
    start = bar + 1;
  }
  fields.terminated = start == tail.size();
  if (!fields.terminated) {
    fields.values.emplace_back(tail.substr(start));
  }
  return fields;
}

std::string Join(const Fields& fields) {
  std::string text;
  for (std::size_t k = 0; k < fields.values.size(); ++k) {
    text += fields.values[k];
    if (k + 1 < fields.values.size() || fields.terminated) {
      text += '|';
    }
  }
  return text;
}

// Sets one pair, padding the pairs before it; a pair that ends the tail and holds
// nothing is dropped, with any empty pairs before it, so no empty pairs trail a line.
std::string SetPair(std::string_view tail, std::size_t first, const std::string& text,
                    const std::string& slot) {
  Fields fields = Cut(tail);
  if (fields.values.size() < first + 2) {
    if (text.empty() && (slot.empty() || slot == "0")) {
      if (fields.values.size() > first) {
        fields.values.resize(first);  // a cut-off pair of nothing
      }
    } else {
      for (std::size_t k = fields.values.size(); k < first + 2; ++k) {
        fields.values.emplace_back(k % 2 == 0 ? "" : "0");
      }
    }
  }
  if (fields.values.size() >= first + 2) {
    fields.values[first] = text;
    fields.values[first + 1] = slot;
  }
  while (fields.values.size() >= 2 && fields.values.size() % 2 == 0 &&
         fields.values[fields.values.size() - 2].empty() &&
         events_file::ObjectFromField(fields.values.back()) == 0) {
    fields.values.resize(fields.values.size() - 2);
  }
  if (fields.values.empty()) {
    return {};
  }
  return Join(fields);
}

}  // namespace

Extras Read(std::string_view tail) {
  const Fields fields = Cut(tail);
  const auto at = [&fields](std::size_t k) -> const std::string& {
    static const std::string kNone;
    return k < fields.values.size() ? fields.values[k] : kNone;
  };
  Extras extras;
  extras.rule = at(kRule);
  extras.consumed = events_file::ObjectFromField(at(kConsumed));
  extras.snoozeUntil = at(kSnooze);
  return extras;
}

std::string WithRule(std::string_view tail, const std::string& rule, std::intptr_t consumed) {
  return SetPair(tail, kRule, rule, std::to_string(consumed));
}

std::string WithSnooze(std::string_view tail, const std::string& snoozeUntil) {
  static_assert(kSnoozeSlot == kSnooze + 1);
  return SetPair(tail, kSnooze, snoozeUntil, "0");
}

}  // namespace event_extras
