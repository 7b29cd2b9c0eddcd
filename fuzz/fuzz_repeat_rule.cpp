// A repeat rule from an events file, as anyone may have written it: checked, put into
// words, opened in the dialog's choices and run to its next occurrence, without a crash
// or a search that does not end.
#include <cstddef>
#include <cstdint>
#include <string>

#include "DateTime.h"
#include "events/eventExtras.h"
#include "events/repeatRule.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string tail(reinterpret_cast<const char*>(data), size);
  const event_extras::Extras extras = event_extras::Read(tail);
  event_extras::WithSnooze(event_extras::WithRule(tail, extras.rule, extras.consumed + 1), "");
  const std::string& rule = extras.rule;
  repeat_rule::Describe(rule);
  repeat_rule::RuleFromChoices(repeat_rule::ChoicesFromRule(rule));
  if (repeat_rule::Check(rule).empty()) {
    const Platform::TDateTime end = Platform::EncodeDateTime(2026, 3, 29, 1, 30, 0, 0);
    repeat_rule::Next(rule, end, extras.consumed & 0xFF, end + 400.5, 2.0);
  }
  return 0;
}
