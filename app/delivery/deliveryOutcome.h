// What became of each item's last notification while the program runs: per channel,
// pending, done or failed and why. The window keeps one store on its own thread; the
// tooltip, the row's warning colour and the desktop notices read their texts from here.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

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
// "sound /s/ding.wav started", "program notify-send launched", "... pending".
std::string ChannelText(const ChannelOutcome& outcome);

struct ItemOutcome {
  std::uint64_t dispatch = 0;
  std::string notifiedAt;  // "hh:nn:ss"
  std::vector<ChannelOutcome> channels;
};

class OutcomeStore {
 public:
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
