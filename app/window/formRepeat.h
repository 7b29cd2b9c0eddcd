// The small dialog in which the user chooses how an item repeats.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "DateTime.h"
#include "events/repeatRule.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QWidget;

class TfrmRepeat : public QDialog {
  Q_OBJECT

 public:
  // Opens on `rule` (empty: the item does not repeat). The item's end time `end` gives
  // the weekday and day of the month that a new rule starts from.
  TfrmRepeat(QWidget* owner, const std::string& rule, Platform::TDateTime end);

  // The rule text of the choices shown; empty when the item does not repeat.
  std::string Rule() const;
  repeat_rule::Choices ShownChoices() const;

  QComboBox* cmbFrequency = nullptr;
  QSpinBox* spnInterval = nullptr;
  QLabel* lblIntervalUnit = nullptr;
  std::array<QCheckBox*, 7> chkWeekdays{};  // Monday first
  QRadioButton* rbtnDayOfMonth = nullptr;
  QComboBox* cmbMonthDay = nullptr;  // 1..31, then "last"
  QRadioButton* rbtnOrdinalWeekday = nullptr;
  QComboBox* cmbOrdinal = nullptr;  // first..fourth, then "last"
  QComboBox* cmbWeekday = nullptr;
  QRadioButton* rbtnEndNever = nullptr;
  QRadioButton* rbtnEndUntil = nullptr;
  QDateEdit* dtpUntil = nullptr;
  QRadioButton* rbtnEndCount = nullptr;
  QSpinBox* spnCount = nullptr;
  QLineEdit* edtCustom = nullptr;
  QLabel* lblDescription = nullptr;
  QPushButton* bbtnOk = nullptr;
  QPushButton* bbtnCancel = nullptr;

 private:
  void BuildControls();
  QWidget* BuildMonthRow();
  QWidget* BuildEndRow();
  void ConnectRefresh();
  void ShowChoices(const repeat_rule::Choices& choices);
  // Shows the parts that belong to the frequency, the rule's words, and allows OK only
  // for a rule that can be run.
  void Refresh();

  QFormLayout* form_ = nullptr;
  QWidget* rowInterval_ = nullptr;
  QWidget* rowWeekdays_ = nullptr;
  QWidget* rowMonth_ = nullptr;
  QWidget* rowEnd_ = nullptr;
  QWidget* rowCustom_ = nullptr;
};
