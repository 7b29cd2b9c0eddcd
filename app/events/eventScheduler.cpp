#include "events/eventScheduler.h"

#include <cmath>

#include "CommonCodeLite.h"
#include "Exceptions.h"
#include "channels/program/customApp.h"
#include "events/eventTable.h"

namespace event_scheduler {

using namespace event_table;

namespace {

const char* const kDateTimeFormat = "yyyy-mm-dd hh:nn:ss";

// Notifies one due row through its checked channels; false when the supervisor did not
// come and the pass has to end.
bool Dispatch(EventRows& grid, int r, Platform::TDateTime localEnd, ChannelDispatch& channels) {
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
    return false;
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
  if (flags != 0) {
    grid.SetObjects(kColEndTime, r, kStateNotified);
    grid.InvalidateRow(r);
    channels.ItemNotified();
  }
  return true;
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
                        const char* what, const char* why) {
    if (texts.insert(text).second) {
      channels.ShowMessage(std::string(kRowErrorPrefix) + "the " + what + " of item '" +
                           grid.GetCells(kColID, r) + "' cannot be read (" + why +
                           "); the item is skipped until it is corrected.");
      grid.InvalidateRow(r);
    }
  };
  try {
    // The row count is read again on every turn: the supervisor wait runs other handlers.
    for (int r = grid.FixedRows(); r < grid.RowCount(); ++r) {
      try {
        if (r == editingRow || grid.IsRowHidden(r) || grid.GetCells(kColWarnMinutes, r).empty() ||
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
        const Platform::TDateTime localEnd =
            LocalEndTime(end, localOffset, ZoneOffset(zones, grid.GetCells(kColZone, r)));
        const std::string warning = grid.GetCells(kColWarnMinutes, r);
        bool due = false;
        try {
          due = IsDue(warning, localEnd, now);
        } catch (const Platform::EConvertError& e) {
          skip(skipped.warnings, warning, r, "warning minutes", e.what());
          continue;
        }
        if (due && !Dispatch(grid, r, localEnd, channels)) {
          return PassEnd::SupervisorTimeout;
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
