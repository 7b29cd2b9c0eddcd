// What became of the notifications, on the window: the delivery log and its window, each
// item's outcome in the End Date/Time cell's tooltip and the row's colour, and the
// desktop notices. The log, the outcome texts and the notices are the units in delivery/.
#include <QComboBox>
#include <QDesktopServices>
#include <QEvent>
#include <QHelpEvent>
#include <QLineEdit>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <filesystem>

#include "DateTime.h"
#include "QSStringGrid.h"
#include "delivery/deliveryLog.h"
#include "delivery/deliveryOutcome.h"
#include "desktop/desktopNotifier.h"
#include "events/eventTable.h"
#include "window/formDeliveryLog.h"
#include "window/formMain.h"
#include "window/qtConvert.h"
#include "workers/workerTag.h"

using event_table::kColEndTime;
using event_table::kColID;
using event_table::kStateNotified;

namespace {

// How often start-up looks whether the last run's outcomes have been read.
constexpr std::chrono::milliseconds kRestorePoll{10};

}  // namespace

void TfrmMain::StartDelivery(const std::string& logPath) {
  const delivery::LogSink::Options logOptions{logPath};
  deliveryLog_ = std::make_shared<delivery::LogSink>(logOptions);
  // What the last run left is read while the window is made; RestoreOutcomes takes it.
  dispatchesAhead_ =
      std::make_unique<delivery::DispatchesAhead>(deliveryLog_->Path(), logOptions.maxBytes);
  outcomes_ = std::make_unique<delivery::OutcomeStore>();
  // A worker's recipients are in the log before its own lines, so that a later start
  // can tell whom a failure concerned.
  outcomes_->expected = [this](const std::string& item, const std::string& channel,
                               const std::string& target) {
    if (channel == delivery::kEmail || channel == delivery::kMessenger) {
      deliveryLog_->Write(item, channel, delivery::kSendingTo + target);
    }
  };
  notifier_ = std::make_unique<delivery::DesktopNotifier>();
  notifier_->onAction = [this](const std::string& item, const std::string& action) {
    try {
      NoticeAction(item, action);
    } catch (const std::exception& e) {
      dialogs_.ShowException(e);
    }
  };
  tmrNotices = new QTimer(this);
  tmrNotices->setObjectName("tmrNotices");
  tmrNotices->setSingleShot(true);
  connect(tmrNotices, &QTimer::timeout, this, [this] {
    ShowFailureNotices(noticeGatherer_.Flush(delivery::NoticeGatherer::Clock::now()));
  });
  notifier_->fallback = [this](const std::string& summary, const std::string& body) {
    if (!pTrayIcon_m || !pTrayIcon_m->isVisible()) {
      return false;
    }
    pTrayIcon_m->showMessage(ToQ(summary), ToQ(body), QSystemTrayIcon::Warning);
    return true;
  };
  // On the supervisor's thread: the line is queued, the outcome posted to this thread.
  // A report still on its way when the window goes is dropped with it.
  bgProcessOptions_.workerEnded = [this](const delivery::WorkerTag& tag, bool delivered,
                                         const std::string& failure) {
    QMetaObject::invokeMethod(
        this,
        [this, item = tag.item, dispatch = tag.dispatch, channel = tag.channel, target = tag.target,
         delivered,
         failure] { DeliverySettled(item, dispatch, channel, target, delivered, failure); },
        Qt::QueuedConnection);
  };
}

void TfrmMain::RestoreOutcomes() {
  if (!dispatchesAhead_) {
    return;
  }
  if (!dispatchesAhead_->Ready()) {
    // Start-up goes on without it: the rows take their colours once it is read, and an
    // item dispatched meanwhile keeps its own outcome.
    QTimer::singleShot(kRestorePoll, this, [this] { RestoreOutcomes(); });
    return;
  }
  std::map<std::string, delivery::LoggedDispatch> latest;
  try {
    latest = dispatchesAhead_->Take();
  } catch (const std::exception&) {
    // A log that cannot be read leaves the rows as a first start draws them.
  }
  dispatchesAhead_.reset();
  // A notified item whose end time is the one its last dispatch was for shows how that
  // went; any other end time is a new start for the item, as when typed in this run. A
  // repeating item was moved on by the pass that notified it, and shows its last one.
  for (int row = grdEvents->FixedRows(); row < grdEvents->RowCount() && !latest.empty(); ++row) {
    if (grdEvents->IsRowHidden(row)) {
      continue;
    }
    const bool repeats = RowRepeats(row);
    if (!repeats && grdEvents->GetObjects(kColEndTime, row) != kStateNotified) {
      continue;
    }
    const auto it = latest.find(grdEvents->GetCells(kColID, row));
    if (it != latest.end() &&
        (repeats ||
         delivery::DispatchedForEndTime(it->second.text, grdEvents->GetCells(kColEndTime, row)))) {
      outcomes_->Restore(it->first, it->second.outcome);
    }
  }
  grdEvents->viewport()->update();
}

