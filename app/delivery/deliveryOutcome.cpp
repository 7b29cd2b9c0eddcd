#include "deliveryOutcome.h"

#include <algorithm>

namespace delivery {

std::string ChannelText(const ChannelOutcome& outcome) {
  const bool addressed = outcome.channel == kEmail || outcome.channel == kMessenger;
  std::string text = outcome.channel + (addressed ? " to " : " ") + outcome.target;
  switch (outcome.result) {
    case Result::Pending:
      return text + " pending";
    case Result::Done:
      return text + (outcome.channel == kSound     ? " started"
                     : outcome.channel == kProgram ? " launched"
                                                   : " sent");
    case Result::Failed:
      return text + " failed" + (outcome.reason.empty() ? "" : ": " + outcome.reason);
  }
  return text;
}

std::uint64_t OutcomeStore::Begin(const std::string& item, const std::string& notifiedAt) {
  items_[item] = ItemOutcome{++last_, notifiedAt, {}};
  return last_;
}

void OutcomeStore::Expect(const std::string& item, std::uint64_t dispatch,
                          const std::string& channel, const std::string& target) {
  const auto it = items_.find(item);
  if (it != items_.end() && it->second.dispatch == dispatch) {
    it->second.channels.push_back({channel, target, Result::Pending, ""});
  }
}

bool OutcomeStore::Settle(const std::string& item, std::uint64_t dispatch,
                          const std::string& channel, bool done, const std::string& reason) {
  const auto it = items_.find(item);
  if (it == items_.end() || it->second.dispatch != dispatch) {
    return false;
  }
  for (ChannelOutcome& outcome : it->second.channels) {
    if (outcome.channel == channel && outcome.result == Result::Pending) {
      outcome.result = done ? Result::Done : Result::Failed;
      outcome.reason = done ? "" : reason;
      return true;
    }
  }
  return false;
}

void OutcomeStore::Forget(const std::string& item) {
  items_.erase(item);
}

bool OutcomeStore::AnyFailed(const std::string& item) const {
  const ItemOutcome* outcome = Find(item);
  return outcome != nullptr &&
         std::any_of(outcome->channels.begin(), outcome->channels.end(),
                     [](const ChannelOutcome& c) { return c.result == Result::Failed; });
}

std::string OutcomeStore::Tooltip(const std::string& item) const {
  const ItemOutcome* outcome = Find(item);
  if (outcome == nullptr) {
    return "";
  }
  std::string text = "Notified " + outcome->notifiedAt + ":";
  for (std::size_t i = 0; i < outcome->channels.size(); ++i) {
    text += (i == 0 ? " " : "; ") + ChannelText(outcome->channels[i]);
  }
  return text;
}

const ItemOutcome* OutcomeStore::Find(const std::string& item) const {
  const auto it = items_.find(item);
  return it == items_.end() ? nullptr : &it->second;
}

}  // namespace delivery
