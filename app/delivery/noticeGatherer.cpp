#include "delivery/noticeGatherer.h"

#include <set>

namespace delivery {

std::vector<std::string> NoticeGatherer::Add(const std::string& item, const std::string& body,
                                             Clock::time_point now) {
  if (windowEnd_ && now < *windowEnd_) {
    held_.emplace_back(item, body);
    return {};
  }
  // A quiet spell ends: whatever a late Flush would have shown goes first.
  std::vector<std::string> shown = Flush(now);
  if (!shown.empty()) {
    held_.emplace_back(item, body);
    return shown;
  }
  windowEnd_ = now + window_;
  return {body};
}

std::vector<std::string> NoticeGatherer::Flush(Clock::time_point now) {
  if (!windowEnd_ || now < *windowEnd_ || held_.empty()) {
    if (windowEnd_ && now >= *windowEnd_) {
      windowEnd_.reset();  // quiet: the next failure is shown at once
    }
    return {};
  }
  std::set<std::string> items;
  std::string joined;
  for (const auto& [item, body] : held_) {
    items.insert(item);
    joined += (joined.empty() ? "" : "\n") + body;
  }
  held_.clear();
  windowEnd_ = now + window_;
  // One item's channels are told in its own words; more items by their number.
  return {items.size() == 1 ? joined : CountText(items.size())};
}

std::optional<NoticeGatherer::Clock::time_point> NoticeGatherer::Due() const {
  if (held_.empty()) {
    return std::nullopt;
  }
  return windowEnd_;
}

std::string NoticeGatherer::CountText(std::size_t reminders) {
  return std::to_string(reminders) + " reminders were not delivered; see the delivery log";
}

}  // namespace delivery