void TfrmMain::StopDelivery() {
  if (deliveryLog_) {
    deliveryLog_->Close();
  }
}

std::uint64_t TfrmMain::DeliveryBegins(const std::string& item, const std::string& text) {
  // Whatever a worker logs, the passwords typed in this window never reach the file.
  for (const QLineEdit* edit : findChildren<QLineEdit*>()) {
    if (edit->echoMode() == QLineEdit::Password) {
      deliveryLog_->AddSecret(FromQ(edit->text()));
    }
  }
  deliveryLog_->Write(item, delivery::kScheduler, "Dispatching: " + text);
  if (cboDesktopNotifications->currentIndex() >= delivery::kNoticesEveryDueItem) {
    DueNoticeOnDesktop(item, text);
  }
  return outcomes_->Begin(item, Platform::FormatDateTime("hh:nn:ss", Platform::Now()));
}

void TfrmMain::DeliverySettled(const std::string& item, std::uint64_t dispatch,
                               const std::string& channel, const std::string& target, bool done,
                               const std::string& reason) {
  if (!outcomes_->Settle(item, dispatch, channel, done, reason)) {
    return;  // the item was dispatched again or its end time changed since
  }
  if (!done && cboDesktopNotifications->currentIndex() >= delivery::kNoticesFailures) {
    ShowFailureNotices(noticeGatherer_.Add(
        item,
        "Item " + item + ": " +
            delivery::ChannelText({channel, target, delivery::Result::Failed, reason}),
        delivery::NoticeGatherer::Clock::now()));
  }
  grdEvents->viewport()->update();
}

void TfrmMain::ShowFailureNotices(const std::vector<std::string>& bodies) {
  for (const std::string& body : bodies) {
    NoticeOnDesktop(delivery::kNotDeliveredSummary, body);
  }
  if (const auto due = noticeGatherer_.Due()) {
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(*due - delivery::NoticeGatherer::Clock::now());
    tmrNotices->start(std::max<int>(0, static_cast<int>(wait.count())));
  }
}

void TfrmMain::DueNoticeOnDesktop(const std::string& item, const std::string& body) {
  try {
    notifier_->NotifyDue(item, delivery::kDueSummary, body);
  } catch (const std::exception&) {
    // A notice that cannot be shown is in the log all the same.
  }
}

void TfrmMain::NoticeOnDesktop(const std::string& summary, const std::string& body) {
  try {
    notifier_->Notify(summary, body);
  } catch (const std::exception&) {
    // A notice that cannot be shown is in the log all the same.
  }
}

std::string TfrmMain::EventTooltip(int row) const {
  if (row < grdEvents->FixedRows() || row >= grdEvents->RowCount()) {
    return "";
  }
  // A repeating item is armed again at once: its tooltip tells the rule and, under it,
  // how the notification that went out fared.
  const std::string repeat = RepeatTooltip(row);
  const std::string outcome =
      grdEvents->GetObjects(kColEndTime, row) == kStateNotified || !repeat.empty()
          ? outcomes_->Tooltip(grdEvents->GetCells(kColID, row))
          : "";
  return repeat.empty() || outcome.empty() ? repeat + outcome : repeat + "\n" + outcome;
}

bool TfrmMain::RowDeliveryFailed(int row) const {
  return grdEvents->GetObjects(kColEndTime, row) == kStateNotified &&
         outcomes_->AnyFailed(grdEvents->GetCells(kColID, row));
}

bool TfrmMain::DeliveryTooltipEvent(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::ToolTip || grdEvents == nullptr ||
      watched != grdEvents->viewport()) {
    return false;
  }
  const QPoint at = static_cast<QHelpEvent*>(event)->pos();
  int col = -1;
  int row = -1;
  grdEvents->MouseToCell(at.x(), at.y(), col, row);
  const std::string text = col == kColEndTime ? EventTooltip(row) : "";
  if (text.empty()) {
    QToolTip::hideText();
  } else {
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), ToQ(text), grdEvents);
  }
  return true;
}

void TfrmMain::bbtnDeliveryLogClick() {
  if (!deliveryLogWindow_) {
    const std::shared_ptr<delivery::LogSink> log = deliveryLog_;
    deliveryLogWindow_ = new TfrmDeliveryLog(
        this,
        [log] {
          log->Flush();
          return delivery::ReadRecent(log->Path(), 2000);
        },
        [log] {
          const std::string folder = std::filesystem::path(log->Path()).parent_path().string();
          QDesktopServices::openUrl(QUrl::fromLocalFile(ToQ(folder)));
        });
  } else {
    deliveryLogWindow_->Refresh();
  }
  deliveryLogWindow_->show();
  deliveryLogWindow_->raise();
}
