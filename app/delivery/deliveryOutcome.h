// What became of each item's last notification while the program runs: per channel,
// pending, done or failed and why. The window keeps one store on its own thread; the
// tooltip, the row's warning colour and the desktop notices read their texts from here.
#pragma once

#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "delivery/deliveryLog.h"

namespace delivery {

// The channels' names, as the log and the texts write them.
inline constexpr const char* kSound = "sound";
inline constexpr const char* kMessenger = "messenger";
inline constexpr const char* kEmail = "e-mail";
inline constexpr const char* kProgram = "program";
inline constexpr const char* kScheduler = "scheduler";

// The colour (0x00BBGGRR) of a notified row of which a channel failed: orange, apart from
// the green of a delivered one.
inline constexpr std::uint32_t kWarningColour = 0x000080FFu;

enum class Result { Pending, Done, Failed };

struct ChannelOutcome {
  std::string channel;
  std::string target;  // recipients, sound file or command line
  Result result = Result::Pending;
  std::string reason;  // why it failed
};

// "e-mail to bob@example.test sent", "messenger to carol@x failed: 217 ...",
// "sound /s/ding.wav started", "program notify-send launched", "... pending"; without a
// target, "messenger failed: ...".
std::string ChannelText(const ChannelOutcome& outcome);

struct ItemOutcome {
  std::uint64_t dispatch = 0;
  std::string notifiedAt;  // "hh:nn:ss"; "yyyy-mm-dd hh:nn:ss" when read back from the log
  std::vector<ChannelOutcome> channels;
};

// What the log says after a sound's file when it was not played, before why:
// "/s/ding.wav could not be played: no audio output device".
inline constexpr const char* kCouldNotBePlayed = " could not be played: ";

// The log line that names a worker's recipients when it is handed over ("Sending to: " and
// the recipients); its "delivered" or "FAILED: <why>" line follows when it ends.
inline constexpr const char* kSendingTo = "Sending to: ";
// Why a channel the log saw start but never end counts as failed once the program has
// started again: nothing will settle it any more.
inline constexpr const char* kNoOutcomeLogged = "no outcome in the log";

// An item's latest dispatch as the log tells it.
struct LoggedDispatch {
  std::string text;  // the notification text ("Your scheduled item ... ending at: ...")
  ItemOutcome outcome;
};

// Each item's latest dispatch in the log's entries (oldest first): the lines of the item
// after its last "Dispatching: " line, read as the window settled them when it ran.
std::map<std::string, LoggedDispatch> LatestDispatches(const std::vector<Entry>& entries);

// Whether the notification text was sent for this end time, so that an item whose end
// time has changed since does not take an older dispatch for its own.
bool DispatchedForEndTime(const std::string& text, const std::string& endTime);

// The latest dispatches of the log at path (each file's last maxBytes), read and sorted on
// a thread of its own from the moment this is made, so that start-up does not wait for
// the disk. Take waits for the reading, raises what it raised, and may be called once;
// the object's end waits for the reading too.
class DispatchesAhead {
 public:
  DispatchesAhead(const std::string& path, std::uintmax_t maxBytes);
  bool Ready() const;  // Take would not wait
  std::map<std::string, LoggedDispatch> Take();

 private:
  std::future<std::map<std::string, LoggedDispatch>> result_;
};

class OutcomeStore {
 public:
  // Told of every channel a dispatch waits for, as it is expected.
  std::function<void(const std::string& item, const std::string& channel,
                     const std::string& target)>
      expected;

  // A new dispatch of the item replaces what its last one left; returns its number,
  // which the channels' reports carry.
  std::uint64_t Begin(const std::string& item, const std::string& notifiedAt);
  void Expect(const std::string& item, std::uint64_t dispatch, const std::string& channel,
              const std::string& target);
  // Settles a channel of that dispatch; false, and nothing changes, when the item has
  // been dispatched again or forgotten since.
  bool Settle(const std::string& item, std::uint64_t dispatch, const std::string& channel,
              bool done, const std::string& reason);
  void Forget(const std::string& item);
  // An outcome from an earlier run, kept unless the item has one of this run already;
  // true when kept.
  bool Restore(const std::string& item, ItemOutcome outcome);
  bool AnyFailed(const std::string& item) const;
  // "Notified 12:44:56: e-mail to bob@example.test sent; messenger to ... failed: ...";
  // empty when nothing is known of the item.
  std::string Tooltip(const std::string& item) const;
  const ItemOutcome* Find(const std::string& item) const;

 private:
  std::uint64_t last_ = 0;
  std::map<std::string, ItemOutcome> items_;
};

}  // namespace delivery
