// The main window driven as a user drives it, offscreen, with scripted dialogs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "DateTime.h"
#include "QSStringGrid.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "desktop/endSignals.h"
#include "events/eventTable.h"
#include "window/formMain.h"
#include "window/formSelectDateTime.h"

using namespace event_table;

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Spit(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class MainWindow : public ::testing::Test {
 protected:
  testsupport::ScopedRegistryDir registry_;
  testsupport::TempDir files_;
  ScriptedDialogs dialogs_;
  std::string eventsPath_ = files_.File("QSEvents.C-D");

  std::unique_ptr<TfrmMain> Open() {
    return std::make_unique<TfrmMain>(dialogs_, MainWindowOptions{eventsPath_});
  }
  template <typename T>
  static T* Find(TfrmMain& w, const char* name) {
    T* found = w.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
};

const char* kExampleLine =
    "1|0|Dentist|0|2006-05-01 14:00:00|1|Coordinated Universal Time|0|10|0|Y|0|N|0|N|0|N|0|";

}  // namespace

TEST_F(MainWindow, FirstRunShowsTheDesignedState) {
  auto w = Open();
  EXPECT_EQ(w->windowTitle().toStdString(), "Quorvane Software's Vazudovu");
  EXPECT_TRUE(dialogs_.calls.empty()) << "no message on a first run without an events file";
  EXPECT_EQ(w->grdEvents->RowCount(), 2);
  EXPECT_TRUE(w->grdEvents->IsRowHidden(1));
  EXPECT_EQ(Find<QTabWidget>(*w, "pgOptions")->currentWidget()->objectName(), "tbGeneralSettings");
  EXPECT_EQ(Find<QLabel>(*w, "lblEventLastCheck")->text(), "N/A");
  EXPECT_TRUE(Find<QCheckBox>(*w, "chkSaveOnClose")->isChecked());
  for (const char* timer : {"tmrEvents", "tmrAutoSynch"}) {
    EXPECT_TRUE(Find<QTimer>(*w, timer)->isActive()) << timer << " runs after start-up";
  }
  EXPECT_FALSE(Find<QTimer>(*w, "tmrMainClock")->isActive()) << "rests until the window shows";
  EXPECT_EQ(Find<QTimer>(*w, "tmrMainClock")->interval(), 250);
  EXPECT_EQ(Find<QTimer>(*w, "tmrEvents")->interval(), 5000);
  EXPECT_EQ(Find<QTimer>(*w, "tmrAutoSynch")->interval(), 5000);
  const char* titles[] = {"Item ID",        "Item Description",       "Item End Date/Time",
                          "Item Timezone",  "Notify mins before end", "Notify via Sound",
                          "Notify via MSM", "Notify via Email",       "Notify via Custom App"};
  for (int c = 0; c < 9; ++c) {
    EXPECT_EQ(w->grdEvents->GetCells(c, 0), titles[c]);
  }
  QLineEdit* password = Find<QLineEdit>(*w, "edtFromMSMPwd");
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
}

TEST_F(MainWindow, AddAndDeleteKeepThePlaceholderLast) {
  auto w = Open();
  TQSStringGrid& grid = *w->grdEvents;
  QPushButton* del = Find<QPushButton>(*w, "bbtnDeleteEvent");
  QTest::mouseClick(del, Qt::LeftButton);  // nothing to delete
  EXPECT_EQ(grid.RowCount(), 2);

  QTest::mouseClick(Find<QPushButton>(*w, "bbtnAddEvent"), Qt::LeftButton);
  ASSERT_EQ(grid.RowCount(), 3);
  EXPECT_EQ(grid.Row(), 1);
  EXPECT_EQ(grid.Col(), 0);
  EXPECT_EQ(grid.GetCells(kColZone, 1), w->edtLocalTimeZone->text().toStdString());
  EXPECT_EQ(grid.GetCells(kColWarnMinutes, 1), "10");
  EXPECT_EQ(grid.GetObjects(kColEndTime, 1), kStateNew);
  EXPECT_TRUE(grid.IsRowHidden(2));
  EXPECT_FALSE(grid.IsRowHidden(1));

  QTest::mouseClick(Find<QPushButton>(*w, "bbtnAddEvent"), Qt::LeftButton);
  grid.SetCells(kColID, 2, "second");
  grid.SetRow(1);
  QTest::mouseClick(del, Qt::LeftButton);
  ASSERT_EQ(grid.RowCount(), 3);
  EXPECT_EQ(grid.GetCells(kColID, 1), "second");
  EXPECT_TRUE(grid.IsRowHidden(2));
}

TEST_F(MainWindow, TheDateDialogSetsAndArmsTheEndTime) {
  auto w = Open();
  TQSStringGrid& grid = *w->grdEvents;
  w->bbtnAddEventClick();
  w->mapTimeZones_m["Plus Two"] = 2.0;
  grid.SetCells(kColZone, 1, "Plus Two");
  w->dLocalTZOffset_m = 0.0;

  // Outside the end-time column nothing opens.
  grid.SetCol(kColID);
  w->grdEventsDblClick();
  EXPECT_TRUE(dialogs_.Texts("RunModal").empty());

  // Cancel leaves cell and state alone.
  grid.SetCol(kColEndTime);
  w->grdEventsDblClick();
  EXPECT_EQ(dialogs_.Texts("RunModal"), std::vector<std::string>{"Select Item Date/Time"});
  EXPECT_EQ(grid.GetCells(kColEndTime, 1), "");
  EXPECT_EQ(grid.GetObjects(kColEndTime, 1), kStateNew);

  // A past end time still arms a new item through the cell-change rule.
  dialogs_.modalAnswers.push_back([](QDialog& d) {
    auto& dialog = static_cast<TfrmSelectDateTime&>(d);
    dialog.SetDate(Platform::EncodeDate(2001, 2, 3));
    dialog.SetTime(Platform::EncodeTime(4, 5, 6, 0));
    return mrOk;
  });
  w->grdEventsDblClick();
  EXPECT_EQ(grid.GetCells(kColEndTime, 1), "2001-02-03 04:05:06");
  EXPECT_EQ(grid.GetObjects(kColEndTime, 1), kStateArmed);

  // A notified item with a passed end time stays notified when a new time is typed...
  grid.SetObjects(kColEndTime, 1, kStateNotified);
  grid.SetCells(kColEndTime, 1, "2002-01-01 00:00:00");
  EXPECT_EQ(grid.GetObjects(kColEndTime, 1), kStateNotified);

  // ...and the dialog re-arms it with a future end time, opening on the old one.
  QDate shown;
  dialogs_.modalAnswers.push_back([&shown](QDialog& d) {
    auto& dialog = static_cast<TfrmSelectDateTime&>(d);
    shown = dialog.dtpDate->date();
    dialog.SetDate(Platform::Now() + 2);
    return mrOk;
  });
  w->grdEventsDblClick();
  EXPECT_EQ(shown, QDate(2002, 1, 1));
  EXPECT_EQ(grid.GetObjects(kColEndTime, 1), kStateArmed);

  // An end time one hour ahead in a zone two hours east has passed locally.
  grid.SetCells(kColEndTime, 1, "2002-01-01 00:00:00");  // old end time in the past
  grid.SetObjects(kColEndTime, 1, kStateNotified);
  const Platform::TDateTime inOneHour = Platform::Now() + 1.0 / 24;
  dialogs_.modalAnswers.push_back([inOneHour](QDialog& d) {
    auto& dialog = static_cast<TfrmSelectDateTime&>(d);
    dialog.SetDate(inOneHour);
    dialog.SetTime(inOneHour);
    return mrOk;
  });
  w->grdEventsDblClick();
  EXPECT_EQ(grid.GetObjects(kColEndTime, 1), kStateNotified);
}

TEST_F(MainWindow, EventsSurviveSaveAndLoadByteForByte) {
  const std::string bytes = std::string(kExampleLine) + "\r\n" +
                            "2|0|Notified|0|2006-05-01 15:00:00|2|Coordinated Universal Time|0|5|"
                            "0|N|0|Y|0|Y|0|Y|0|\r\n"
                            // A repeating item; a rule no build reads and a newer build's pair.
                            "3|0|Daily|0|2006-05-01 15:00:00|1|Local|0|5|0|Y|0|N|0|N|0|N|0|"
                            "FREQ=DAILY|4|\r\n"
                            "4|0|Odd|0|2006-05-01 15:00:00|1|Local|0|5|0|Y|0|N|0|N|0|N|0|"
                            "FREQ=SOMETIMES|0||0|X-NEWER|7\r\n";
  Spit(eventsPath_, bytes);
  auto w = Open();
  EXPECT_TRUE(dialogs_.calls.empty());
  ASSERT_EQ(w->grdEvents->RowCount(), 6);
  EXPECT_EQ(w->EventTooltip(3), "Repeats every day");
  EXPECT_EQ(w->EventTooltip(4).rfind("Repeat rule not understood", 0), 0u);
  EXPECT_EQ(w->grdEvents->GetObjects(kColEndTime, 1), kStateArmed);
  EXPECT_EQ(w->grdEvents->GetObjects(kColEndTime, 2), kStateNotified);
  std::filesystem::remove(eventsPath_);
  w->bbtnSaveEventsNowClick();
  EXPECT_EQ(Slurp(eventsPath_), bytes);
}

TEST_F(MainWindow, LoadsOddFilesTheSameWay) {
  // LF line ends, no end on the last line, a blank line, a "|" inside a description
  // and bytes that are not UTF-8.
  Spit(eventsPath_, "a|0|x|y|0|\n\ncaf\xe9|0|d\xff|0|2006-05-01 14:00:00");
  auto w = Open();
  TQSStringGrid& grid = *w->grdEvents;
  ASSERT_EQ(grid.RowCount(), 5);
  EXPECT_EQ(grid.GetCells(kColDescription, 1), "x");
  EXPECT_EQ(grid.GetObjects(kColDescription, 1), 0) << "the shifted field is not an integer";
  EXPECT_EQ(grid.GetCells(kColEndTime, 1), "0");
  EXPECT_EQ(grid.GetCells(kColID, 2), "");
  EXPECT_EQ(grid.GetObjects(kColEndTime, 2), kStateNew);
  EXPECT_EQ(grid.GetCells(kColID, 3), "caf\xe9");
  EXPECT_EQ(grid.GetCells(kColDescription, 3), "d\xff");
  EXPECT_EQ(grid.GetObjects(kColEndTime, 3), kStateArmed) << "an end time without state arms";
  EXPECT_TRUE(grid.IsRowHidden(4));
  std::filesystem::remove(eventsPath_);
  w->SaveEvents();
  EXPECT_EQ(Slurp(eventsPath_).substr(0, 12), "a|0|x|0|0|0|");
  EXPECT_NE(Slurp(eventsPath_).find("caf\xe9|0|d\xff|0|"), std::string::npos);
}

TEST_F(MainWindow, ALoadFailureNamesItsStepAndLeavesTheTimersOff) {
  // A folder in the file's place cannot be read.
  std::filesystem::create_directory(eventsPath_);
  auto w = Open();
  ASSERT_EQ(dialogs_.Texts("ShowMessage").size(), 1u);
  EXPECT_EQ(dialogs_.Texts("ShowMessage")[0].rfind(
                "(P1) Internal error in [TfrmMain::TfrmMain] msg: ", 0),
            0u)
      << dialogs_.Texts("ShowMessage")[0];
  EXPECT_FALSE(Find<QTimer>(*w, "tmrEvents")->isActive());
  EXPECT_FALSE(Find<QTimer>(*w, "tmrMainClock")->isActive());
}

TEST_F(MainWindow, AFileThatWasNotLoadedIsNeverSavedOver) {
  // Something that is no regular file stands in for a file whose load broke off.
  ASSERT_EQ(::mkfifo(eventsPath_.c_str(), 0600), 0);
  auto w = Open();
  ASSERT_EQ(dialogs_.Texts("ShowMessage").size(), 1u);
  EXPECT_NE(dialogs_.Texts("ShowMessage")[0].find("was not loaded and will be left alone"),
            std::string::npos);
  w->bbtnAddEventClick();
  // "Save events now" asks first; declined, nothing is written.
  EXPECT_NO_THROW(w->bbtnSaveEventsNowClick());
  ASSERT_EQ(dialogs_.Texts("MessageBox").size(), 1u);
  EXPECT_NE(dialogs_.Texts("MessageBox")[0].find("was not loaded completely"), std::string::npos);
  w->close();
  EXPECT_EQ(dialogs_.Texts("MessageBox").size(), 1u) << "the close neither saves nor fails";
  EXPECT_TRUE(std::filesystem::is_fifo(eventsPath_));
}

TEST_F(MainWindow, ClosingSavesOnlyWhenAsked) {
  {
    auto w = Open();
    w->bbtnAddEventClick();
    w->grdEvents->SetCells(kColID, 1, "kept");
    w->close();
  }
  EXPECT_EQ(Slurp(eventsPath_).rfind("kept|0|", 0), 0u);
  {
    auto w = Open();
    w->bbtnAddEventClick();
    Find<QCheckBox>(*w, "chkSaveOnClose")->setChecked(false);
    w->close();
  }
  const std::string saved = Slurp(eventsPath_);
  EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 1) << "the second run saved nothing";
}

