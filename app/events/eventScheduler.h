// The scheduler pass: every five seconds the event table is walked for armed items
// whose warning interval has begun, and each is notified once through the channels
// checked in its row. The pass takes the time, the zone offsets and the channels as
// arguments, so it runs the same under a test's clock and recording channels.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "DateTime.h"

namespace event_scheduler {

// The event table as the pass reads and marks it: the window hands over its grid through
// this, so the pass needs no widgets and a test or benchmark can hand over any table. A
// row or column the table does not have raises Platform::EInvalidGridOperation.
class EventRows {
 public:
  virtual ~EventRows() = default;
  virtual int FixedRows() const = 0;
  virtual int RowCount() const = 0;
  virtual int ColCount() const = 0;
  virtual bool IsRowHidden(int row) const = 0;
  virtual std::string GetCells(int col, int row) const = 0;
  virtual std::intptr_t GetObjects(int col, int row) const = 0;
  virtual void SetObjects(int col, int row, std::intptr_t value) = 0;
  // Goes through the table's cell setter and its change event, as a typed text does.
  virtual void SetCells(int col, int row, const std::string& text) = 0;
  // Asks for the row to be drawn again.
  virtual void InvalidateRow(int row) = 0;
};

// Channel bits of one dispatch.
inline constexpr unsigned kSound = 1, kMessenger = 2, kEmail = 4, kCustomApp = 8;

// How long a due item waits for the background supervisor before the pass gives up.
inline constexpr int kSupervisorWaitSeconds = 15;

inline constexpr const char* kTimeoutMessage =
    "Event Timer Timeout Error! All events will NOT occur, please restart the application!";
inline constexpr const char* kRowErrorPrefix = "Internal event error: ";

// What the pass asks of the window: the channels and the messages.
class ChannelDispatch {
 public:
  virtual ~ChannelDispatch() = default;
  // Waits, for a bounded time, until the supervisor that runs the workers exists;
  // false when it did not come in time.
  virtual bool WaitForSupervisor() = 0;
  // A due item's channels are about to run, with the item's notification text; the
  // channel calls that follow belong to this item.
  virtual void BeginDispatch(const std::string& /*id*/, const std::string& /*text*/) {}
  // A due item has no channel checked: it stays armed and is found due on every pass.
  virtual void DueWithoutChannels(const std::string& /*id*/, const std::string& /*endText*/,
                                  const std::string& /*text*/) {}
  // Starts the sound file without waiting for it.
  virtual void PlaySound() = 0;
  // Hands a messenger or e-mail worker carrying the notification text to the supervisor.
  virtual void SendMessenger(const std::string& text) = 0;
  virtual void SendEmail(const std::string& text) = 0;
  // The custom application's command template, as typed.
  virtual std::string CustomAppTemplate() = 0;
  // Starts a command line, without a shell and without waiting.
  virtual void Launch(const std::string& commandLine) = 0;
  // The plain message window.
  virtual void ShowMessage(const std::string& text) = 0;
  // The last-check caption.
  virtual void ShowLastCheck(const std::string& text) = 0;
  // The item just dispatched is marked notified in the table; told even when a later row
  // ends the pass, so that the mark can be kept on disk.
  virtual void ItemNotified() {}
  // The repeating item just notified is armed again for its next occurrence; passedOver
  // occurrences went by while the program was not running (counted false: at least so
  // many), and were not notified one by one.
  virtual void ItemRepeats(const std::string& /*id*/, const std::string& /*nextEnd*/,
                           std::int64_t /*passedOver*/, bool /*counted*/) {}
  // A snoozed item's time has come: its sound (when sounded checks it) and its notice
  // come again; nothing else is sent again.
  virtual void SnoozeEnded(const std::string& /*id*/, const std::string& /*text*/,
                           bool /*sounded*/) {}
};

// The text that the messenger and e-mail channels send for an item.
std::string NotificationText(const std::string& id, const std::string& description,
                             const std::string& endText, const std::string& zone);

// True when the warning minutes (a number in the locale's form) reach the minutes left
// until the local end time, counted in whole milliseconds. Raises EConvertError for a warning text
// that is no number.
bool IsDue(const std::string& warningMinutes, Platform::TDateTime localEnd,
           Platform::TDateTime now);

enum class PassEnd { Completed, SupervisorTimeout };

// One pass over the table's non-fixed rows, at the local time now with the catalogue's
// zone offsets. A range error of the grid on a row is shown as "Internal event error: "
// and the pass goes on; any other exception ends the pass and is raised again after the
// last-check caption is shown. A supervisor that does not come ends the pass with the
// timeout message and without the caption.
// An armed row whose end time or warning minutes cannot be read is skipped and the others
// go on; the text is reported once ("Internal event error: " and why) and kept in
// unreadable, which outlives the pass so that the next passes stay quiet and the window
// can mark the cell. The row whose end time the user is typing (editingRow, -1 for none)
// is left alone: its cell holds only part of a date-time.
// A notified item with a repeat rule (in the row's extra fields, when the table has
// their column) gets the rule's next occurrence after now, and after its old end time,
// as its end time and is armed again; a rule with no further occurrence leaves it
// notified. A snoozed row whose time has come is told to the channels once.
struct Unreadable {
  std::set<std::string> endTimes;
  std::set<std::string> warnings;
  std::set<std::string> rules;  // repeat rules: the item is notified as one that does not repeat
};
PassEnd RunPass(EventRows& grid, Platform::TDateTime now,
                const std::map<std::string, double>& zones, double localOffset,
                ChannelDispatch& channels, Unreadable* unreadable = nullptr, int editingRow = -1);

// How long after the last key an end time that does not read yet keeps its row out of
// the pass: one pass, so that a text abandoned half typed cannot hold an item back.
inline constexpr double kTypingGraceSeconds = 5.0;

// Whether the pass leaves alone the row whose end-time cell the editor is open on: only
// while the user has changed the editor's text (modified), the text does not read as a
// date-time, and the last key was less than kTypingGraceSeconds ago. A confirmed text,
// or one that reads, is the item's end time.
bool EndTimeBeingTyped(bool modified, const std::string& text, double secondsSinceLastKey);

// The wait for the supervisor: checks ready, else runs idle (which pumps messages and
// sleeps briefly) until ready or more than kSupervisorWaitSeconds whole seconds of the
// clock (in seconds) have passed. False when that much time passed.
bool WaitBounded(const std::function<bool()>& ready, const std::function<void()>& idle,
                 const std::function<double()>& clockSeconds);

}  // namespace event_scheduler
