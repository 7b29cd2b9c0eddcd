#include "window/formSelectDateTime.h"

#include <QDateEdit>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <algorithm>

using Platform::TDateTime;

TfrmSelectDateTime::TfrmSelectDateTime(QWidget* owner, TDateTime now) : QDialog(owner) {
  setObjectName("frmSelectDateTime");
  setWindowTitle("Select Item Date/Time");
  // No position of its own: a dialog with none opens centred on its owner.
  setFixedSize(std::max(220, WidthForTitle(windowTitle(), font())), 116);
  const int dx = (width() - 220) / 2;  // the controls, laid out for 220, stay centred

  auto* lblTime = new QLabel("Time:", this);
  lblTime->setGeometry(dx + 8, 4, 100, 16);
  dtpTime = new QTimeEdit(this);
  dtpTime->setObjectName("dtpTime");
  dtpTime->setDisplayFormat("HH:mm:ss");
  dtpTime->setGeometry(dx + 8, 20, 100, 24);

  auto* lblDate = new QLabel("Date:", this);
  lblDate->setGeometry(dx + 112, 4, 100, 16);
  dtpDate = new QDateEdit(this);
  dtpDate->setObjectName("dtpDate");
  dtpDate->setDisplayFormat("yyyy-MM-dd");
  dtpDate->setCalendarPopup(true);
  dtpDate->setGeometry(dx + 112, 20, 100, 24);

  bbtnOk = new QPushButton("Ok", this);
  bbtnOk->setObjectName("bbtnOk");
  bbtnOk->setDefault(true);
  bbtnOk->setGeometry(dx + 30, 80, 75, 25);
  connect(bbtnOk, &QPushButton::clicked, this, &QDialog::accept);

  bbtnCancel = new QPushButton("Cancel", this);
  bbtnCancel->setObjectName("bbtnCancel");
  bbtnCancel->setGeometry(dx + 115, 80, 75, 25);
  connect(bbtnCancel, &QPushButton::clicked, this, &QDialog::reject);

  SetDate(now);
  SetTime(now);
}

int TfrmSelectDateTime::WidthForTitle(const QString& title, const QFont& dialogFont) {
  // Window managers draw the title bold, in the desktop's title font (often larger than
  // the dialog's own), centred between an icon and up to three buttons on each side.
  QFont titleFont = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  if (titleFont.pointSizeF() < dialogFont.pointSizeF()) {
    titleFont.setPointSizeF(dialogFont.pointSizeF());
  }
  titleFont.setBold(true);
  const QFontMetrics metrics(titleFont);
  const int button = std::max(kTitleButtonWidth, metrics.height() * 3 / 2);
  return metrics.horizontalAdvance(title) + 2 * (3 * button + kTitleMargin);
}

TDateTime TfrmSelectDateTime::Date() const {
  const QDate d = dtpDate->date();
  return Platform::EncodeDate(d.year(), d.month(), d.day());
}

TDateTime TfrmSelectDateTime::Time() const {
  const QTime t = dtpTime->time();
  return Platform::EncodeTime(t.hour(), t.minute(), t.second(), 0);
}

void TfrmSelectDateTime::SetDate(TDateTime value) {
  int year = 0, month = 0, day = 0;
  Platform::DecodeDate(value, year, month, day);
  dtpDate->setDate(QDate(year, month, day));
}

void TfrmSelectDateTime::SetTime(TDateTime value) {
  int hour = 0, min = 0, sec = 0, msec = 0;
  Platform::DecodeTime(value, hour, min, sec, msec);
  dtpTime->setTime(QTime(hour, min, sec));
}