TEST_F(MainWindow, NotifiedRowsAreGreenAndOthersKeepTheGridColour) {
  Spit(eventsPath_,
       "1|0|armed|0|2030-01-01 00:00:00|1|Coordinated Universal Time|0|10|0|N|0|N|0|N|0|N|0|\r\n"
       "2|0|done|0|2006-01-01 00:00:00|2|Coordinated Universal Time|0|10|0|N|0|N|0|N|0|N|0|\r\n");
  auto w = Open();
  w->show();
  TQSStringGrid& grid = *w->grdEvents;
  grid.SetRow(0 + 1);
  grid.SetCol(kColID);
  const QImage image = grid.viewport()->grab().toImage();
  const auto pixelIn = [&](int col, int row) {
    const QSGrid::TRect r = grid.CellRect(col, row);
    return image.pixelColor(r.Right - 3, r.Bottom - 3);
  };
  for (int c : {kColDescription, kColZone, kColWarnMinutes}) {
    EXPECT_EQ(pixelIn(c, 2), QColor(0, 255, 0)) << "column " << c;
    EXPECT_NE(pixelIn(c, 1), QColor(0, 255, 0)) << "column " << c;
  }
}

TEST_F(MainWindow, DoubleClickingAnEndTimeOpensTheDialog) {
  auto w = Open();
  w->show();
  w->bbtnAddEventClick();
  TQSStringGrid& grid = *w->grdEvents;
  const QSGrid::TRect r = grid.CellRect(kColEndTime, 1);
  const QPoint centre((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, centre);
  QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, centre);
  EXPECT_EQ(dialogs_.Texts("RunModal"), std::vector<std::string>{"Select Item Date/Time"});
}

