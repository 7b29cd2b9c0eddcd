#include "window/formRepeat.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

using Platform::TDateTime;
using repeat_rule::Choices;
using repeat_rule::Ending;
using repeat_rule::Frequency;
using repeat_rule::MonthBy;

namespace {

const char* const kWeekdayNames[7] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                      "Friday", "Saturday", "Sunday"};

QDate ToQDate(TDateTime value) {
  int year = 0, month = 0, day = 0;
  Platform::DecodeDate(value, year, month, day);
  return QDate(year, month, day);
}

// What a new rule starts from: the weekday and the day of the month of the item's end,
// the end three months on, ten times.
Choices Defaults(TDateTime end) {
  const QDate date = ToQDate(end > 0 ? end : Platform::Now());
  Choices c;
  c.weekday = date.dayOfWeek() - 1;
  c.weekdays[c.weekday] = true;
  c.monthDay = date.day();
  c.ordinal = date.day() > 28 ? -1 : (date.day() - 1) / 7 + 1;
  const QDate until = date.addMonths(3);
  c.untilDate = Platform::EncodeDate(until.year(), until.month(), until.day());
  c.count = 10;
  return c;
}

// The rule's own choices over the defaults, for the parts the rule has.
Choices Overlay(Choices shown, const Choices& rule) {
  shown.frequency = rule.frequency;
  shown.interval = rule.interval;
  shown.custom = rule.custom;
  if (rule.frequency == Frequency::kWeeks) {
    shown.weekdays = rule.weekdays;
  }
  if (rule.frequency == Frequency::kMonths) {
    shown.monthBy = rule.monthBy;
    if (rule.monthBy == MonthBy::kWeekday) {
      shown.ordinal = rule.ordinal;
      shown.weekday = rule.weekday;
    } else if (rule.monthDay != 0) {  // 0: the end's day, which the defaults show
      shown.monthDay = rule.monthDay;
    }
  }
  shown.ending = rule.ending;
  if (rule.ending == Ending::kUntil) {
    shown.untilDate = rule.untilDate;
  } else if (rule.ending == Ending::kCount) {
    shown.count = rule.count;
  }
  return shown;
}

QWidget* Row(QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  return row;
}

}  // namespace

TfrmRepeat::TfrmRepeat(QWidget* owner, const std::string& rule, TDateTime end) : QDialog(owner) {
  setObjectName("frmRepeat");
  setWindowTitle("Repeat");
  // Wide enough for a rule's words on one line, whichever rows the frequency shows.
  setMinimumWidth(400);
  BuildControls();
  ShowChoices(Overlay(Defaults(end), repeat_rule::ChoicesFromRule(rule)));
  Refresh();
}

