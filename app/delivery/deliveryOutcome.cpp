#include "delivery/deliveryOutcome.h"

#include <algorithm>
#include <chrono>

namespace delivery {

namespace {

constexpr const char* kDispatching = "Dispatching: ";

bool EndsWith(const std::string& text, const std::string& end, std::string& before) {
  if (text.size() < end.size() || text.compare(text.size() - end.size(), end.size(), end) != 0) {
    return false;
  }
  before = text.substr(0, text.size() - end.size());
  return true;
}

ChannelOutcome* FirstPending(ItemOutcome& outcome, const std::string& channel) {
  for (ChannelOutcome& c : outcome.channels) {
    if (c.channel == channel && c.result == Result::Pending) {
      return &c;
    }
  }
  return nullptr;
}

// A channel that runs at once logs "<target> started", "<target> launched",
// "<target> could not be started" or "<target> could not be played: <why>" (the window's
// own words, see the scheduler's channels).
void ReadImmediate(ItemOutcome& outcome, const Entry& entry) {
  std::string target;
  if (const std::size_t at = entry.text.find(kCouldNotBePlayed); at != std::string::npos) {
    outcome.channels.push_back(
        {entry.channel, entry.text.substr(0, at), Result::Failed,
         entry.text.substr(at + std::char_traits<char>::length(kCouldNotBePlayed))});
  } else if (EndsWith(entry.text, " could not be started", target)) {
    outcome.channels.push_back({entry.channel, target, Result::Failed, "could not be started"});
  } else if (EndsWith(entry.text, " started", target) ||
             EndsWith(entry.text, " launched", target)) {
    outcome.channels.push_back({entry.channel, target, Result::Done, ""});
  }
}

// A worker's channel: "Sending to: <target>" when handed over, its own lines, then the
// supervisor's "delivered" or "FAILED: <why>" when it ended.
void ReadWorker(ItemOutcome& outcome, const Entry& entry) {
  const std::string failed = "FAILED: ";
  if (entry.text.rfind(kSendingTo, 0) == 0) {
    outcome.channels.push_back({entry.channel,
                                entry.text.substr(std::char_traits<char>::length(kSendingTo)),
                                Result::Pending, ""});
    return;
  }
  const bool done = entry.text == "delivered";
  if (!done && entry.text.rfind(failed, 0) != 0) {
    return;
  }
  ChannelOutcome* channel = FirstPending(outcome, entry.channel);
  if (channel == nullptr) {
    // A log written before the recipients were logged: the channel without them.
    outcome.channels.push_back({entry.channel, "", Result::Pending, ""});
    channel = &outcome.channels.back();
  }
  channel->result = done ? Result::Done : Result::Failed;
  channel->reason = done ? "" : entry.text.substr(failed.size());
}

}  // namespace

std::map<std::string, LoggedDispatch> LatestDispatches(const std::vector<Entry>& entries) {
  std::map<std::string, LoggedDispatch> latest;
  for (const Entry& entry : entries) {
    if (entry.channel == kScheduler && entry.text.rfind(kDispatching, 0) == 0) {
      latest[entry.item] = {entry.text.substr(std::char_traits<char>::length(kDispatching)),
                            ItemOutcome{0, entry.time, {}}};
      continue;
    }
    const auto it = latest.find(entry.item);
    if (it == latest.end()) {
      continue;  // lines of a dispatch older than the log reaches back
    }
    if (entry.channel == kSound || entry.channel == kProgram) {
      ReadImmediate(it->second.outcome, entry);
    } else if (entry.channel == kEmail || entry.channel == kMessenger) {
      ReadWorker(it->second.outcome, entry);
    }
  }
  // Nothing of an earlier run is still on its way.
  for (auto& [item, dispatch] : latest) {
    for (ChannelOutcome& channel : dispatch.outcome.channels) {
      if (channel.result == Result::Pending) {
        channel.result = Result::Failed;
        channel.reason = kNoOutcomeLogged;
      }
    }
  }
  return latest;
}

DispatchesAhead::DispatchesAhead(const std::string& path, std::uintmax_t maxBytes)
    : result_(std::async(std::launch::async,
                         [path, maxBytes] { return LatestDispatches(ReadTail(path, maxBytes)); })) {
}

bool DispatchesAhead::Ready() const {
  return result_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

std::map<std::string, LoggedDispatch> DispatchesAhead::Take() {
  return result_.get();
}

bool DispatchedForEndTime(const std::string& text, const std::string& endTime) {
  // The text ends with " ending at: <end time> <zone>"; a description can hold the
  // words too, so the last of them counts.
  const std::string marker = " ending at: ";
  const std::size_t at = text.rfind(marker);
  if (at == std::string::npos || endTime.empty()) {
    return false;
  }
  const std::string rest = text.substr(at + marker.size());
  return rest == endTime || rest.rfind(endTime + " ", 0) == 0;
}

std::string ChannelText(const ChannelOutcome& outcome) {
  const bool addressed = outcome.channel == kEmail || outcome.channel == kMessenger;
  std::string text = outcome.channel;
  if (!outcome.target.empty()) {
    text += (addressed ? " to " : " ") + outcome.target;
  }
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
    if (expected) {
      expected(item, channel, target);
    }
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

bool OutcomeStore::Restore(const std::string& item, ItemOutcome outcome) {
  if (items_.count(item) != 0) {
    return false;
  }
  outcome.dispatch = ++last_;  // a number no report of this run carries
  items_.emplace(item, std::move(outcome));
  return true;
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
