// Failure notices in a burst: the first failure after a quiet spell is shown at once;
// those that follow within a short window are held and, when the window closes, shown
// as one notice that counts them, so a run of failing channels raises a few notices,
// not one each. The clock is a parameter: the window calls Flush when Due() comes.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace delivery {

class NoticeGatherer {
 public:
  using Clock = std::chrono::steady_clock;
  explicit NoticeGatherer(Clock::duration window = std::chrono::seconds(3)) : window_(window) {}

  // A failure of the item with its notice's body; the bodies to show now (at most one).
  std::vector<std::string> Add(const std::string& item, const std::string& body,
                               Clock::time_point now);
  // Once the window has closed: what was held, as one body (nothing when nothing was).
  // Showing it opens another window, so a long run of failures shows one notice a window.
  std::vector<std::string> Flush(Clock::time_point now);
  // When Flush has something to show; empty while nothing is held.
  std::optional<Clock::time_point> Due() const;

  // "N reminders were not delivered; see the delivery log".
  static std::string CountText(std::size_t reminders);

 private:
  const Clock::duration window_;
  std::optional<Clock::time_point> windowEnd_;
  std::vector<std::pair<std::string, std::string>> held_;  // item, body
};

}  // namespace delivery
