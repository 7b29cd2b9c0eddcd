// The scheduler's timer and the "Custom Application" tab. The pass itself is
// eventScheduler; here the window lends it its channels: the sound, the workers it
// hands to the supervisor, the program launch and its message windows.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QThread>
#include <chrono>
#include <exception>
#include <memory>

#include "CommonCodeLite.h"
#include "DateTime.h"
#include "QSStringGrid.h"
#include "channels/sound/commoncodemultimedia.h"
#include "delivery/deliveryLog.h"
#include "delivery/deliveryOutcome.h"
#include "desktop/desktopNotifier.h"
#include "events/eventScheduler.h"
#include "events/eventTable.h"
#include "window/formMain.h"
#include "window/gridEventRows.h"
#include "window/qtConvert.h"
#include "workers/classQSBGProcess.h"
#include "workers/classQSEmail.h"
#include "workers/classQSMSMessenger.h"
#include "workers/workerTag.h"

namespace {

// The grid as the pass walks it; while the pass moves a repeating item's end time on,
// the window knows that row, whose outcome stays with it.
class PassRows final : public GridEventRows {
 public:
  explicit PassRows(TfrmMain& window) : GridEventRows(*window.grdEvents), w_(window) {}
  void SetCells(int col, int row, const std::string& text) override {
    const int before = std::exchange(w_.passMovesRow_, row);
    try {
      GridEventRows::SetCells(col, row, text);
    } catch (...) {
      w_.passMovesRow_ = before;
      throw;
    }
    w_.passMovesRow_ = before;
  }

 private:
  TfrmMain& w_;
};

class WindowChannels : public event_scheduler::ChannelDispatch {
 public:
  explicit WindowChannels(TfrmMain& window) : w_(window) {}

  bool WaitForSupervisor() override {
    return event_scheduler::WaitBounded(
        [this] { return w_.pBGProcess_m != nullptr; },
        [] {
          QApplication::processEvents();
          QThread::msleep(50);
        },
        [] {
          return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
              .count();
        });
  }

  void BeginDispatch(const std::string& id, const std::string& text) override {
    item_ = id;
    dispatch_ = w_.DeliveryBegins(id, text);
  }

  // Told on the desktop once per item and end time, when every due item is to be told.
  void DueWithoutChannels(const std::string& id, const std::string& endText,
                          const std::string& text) override {
    if (w_.cboDesktopNotifications->currentIndex() >= delivery::kNoticesEveryDueItem &&
        w_.dueNoticed_.emplace(id, endText).second) {
      w_.NoticeOnDesktop(delivery::kDueSummary, text);
    }
  }

  // The sound is pending until its player or the desktop's program tells how it went;
  // the pass does not wait for that.
  void PlaySound() override {
    const std::string file = FromQ(w_.edtSoundFile->text());
    w_.outcomes_->Expect(item_, dispatch_, delivery::kSound, file);
    PlaySoundFile(w_.Media(), file, false, "", false,
                  [window = QPointer<TfrmMain>(&w_), item = item_, dispatch = dispatch_, file](
                      SoundStart start, const std::string& why) {
                    if (window) {
                      window->SoundSettled(item, dispatch, file, start == SoundStart::Playing, why);
                    }
                  });
  }

  // The workers log into their tag, never into the window, and are reported when they end.
  void SendMessenger(const std::string& text) override {
    auto worker = std::make_unique<thrQSMSMessenger>(&w_);
    const int port = Platform::StrToInt(FromQ(w_.edtMSMPort->text()));
    const auto tag = Tag(delivery::kMessenger, FromQ(w_.edtToMSM->text()));
    worker->Setup(FromQ(w_.edtMSMHost->text()), port, FromQ(w_.edtFromMSM->text()),
                  FromQ(w_.edtFromMSMPwd->text()), FromQ(w_.edtToMSM->text()), text, 4, tag.get(),
                  delivery::kWorkerLogMessage);
    worker->passportNexus_ = MessengerPassportNexus();
    w_.pBGProcess_m->AddMessenger(std::move(worker), tag);
  }

  void SendEmail(const std::string& text) override {
    auto worker = std::make_unique<thrQSEmail>();
    const int port = Platform::StrToInt(FromQ(w_.SMTPPort->text()));
    const auto tag = Tag(delivery::kEmail, FromQ(w_.edtEmailTo->text()));
    worker->Setup(FromQ(w_.edtEmailTo->text()), FromQ(w_.edtEmailSubject->text()),
                  FromQ(w_.SMTPServer->text()), port, FromQ(w_.edtEmailFrom->text()), text, 4,
                  tag.get(), delivery::kWorkerLogMessage);
    worker->SetOptions(
        {email_notification::SecurityFromSetting(w_.cboEmailSecurity->currentIndex()),
         FromQ(w_.edtEmailUser->text()), FromQ(w_.edtEmailPassword->text())});
    w_.pBGProcess_m->AddEmail(std::move(worker), tag);
  }

  std::string CustomAppTemplate() override { return FromQ(w_.edtLaunchApp->text()); }

  void Launch(const std::string& commandLine) override {
    // No shell: an item's description reaches the program as text, never as a command.
    const bool started = VIDodadaZadoVove::LaunchApplication(commandLine, 5, false, nullptr, false);
    Settled(delivery::kProgram, commandLine, started,
            started ? "launched" : "could not be started");
  }

  // A message waits on the user; the marks made so far are on disk before it does.
  void ShowMessage(const std::string& text) override {
    KeepMarks();
    w_.UI().ShowMessage(text);
  }

  void ItemNotified() override { notified_ = true; }

