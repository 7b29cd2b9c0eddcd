// The small dialog in which the user picks an item's end date and time.
#pragma once

#include <QDialog>

#include "DateTime.h"

class QDateEdit;
class QTimeEdit;
class QPushButton;

class TfrmSelectDateTime : public QDialog {
  Q_OBJECT

 public:
  // Opens on the current date and time (now: local date-time).
  TfrmSelectDateTime(QWidget* owner, Platform::TDateTime now);

  // The picked date (whole days) and time of day (fraction of a day).
  Platform::TDateTime Date() const;
  Platform::TDateTime Time() const;
  void SetDate(Platform::TDateTime value);
  void SetTime(Platform::TDateTime value);

  // The width at which a window manager shows the whole title: its text in the desktop's
  // title font, bold and at least as large as the dialog's font, with room on both sides
  // for three title-bar buttons of at least kTitleButtonWidth and a margin.
  static int WidthForTitle(const QString& title, const QFont& dialogFont);
  static constexpr int kTitleButtonWidth = 28;
  static constexpr int kTitleMargin = 8;

  QDateEdit* dtpDate = nullptr;
  QTimeEdit* dtpTime = nullptr;
  QPushButton* bbtnOk = nullptr;
  QPushButton* bbtnCancel = nullptr;
};