TEST_F(MainWindow, ShutdownAsksFirst) {
  auto w = Open();
  w->show();
  dialogs_.messageBoxAnswers.push_back(mb::IDCANCEL);
  w->bbtnShutdownClick();
  EXPECT_TRUE(w->isVisible());
  ASSERT_EQ(dialogs_.calls.size(), 1u);
  EXPECT_EQ(dialogs_.calls[0].text, "Are you sure you want to close this application?");
  EXPECT_EQ(dialogs_.calls[0].caption, "Question");
  dialogs_.messageBoxAnswers.push_back(mb::IDOK);
  w->bbtnShutdownClick();
  EXPECT_FALSE(w->isVisible());
}

TEST_F(MainWindow, NotYetBuiltButtonsSaySo) {
  auto w = Open();
  QTest::mouseClick(Find<QPushButton>(*w, "bbtnUpdates"), Qt::LeftButton);
  QTest::mouseClick(Find<QPushButton>(*w, "bbtnForceUpdate"), Qt::LeftButton);
  QTest::mouseClick(Find<QPushButton>(*w, "bbtnImportEbayLiveAuctions"), Qt::LeftButton);
  QTest::mouseClick(Find<QPushButton>(*w, "bbtnImportEayWatchList"), Qt::LeftButton);
  EXPECT_EQ(dialogs_.Texts("ShowMessage"),
            (std::vector<std::string>{"Not Implemented yet!", "Not Implemented yet!",
                                      "Not Yet implemented!", "Not Yet implemented!"}));
}

TEST_F(MainWindow, SigtermClosesTheWindowAndSavesTheTable) {
  auto w = Open();
  EndSignals endSignals(w.get());
  w->show();
  w->bbtnAddEventClick();
  w->grdEvents->SetCells(kColID, 1, "by signal");
  std::raise(SIGTERM);
  QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
  EXPECT_EQ(Slurp(eventsPath_).rfind("by signal|0|", 0), 0u);
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