  void ItemRepeats(const std::string& id, const std::string& nextEnd, std::int64_t passedOver,
                   bool counted) override {
    std::string line = "Repeats: armed again for " + nextEnd;
    if (passedOver > 0) {
      line += "; notified once for " + std::string(counted ? "" : "at least ") +
              std::to_string(passedOver + 1) + " occurrences that went by while it was closed";
    }
    w_.deliveryLog_->Write(id, delivery::kScheduler, line);
  }

  // The snooze is over: the sound (when the item has it) and the notice come again; the
  // e-mail, the message and the program reach others or act, and are not repeated.
  void SnoozeEnded(const std::string& id, const std::string& text, bool sounded) override {
    w_.deliveryLog_->Write(id, delivery::kScheduler, "Snooze over: " + text);
    if (sounded && w_.chkEnableSound->isChecked()) {
      PlaySoundFile(w_.Media(), FromQ(w_.edtSoundFile->text()), false, "", false,
                    [](SoundStart, const std::string&) {});
    }
    w_.DueNoticeOnDesktop(id, text);
    notified_ = true;  // the snooze's end is kept on disk as a mark is
  }
  // Saves the items marked notified so far, when the window keeps its events on disk.
  void KeepMarks() {
    w_.savePending_ = w_.savePending_ || notified_;
    notified_ = false;
    w_.SaveAfterPass();
  }

  void ShowLastCheck(const std::string& text) override { w_.lblEventLastCheck->setText(ToQ(text)); }

 private:
  // A worker's tag; the channel is pending until the worker ends. The port text is
  // checked first, so that a worker never created leaves nothing pending.
  std::shared_ptr<delivery::WorkerTag> Tag(const char* channel, const std::string& target) {
    w_.outcomes_->Expect(item_, dispatch_, channel, target);
    return std::make_shared<delivery::WorkerTag>(w_.deliveryLog_, item_, dispatch_, channel,
                                                 target);
  }
  // A channel that ran at once: its line in the log and its outcome.
  void Settled(const char* channel, const std::string& target, bool done, const std::string& how) {
    w_.deliveryLog_->Write(item_, channel, target + " " + how);
    w_.outcomes_->Expect(item_, dispatch_, channel, target);
    w_.DeliverySettled(item_, dispatch_, channel, target, done, done ? "" : how);
  }

  TfrmMain& w_;
  std::string item_;
  std::uint64_t dispatch_ = 0;
  bool notified_ = false;  // an item was marked notified since the last save
};

}  // namespace

void TfrmMain::tmrEventsTimer() {
  // The wait for the supervisor and the error display both let the timer fire again;
  // a second pass inside the first would notify the same item twice and stack one
  // error box on another every five seconds.
  if (inEventPass_) {
    return;
  }
  inEventPass_ = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{inEventPass_};
  WindowChannels channels(*this);
  ForgetChangedDueNotices();
  // An end time being typed, not merely the current cell, is what the pass leaves alone,
  // and only while it does not read yet, for at most one pass after the last key.
  const bool typingEndTime =
      grdEvents->Col() == event_table::kColEndTime && grdEvents->IsEditorShowing() &&
      grdEvents->GridHasFocus() &&
      event_scheduler::EndTimeBeingTyped(
          grdEvents->InplaceEditor()->isModified(), FromQ(grdEvents->InplaceEditor()->text()),
          (QDateTime::currentMSecsSinceEpoch() - grdEvents->LastEditAt()) / 1000.0);
  std::exception_ptr failure;
  try {
    PassRows rows(*this);
    event_scheduler::RunPass(rows, Platform::Now(), mapTimeZones_m, dLocalTZOffset_m, channels,
                             &unreadable_, typingEndTime ? grdEvents->Row() : -1);
  } catch (const std::exception&) {
    failure = std::current_exception();
  }
  // Items notified before a row's error ended the pass are kept as well, and before the
  // error's box waits on the user.
  channels.KeepMarks();
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      dialogs_.ShowException(e);
    }
  }
}

// A due item without a channel is noticed again once its ID or end time has changed.
void TfrmMain::ForgetChangedDueNotices() {
  std::set<std::pair<std::string, std::string>> shown;
  for (int r = grdEvents->FixedRows(); r < grdEvents->RowCount() && !dueNoticed_.empty(); ++r) {
    const auto key = std::make_pair(grdEvents->GetCells(event_table::kColID, r),
                                    grdEvents->GetCells(event_table::kColEndTime, r));
    if (dueNoticed_.count(key) != 0) {
      shown.insert(key);
    }
  }
  dueNoticed_.swap(shown);
}

void TfrmMain::SaveAfterPass() {
  // A file that was not loaded whole is never replaced by what the table shows.
  if (!savePending_ || !chkSaveOnClose->isChecked() || !eventsLoaded_) {
    return;
  }
  try {
    SaveEvents();
    savePending_ = false;
    saveFailureShown_.clear();
  } catch (const std::exception& e) {
    // The marks stay in the table and the old file stays whole; every pass tries again
    // and the close saves too. A disk that stays full is reported once, not every pass.
    if (saveFailureShown_ != e.what()) {
      saveFailureShown_ = e.what();
      dialogs_.ShowException(e);
    }
  }
}

void TfrmMain::sbtnLaunchAppClick() {
  std::string file;
  if (!dialogs_.OpenFile(this, dlgGetFile->Options, file)) {
    return;
  }
  // The command line splits at blanks; a chosen path that holds them stays one word.
  if (file.find(' ') != std::string::npos) {
    file = "\"" + file + "\"";
  }
  edtLaunchApp->setText(ToQ(file));
}
