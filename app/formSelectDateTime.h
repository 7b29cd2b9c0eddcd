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

  QDateEdit* dtpDate = nullptr;
  QTimeEdit* dtpTime = nullptr;
  QPushButton* bbtnOk = nullptr;
  QPushButton* bbtnCancel = nullptr;
};
