#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "DateTime.h"
#include "window/formRepeat.h"

using repeat_rule::Frequency;

namespace {

// Tuesday 9 February 2027, the second Tuesday of its month.
const Platform::TDateTime kEnd = Platform::EncodeDateTime(2027, 2, 9, 9, 0, 0, 0);

void Choose(QComboBox* box, Frequency frequency) {
  box->setCurrentIndex(static_cast<int>(frequency));
}

}  // namespace

TEST(RepeatDialog, ANewRuleStartsFromTheEndTimeAndReturnsTheChoicesMade) {
  TfrmRepeat weeks(nullptr, "", kEnd);
  EXPECT_EQ(weeks.Rule(), "");
  EXPECT_EQ(weeks.lblDescription->text(), "Does not repeat");
  Choose(weeks.cmbFrequency, Frequency::kWeeks);
  weeks.spnInterval->setValue(2);
  weeks.chkWeekdays[3]->setChecked(true);
  weeks.rbtnEndCount->setChecked(true);
  weeks.spnCount->setValue(5);
  EXPECT_EQ(weeks.Rule(), "FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,TH;COUNT=5");
  EXPECT_EQ(weeks.lblDescription->text(), "Repeats every 2 weeks on Tuesday and Thursday, 5 times");

  TfrmRepeat months(nullptr, "", kEnd);
  Choose(months.cmbFrequency, Frequency::kMonths);
  EXPECT_EQ(months.Rule(), "FREQ=MONTHLY;BYMONTHDAY=9");
  months.rbtnOrdinalWeekday->setChecked(true);
  EXPECT_EQ(months.Rule(), "FREQ=MONTHLY;BYDAY=2TU");
}

TEST(RepeatDialog, OpensOnARuleAndGivesItBackUnchanged) {
  for (const char* rule : {"", "FREQ=MINUTELY;INTERVAL=15", "FREQ=DAILY;UNTIL=20270630T235959",
                           "FREQ=WEEKLY", "FREQ=WEEKLY;BYDAY=MO,FR;COUNT=3",
                           "FREQ=MONTHLY;BYMONTHDAY=-1", "FREQ=MONTHLY;INTERVAL=2;BYDAY=-1FR",
                           "FREQ=YEARLY;COUNT=10", "FREQ=WEEKLY;BYDAY=TU;UNTIL=20270630T000000Z"}) {
    TfrmRepeat dialog(nullptr, rule, kEnd);
    EXPECT_EQ(dialog.Rule(), rule);
    EXPECT_TRUE(dialog.bbtnOk->isEnabled()) << rule;
  }
}

TEST(RepeatDialog, ARuleThatCannotRunIsRefused) {
  TfrmRepeat dialog(nullptr, "FREQ=DAILY", kEnd);
  Choose(dialog.cmbFrequency, Frequency::kCustom);
  dialog.edtCustom->setText("FREQ=SECONDLY");
  EXPECT_FALSE(dialog.bbtnOk->isEnabled());
  EXPECT_TRUE(dialog.lblDescription->text().startsWith("Cannot repeat: "));
  dialog.edtCustom->setText(" FREQ=DAILY;BYHOUR=9,17 ");
  EXPECT_TRUE(dialog.bbtnOk->isEnabled());
  EXPECT_EQ(dialog.Rule(), "FREQ=DAILY;BYHOUR=9,17");
}
