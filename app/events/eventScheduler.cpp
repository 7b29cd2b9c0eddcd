#include "events/eventScheduler.h"

#include <algorithm>
#include <cmath>

#include "CommonCodeLite.h"
#include "Exceptions.h"
#include "channels/program/customApp.h"
#include "events/eventExtras.h"
#include "events/eventTable.h"
#include "events/repeatRule.h"

namespace event_scheduler {

using namespace event_table;

namespace {

const char* const kDateTimeFormat = "yyyy-mm-dd hh:nn:ss";

enum class Dispatched { kSupervisorTimeout, kNotified, kNoChannel };

// Notifies one due row through its checked channels.
Dispatched Dispatch(EventRows& grid, int r, Platform::TDateTime localEnd,
                    ChannelDispatch& channels) {
  unsigned flags = 0;
  const int columns[] = {kColSound, kColMessenger, kColEmail, kColCustomApp};
  const unsigned bits[] = {kSound, kMessenger, kEmail, kCustomApp};
  for (int i = 0; i < 4; ++i) {
    if (grid.GetCells(columns[i], r) == "Y") {
      flags |= bits[i];
    }
  }
  if (!channels.WaitForSupervisor()) {
    channels.ShowMessage(kTimeoutMessage);
    return Dispatched::kSupervisorTimeout;
  }
  const auto text = [&grid, r] {
    return NotificationText(grid.GetCells(kColID, r), grid.GetCells(kColDescription, r),
                            grid.GetCells(kColEndTime, r), grid.GetCells(kColZone, r));
  };
  if (flags != 0) {
    channels.BeginDispatch(grid.GetCells(kColID, r), text());
  } else {
    channels.DueWithoutChannels(grid.GetCells(kColID, r), grid.GetCells(kColEndTime, r), text());
  }
  if (flags & kSound) {
    channels.PlaySound();
  }
  if (flags & kMessenger) {
    channels.SendMessenger(text());
  }
  if (flags & kEmail) {
    channels.SendEmail(text());
  }
  if (flags & kCustomApp) {
    const std::string command = channels.CustomAppTemplate();
    if (command.find_first_not_of(" \t") != std::string::npos) {
      const std::string line = ParseCustomizedString(
          command, grid.GetCells(kColID, r), grid.GetCells(kColDescription, r),
          Platform::FormatDateTime("yyyy-mm-dd", localEnd),
          Platform::FormatDateTime("hh:nn:ss", localEnd), grid.GetCells(kColZone, r), true);
      if (line.size() > VIDodadaZadoVove::kMaxCommandLineLength) {
        // The launch would refuse it without a word.
        channels.ShowMessage(Platform::Format(
            "The custom application for item '%s' was not started: its command line is %zu "
            "characters long, more than the %zu that can be started.",
            grid.GetCells(kColID, r).c_str(), line.size(),
            VIDodadaZadoVove::kMaxCommandLineLength));
      } else {
        channels.Launch(line);
      }
    }
  }
  if (flags == 0) {
    return Dispatched::kNoChannel;
  }
  grid.SetObjects(kColEndTime, r, kStateNotified);
  grid.InvalidateRow(r);
  channels.ItemNotified();
  return Dispatched::kNotified;
}

// The row's extra fields, empty when the table has no column for them.
std::string Tail(const EventRows& grid, int r) {
  return grid.ColCount() > event_extras::kColTail ? grid.GetCells(event_extras::kColTail, r)
                                                  : std::string();
}

// A notified repeating row moves on to its next occurrence and is armed again. The series
// goes on from the old end time, so an item notified early in its warning interval gets
// the occurrence after that end, and one notified late, after a span the program was
// closed, the first occurrence still to come: the missed ones are not notified one by one.
void Repeat(EventRows& grid, int r, Platform::TDateTime end, Platform::TDateTime now,
            double localOffset, double zoneOffset, ChannelDispatch& channels,
            const std::function<void(const std::string&, const std::string&)>& unreadable) {
  const std::string tail = Tail(grid, r);
  const event_extras::Extras extras = event_extras::Read(tail);
  if (extras.rule.empty()) {
    return;
  }
  const std::string why = repeat_rule::Check(extras.rule);
  if (!why.empty()) {
    unreadable(extras.rule, why);
    return;
  }
  const Platform::TDateTime nowInZone = now - (localOffset - zoneOffset) / 24.0;
  const auto next =
      repeat_rule::Next(extras.rule, end, extras.consumed, std::max(end, nowInZone), zoneOffset);
  if (!next) {
    return;
  }
  const std::string nextText = Platform::FormatDateTime(kDateTimeFormat, next->when);
  grid.SetCells(kColEndTime, r, nextText);
  grid.SetCells(event_extras::kColTail, r,
                event_extras::WithRule(Tail(grid, r), extras.rule, next->index));
  grid.SetObjects(kColEndTime, r, kStateArmed);
  grid.InvalidateRow(r);
  channels.ItemRepeats(grid.GetCells(kColID, r), nextText, next->passedOver, next->counted);
}

// A snoozed row whose time has come: its notice comes again, and the snooze is over. A
// time that does not read is dropped; the snooze was the program's own, not the user's.
void WakeSnoozed(EventRows& grid, int r, Platform::TDateTime now, ChannelDispatch& channels) {
  const std::string tail = Tail(grid, r);
  if (tail.empty()) {
    return;
  }
  const std::string until = event_extras::Read(tail).snoozeUntil;
  Platform::TDateTime when = 0.0;
  if (until.empty() || (Platform::TryStrToDateTime(until, when) && when > now)) {
    return;
  }
  grid.SetCells(event_extras::kColTail, r, event_extras::WithSnooze(tail, ""));
  if (when != 0.0) {
    channels.SnoozeEnded(
        grid.GetCells(kColID, r),
        NotificationText(grid.GetCells(kColID, r), grid.GetCells(kColDescription, r),
                         grid.GetCells(kColEndTime, r), grid.GetCells(kColZone, r)),
        grid.GetCells(kColSound, r) == "Y");
  }
}

}  // namespace

std::string NotificationText(const std::string& id, const std::string& description,
                             const std::string& endText, const std::string& zone) {
  return "Your scheduled item is about to elapse, ItemID: " + id + " Description: " + description +
         " ending at: " + endText + " " + zone;
}

bool IsDue(const std::string& warningMinutes, Platform::TDateTime localEnd,
           Platform::TDateTime now) {
  // Date-times count whole milliseconds; compared in them, an item whose warning begins
  // exactly now is due now and not a rounding error later.
  const double msLeft = std::round((localEnd - now) * Platform::MSecsPerDay);
  return Platform::StrToFloat(warningMinutes) * 60000.0 >= msLeft;
}

bool EndTimeBeingTyped(bool modified, const std::string& text, double secondsSinceLastKey) {
  if (!modified || secondsSinceLastKey < 0.0 || secondsSinceLastKey >= kTypingGraceSeconds) {
    return false;
  }
  try {
    Platform::StrToDateTime(text);
    return false;
  } catch (const Platform::EConvertError&) {
    return true;
  }
}

PassEnd RunPass(EventRows& grid, Platform::TDateTime now,
                const std::map<std::string, double>& zones, double localOffset,
                ChannelDispatch& channels, Unreadable* unreadable, int editingRow) {
  Unreadable reportedThisPass;
  Unreadable& skipped = unreadable != nullptr ? *unreadable : reportedThisPass;
  // One unreadable item must not keep the others from being notified: it is reported
  // once for its text and skipped until it is corrected.
  const auto skip = [&](std::set<std::string>& texts, const std::string& text, int r,
                        const char* what, const char* why,
                        const char* outcome = "; the item is skipped until it is corrected") {
    if (texts.insert(text).second) {
      channels.ShowMessage(std::string(kRowErrorPrefix) + "the " + what + " of item '" +
                           grid.GetCells(kColID, r) + "' cannot be read (" + why + ")" + outcome +
                           ".");
      grid.InvalidateRow(r);
    }
  };
  try {
    // The row count is read again on every turn: the supervisor wait runs other handlers.
    for (int r = grid.FixedRows(); r < grid.RowCount(); ++r) {
      try {
        if (grid.IsRowHidden(r)) {
          continue;
        }
        WakeSnoozed(grid, r, now, channels);
        if (r == editingRow || grid.GetCells(kColWarnMinutes, r).empty() ||
            grid.GetObjects(kColEndTime, r) != kStateArmed) {
          continue;
        }
        const std::string endText = grid.GetCells(kColEndTime, r);
        Platform::TDateTime end = 0.0;
        try {
          end = Platform::StrToDateTime(endText);
        } catch (const Platform::EConvertError& e) {
          skip(skipped.endTimes, endText, r, "end time", e.what());
          continue;
        }
        const double zoneOffset = ZoneOffset(zones, grid.GetCells(kColZone, r));
        const Platform::TDateTime localEnd = LocalEndTime(end, localOffset, zoneOffset);
        const std::string warning = grid.GetCells(kColWarnMinutes, r);
        bool due = false;
        try {
          due = IsDue(warning, localEnd, now);
        } catch (const Platform::EConvertError& e) {
          skip(skipped.warnings, warning, r, "warning minutes", e.what());
          continue;
        }
        const Dispatched dispatched =
            due ? Dispatch(grid, r, localEnd, channels) : Dispatched::kNoChannel;
        if (dispatched == Dispatched::kSupervisorTimeout) {
          return PassEnd::SupervisorTimeout;
        }
        if (dispatched == Dispatched::kNotified) {
          Repeat(grid, r, end, now, localOffset, zoneOffset, channels,
                 [&](const std::string& rule, const std::string& why) {
                   skip(skipped.rules, rule, r, "repeat rule", why.c_str(),
                        "; the item is notified as one that does not repeat");
                 });
        }
      } catch (const Platform::EInvalidGridOperation& e) {
        channels.ShowMessage(std::string(kRowErrorPrefix) + e.what());
      }
    }
  } catch (...) {
    channels.ShowLastCheck(Platform::FormatDateTime(kDateTimeFormat, now));
    throw;
  }
  channels.ShowLastCheck(Platform::FormatDateTime(kDateTimeFormat, now));
  return PassEnd::Completed;
}

bool WaitBounded(const std::function<bool()>& ready, const std::function<void()>& idle,
                 const std::function<double()>& clockSeconds) {
  const double start = std::floor(clockSeconds());
  const auto elapsed = [&] { return std::floor(clockSeconds()) - start; };
  while (!ready() && elapsed() <= kSupervisorWaitSeconds) {
    idle();
  }
  return elapsed() < kSupervisorWaitSeconds;
}

}  // namespace event_scheduler