void TfrmRepeat::BuildControls() {
  auto* form = form_ = new QFormLayout;
  cmbFrequency = new QComboBox(this);
  cmbFrequency->setObjectName("cmbFrequency");
  // In the order of repeat_rule::Frequency.
  cmbFrequency->addItems(
      {"Does not repeat", "Minutes", "Hours", "Days", "Weeks", "Months", "Years", "Custom rule"});
  form->addRow("Repeat:", cmbFrequency);

  rowInterval_ = Row(this);
  spnInterval = new QSpinBox(rowInterval_);
  spnInterval->setObjectName("spnInterval");
  spnInterval->setRange(1, 32767);  // libical keeps INTERVAL in a short
  lblIntervalUnit = new QLabel(rowInterval_);
  lblIntervalUnit->setObjectName("lblIntervalUnit");
  rowInterval_->layout()->addWidget(spnInterval);
  rowInterval_->layout()->addWidget(lblIntervalUnit);
  form->addRow("Every:", rowInterval_);

  rowWeekdays_ = Row(this);
  for (int i = 0; i < 7; ++i) {
    chkWeekdays[i] = new QCheckBox(QString(kWeekdayNames[i]).left(3), rowWeekdays_);
    chkWeekdays[i]->setObjectName(QString("chk") + kWeekdayNames[i]);
    rowWeekdays_->layout()->addWidget(chkWeekdays[i]);
  }
  form->addRow("On:", rowWeekdays_);

  form->addRow("Day:", BuildMonthRow());
  form->addRow("Ends:", BuildEndRow());

  rowCustom_ = Row(this);
  edtCustom = new QLineEdit(rowCustom_);
  edtCustom->setObjectName("edtCustom");
  edtCustom->setPlaceholderText("FREQ=WEEKLY;BYDAY=MO");
  rowCustom_->layout()->addWidget(edtCustom);
  form->addRow("Rule:", rowCustom_);

  lblDescription = new QLabel(this);
  lblDescription->setObjectName("lblDescription");
  lblDescription->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(this);
  bbtnOk = buttons->addButton("Ok", QDialogButtonBox::AcceptRole);
  bbtnOk->setObjectName("bbtnOk");
  bbtnOk->setDefault(true);
  bbtnCancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  bbtnCancel->setObjectName("bbtnCancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* page = new QVBoxLayout(this);
  page->addLayout(form);
  page->addWidget(lblDescription);
  page->addWidget(buttons);

  ConnectRefresh();
}

QWidget* TfrmRepeat::BuildMonthRow() {
  rowMonth_ = new QWidget(this);
  auto* month = new QGridLayout(rowMonth_);
  month->setContentsMargins(0, 0, 0, 0);
  rbtnDayOfMonth = new QRadioButton("On day", rowMonth_);
  rbtnDayOfMonth->setObjectName("rbtnDayOfMonth");
  cmbMonthDay = new QComboBox(rowMonth_);
  cmbMonthDay->setObjectName("cmbMonthDay");
  for (int day = 1; day <= 31; ++day) {
    cmbMonthDay->addItem(QString::number(day));
  }
  cmbMonthDay->addItem("last");
  rbtnOrdinalWeekday = new QRadioButton("On the", rowMonth_);
  rbtnOrdinalWeekday->setObjectName("rbtnOrdinalWeekday");
  cmbOrdinal = new QComboBox(rowMonth_);
  cmbOrdinal->setObjectName("cmbOrdinal");
  cmbOrdinal->addItems({"first", "second", "third", "fourth", "last"});
  cmbWeekday = new QComboBox(rowMonth_);
  cmbWeekday->setObjectName("cmbWeekday");
  for (const char* name : kWeekdayNames) {
    cmbWeekday->addItem(name);
  }
  month->addWidget(rbtnDayOfMonth, 0, 0);
  month->addWidget(cmbMonthDay, 0, 1);
  month->addWidget(rbtnOrdinalWeekday, 1, 0);
  month->addWidget(cmbOrdinal, 1, 1);
  month->addWidget(cmbWeekday, 1, 2);
  month->setColumnStretch(3, 1);
  return rowMonth_;
}

QWidget* TfrmRepeat::BuildEndRow() {
  rowEnd_ = new QWidget(this);
  auto* ending = new QGridLayout(rowEnd_);
  ending->setContentsMargins(0, 0, 0, 0);
  rbtnEndNever = new QRadioButton("Never", rowEnd_);
  rbtnEndNever->setObjectName("rbtnEndNever");
  rbtnEndUntil = new QRadioButton("Until", rowEnd_);
  rbtnEndUntil->setObjectName("rbtnEndUntil");
  dtpUntil = new QDateEdit(rowEnd_);
  dtpUntil->setObjectName("dtpUntil");
  dtpUntil->setDisplayFormat("yyyy-MM-dd");
  dtpUntil->setCalendarPopup(true);
  rbtnEndCount = new QRadioButton("After", rowEnd_);
  rbtnEndCount->setObjectName("rbtnEndCount");
  spnCount = new QSpinBox(rowEnd_);
  spnCount->setObjectName("spnCount");
  spnCount->setRange(1, repeat_rule::kMaxCount);
  spnCount->setSuffix(" times");
  ending->addWidget(rbtnEndNever, 0, 0);
  ending->addWidget(rbtnEndUntil, 1, 0);
  ending->addWidget(dtpUntil, 1, 1);
  ending->addWidget(rbtnEndCount, 2, 0);
  ending->addWidget(spnCount, 2, 1);
  ending->setColumnStretch(2, 1);
  return rowEnd_;
}

void TfrmRepeat::ConnectRefresh() {
  const auto refresh = [this] { Refresh(); };
  connect(cmbFrequency, &QComboBox::currentIndexChanged, this, refresh);
  connect(spnInterval, &QSpinBox::valueChanged, this, refresh);
  for (QCheckBox* box : chkWeekdays) {
    connect(box, &QCheckBox::toggled, this, refresh);
  }
  for (QRadioButton* button :
       {rbtnDayOfMonth, rbtnOrdinalWeekday, rbtnEndNever, rbtnEndUntil, rbtnEndCount}) {
    connect(button, &QRadioButton::toggled, this, refresh);
  }
  for (QComboBox* box : {cmbMonthDay, cmbOrdinal, cmbWeekday}) {
    connect(box, &QComboBox::currentIndexChanged, this, refresh);
  }
  connect(dtpUntil, &QDateEdit::dateChanged, this, refresh);
  connect(spnCount, &QSpinBox::valueChanged, this, refresh);
  connect(edtCustom, &QLineEdit::textChanged, this, refresh);
}

void TfrmRepeat::ShowChoices(const Choices& c) {
  cmbFrequency->setCurrentIndex(static_cast<int>(c.frequency));
  spnInterval->setValue(c.interval);
  for (int i = 0; i < 7; ++i) {
    chkWeekdays[i]->setChecked(c.weekdays[i]);
  }
  (c.monthBy == MonthBy::kWeekday ? rbtnOrdinalWeekday : rbtnDayOfMonth)->setChecked(true);
  cmbMonthDay->setCurrentIndex(c.monthDay < 0 ? 31 : std::max(c.monthDay, 1) - 1);
  cmbOrdinal->setCurrentIndex(c.ordinal < 0 ? 4 : std::max(c.ordinal, 1) - 1);
  cmbWeekday->setCurrentIndex(c.weekday);
  rbtnEndNever->setChecked(c.ending == Ending::kNever);
  rbtnEndUntil->setChecked(c.ending == Ending::kUntil);
  rbtnEndCount->setChecked(c.ending == Ending::kCount);
  dtpUntil->setDate(ToQDate(c.untilDate));
  spnCount->setValue(c.count);
  edtCustom->setText(QString::fromStdString(c.custom));
}

Choices TfrmRepeat::ShownChoices() const {
  Choices c;
  c.frequency = static_cast<Frequency>(cmbFrequency->currentIndex());
  c.interval = spnInterval->value();
  for (int i = 0; i < 7; ++i) {
    c.weekdays[i] = chkWeekdays[i]->isChecked();
  }
  c.monthBy = rbtnOrdinalWeekday->isChecked() ? MonthBy::kWeekday : MonthBy::kDayOfMonth;
  c.monthDay = cmbMonthDay->currentIndex() == 31 ? -1 : cmbMonthDay->currentIndex() + 1;
  c.ordinal = cmbOrdinal->currentIndex() == 4 ? -1 : cmbOrdinal->currentIndex() + 1;
  c.weekday = cmbWeekday->currentIndex();
  c.ending = rbtnEndUntil->isChecked()   ? Ending::kUntil
             : rbtnEndCount->isChecked() ? Ending::kCount
                                         : Ending::kNever;
  const QDate until = dtpUntil->date();
  c.untilDate = Platform::EncodeDate(until.year(), until.month(), until.day());
  c.count = spnCount->value();
  c.custom = edtCustom->text().trimmed().toStdString();
  return c;
}

std::string TfrmRepeat::Rule() const {
  return repeat_rule::RuleFromChoices(ShownChoices());
}

void TfrmRepeat::Refresh() {
  static const char* const kUnits[] = {"", "minutes", "hours", "days", "weeks", "months", "years"};
  const Frequency frequency = static_cast<Frequency>(cmbFrequency->currentIndex());
  const bool repeats = frequency != Frequency::kNone && frequency != Frequency::kCustom;
  // Hiding a row of the form hides its label too.
  form_->setRowVisible(rowInterval_, repeats);
  if (repeats) {
    lblIntervalUnit->setText(kUnits[static_cast<int>(frequency)]);
  }
  form_->setRowVisible(rowWeekdays_, frequency == Frequency::kWeeks);
  form_->setRowVisible(rowMonth_, frequency == Frequency::kMonths);
  form_->setRowVisible(rowEnd_, repeats);
  form_->setRowVisible(rowCustom_, frequency == Frequency::kCustom);
  cmbMonthDay->setEnabled(rbtnDayOfMonth->isChecked());
  cmbOrdinal->setEnabled(rbtnOrdinalWeekday->isChecked());
  cmbWeekday->setEnabled(rbtnOrdinalWeekday->isChecked());
  dtpUntil->setEnabled(rbtnEndUntil->isChecked());
  spnCount->setEnabled(rbtnEndCount->isChecked());

  const std::string rule = Rule();
  const std::string reason = rule.empty() ? std::string() : repeat_rule::Check(rule);
  lblDescription->setText(rule.empty()      ? QString("Does not repeat")
                          : !reason.empty() ? QString::fromStdString("Cannot repeat: " + reason)
                                            : QString::fromStdString(repeat_rule::Describe(rule)));
  bbtnOk->setEnabled(reason.empty());
  adjustSize();
}
