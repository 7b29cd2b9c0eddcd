// The window as a new user meets it: its place on the screen, the tray, typing an end
// time, the font dialog and the date dialog.
#include <QAccessible>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <climits>

#include "DateTime.h"
#include "QSStringGrid.h"
#include "WindowFixture.h"
#include "events/eventTable.h"
#include "time/clockDisplay.h"
#include "window/formSelectDateTime.h"
#include "window/qtConvert.h"

using VIDodadaZadoVove::Variant;

namespace {

class WindowUse : public WindowFixture {
 protected:
  static void StoreInt(const char* name, int value) {
    Store(name, Variant(static_cast<std::int32_t>(value)));
  }
  static QRect Screen() { return QGuiApplication::primaryScreen()->availableGeometry(); }
};

}  // namespace

TEST_F(WindowUse, ShutdownFromTheTrayEndsTheProgramWhileTheWindowIsHidden) {
  Store("TRAYICON", Variant(true));
  auto w = Open(true);
  ASSERT_TRUE(w->bTrayMode_m);
  // The tray's menu belongs to the icon, so trays that draw menus themselves show it too.
  EXPECT_EQ(w->pTrayIcon_m->contextMenu(), w->popTrayMenu);
  w->show();
  w->hide();  // closed to the tray
  QTimer::singleShot(0, w.get(), [&] { w->pmnuiShutdown->trigger(); });
  QTimer bound;  // a loop nothing ends is ended here, with another code
  bound.setSingleShot(true);
  QObject::connect(&bound, &QTimer::timeout, [] { QCoreApplication::exit(7); });
  bound.start(20000);
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(w->tmrMainClock->isActive()) << "the close sequence ran";
}

TEST_F(WindowUse, ARestoreFromMinimisedKeepsThePlaceTheUserChose) {
  StoreInt("Left", 25);
  StoreInt("Top", 30);
  auto w = Open();
  w->show();
  EXPECT_EQ(w->geometry().topLeft(), QPoint(25, 30));
  w->move(120, 90);
  const QPoint moved = w->pos();
  w->setWindowState(Qt::WindowMinimized);
  w->setWindowState(Qt::WindowNoState);
  EXPECT_EQ(w->pos(), moved);
}

TEST_F(WindowUse, WildStoredSizesGiveAWindowOnTheScreen) {
  StoreInt("Left", INT_MIN);
  StoreInt("Top", INT_MAX);
  StoreInt("Width", INT_MAX);
  StoreInt("Height", INT_MAX);
  StoreInt("grdEventsHeight", INT_MAX);
  auto w = Open();
  w->show();
  QApplication::processEvents();
  EXPECT_TRUE(Screen().contains(w->geometry()))
      << "on " << Screen().width() << "x" << Screen().height();
  EXPECT_LE(w->grdEvents->height(), Screen().height());
  EXPECT_TRUE(boxes_.empty());

  // Font heights of any size give a font no taller than the screen.
  for (const std::int32_t stored : {INT_MIN, INT_MAX, -1, 1}) {
    VIDodadaZadoVove::LOGFONTA description{};
    description.lfHeight = stored;
    const int pixels = FontFromLogFont(description).pixelSize();
    EXPECT_GT(pixels, 0) << stored;
    EXPECT_LE(pixels, Screen().height()) << stored;
  }
}

TEST_F(WindowUse, TypingAnEndTimeKeyByKeyNeitherComplainsNorFires) {
  auto w = Open();
  w->show();
  QApplication::setActiveWindow(w.get());
  TQSStringGrid& grid = *w->grdEvents;
  w->bbtnAddEventClick();
  grid.SetObjects(event_table::kColEndTime, 1, event_table::kStateArmed);
  grid.SetCol(event_table::kColEndTime);
  grid.setFocus();
  QTest::keyClicks(QApplication::focusWidget(), "2");
  QTest::keyClicks(QApplication::focusWidget(), "1");
  EXPECT_EQ(grid.GetCells(event_table::kColEndTime, 1), "21");
  EXPECT_EQ(grid.GetObjects(event_table::kColEndTime, 1), event_table::kStateArmed);
  w->tmrEventsTimer();  // the pass leaves the row being typed alone
  EXPECT_TRUE(dialogs_.calls.empty()) << dialogs_.calls.front().text;
}

TEST_F(WindowUse, OnlyTheKeyboardLeavesTheGridOpensItsMenuAndTakesBackAStrayKey) {
  auto w = Open();
  w->show();
  QApplication::setActiveWindow(w.get());
  TQSStringGrid& grid = *w->grdEvents;
  w->bbtnAddEventClick();
  grid.SetCells(event_table::kColID, 1, "42");
  grid.SetCol(event_table::kColID);
  const auto focusGrid = [&] {  // a closed menu leaves no window active
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    (void)QTest::qWaitForWindowActive(w.get());
    grid.setFocus();
    QApplication::processEvents();
  };
  focusGrid();
  ASSERT_TRUE(grid.GridHasFocus());

  QTest::keyClick(QApplication::focusWidget(), Qt::Key_X);  // the ID opens selected
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_EQ(grid.GetCells(event_table::kColID, 1), "42");

  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_TRUE(w->pmnuMain->isVisible()) << "the grid's menu, not the editor's";
  w->pmnuMain->close();
  focusGrid();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Menu);
  EXPECT_TRUE(w->pmnuMain->isVisible());
  w->pmnuMain->close();

  focusGrid();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab,
                  Qt::ControlModifier | Qt::ShiftModifier);
  QWidget* previous = QApplication::focusWidget();
  ASSERT_NE(previous, nullptr);
  EXPECT_FALSE(previous == &grid || grid.isAncestorOf(previous)) << "Ctrl+Shift+Tab leaves";
  focusGrid();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
  QWidget* next = QApplication::focusWidget();
  ASSERT_NE(next, nullptr);
  EXPECT_FALSE(next == &grid || grid.isAncestorOf(next)) << "so does Ctrl+Tab";
  // From there plain Tab reaches "Add" on the events' page.
  w->pgOptions->setCurrentWidget(w->tbEventSettings);
  bool reachedAdd = false;
  for (int i = 0; i < 60 && !reachedAdd; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    reachedAdd = QApplication::focusWidget() == w->bbtnAddEvent;
  }
  EXPECT_TRUE(reachedAdd);
  EXPECT_TRUE(dialogs_.calls.empty());
}

TEST_F(WindowUse, TheFontDialogOpensOnTheClocksOwnFontAndEitherCancelKeepsIt) {
  auto w = Open();
  w->pmnuiVirtualFont->trigger();
  const QFont shown = w->lblVirtualTime->font();
  EXPECT_EQ(dialogs_.offeredFont.family(), QFontInfo(shown).family()) << "a family one can list";
  EXPECT_TRUE(dialogs_.offeredFont.bold());
  EXPECT_EQ(QFontInfo(dialogs_.offeredFont).pixelSize(), QFontInfo(shown).pixelSize());

  QFont font = shown;
  std::uint32_t colour = 0x123456;
  const auto pickFont = [](QFont& f) {
    f.setItalic(true);
    return true;
  };
  const auto cancelColour = [](std::uint32_t&) { return false; };
  EXPECT_FALSE(ChooseFontThenColour(font, colour, pickFont, cancelColour));
  EXPECT_EQ(font, shown);
  EXPECT_EQ(colour, 0x123456u);
}

TEST_F(WindowUse, TheDateDialogOpensOverTheWindowAndNothingIsSquashed) {
  auto w = Open();
  w->show();
  w->resize(1, 1);
  QApplication::processEvents();
  // Each settings page gets at least the room its controls ask for.
  for (int i = 0; i < w->pgOptions->count(); ++i) {
    QWidget* page = w->pgOptions->widget(i);
    EXPECT_GE(w->pgOptions->currentWidget()->height(), page->minimumSizeHint().height())
        << page->objectName().toStdString();
    EXPECT_GE(w->pgOptions->currentWidget()->width(), page->minimumSizeHint().width())
        << page->objectName().toStdString();
  }
  w->resize(700, 400);
  w->move(60, 50);
  TfrmSelectDateTime dialog(w.get(), Platform::Now());
  dialog.show();
  QApplication::processEvents();
  const QPoint offset = dialog.geometry().center() - w->geometry().center();
  EXPECT_LE(offset.manhattanLength(), 2) << "centred on the main window";
  QFont bold = dialog.font();
  bold.setBold(true);
  EXPECT_GT(dialog.width(), QFontMetrics(bold).horizontalAdvance(dialog.windowTitle()) + 90)
      << "room for the title beside the title bar's buttons";
  // Window managers centre the title in the desktop's title font, which may be larger than
  // the dialog's: room for it and for three buttons of 28 on either side.
  QFont title = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  title.setPointSizeF(std::max(title.pointSizeF(), dialog.font().pointSizeF()));
  title.setBold(true);
  EXPECT_GE(dialog.width(), QFontMetrics(title).horizontalAdvance(dialog.windowTitle()) + 6 * 28)
      << "the whole title shows between the buttons";
}

// What a screen reader finds, read through the toolkit's accessibility interfaces as the
// platform bridge reads them: the table's cell at a row and column, its text, its header.
TEST_F(WindowUse, AScreenReaderReadsAnItemRowWithItsTitlesAndTheClocksByName) {
  auto w = Open();
  TQSStringGrid& grid = *w->grdEvents;
  w->bbtnAddEventClick();
  const int r = grid.Row();
  grid.SetCells(event_table::kColID, r, "7");
  grid.SetCells(event_table::kColDescription, r, "Dentist");
  grid.SetCells(event_table::kColEndTime, r, "2026-12-24 18:00:00");
  grid.SetCells(event_table::kColZone, r, "Etc/UTC");
  grid.SetColumnCheckedState(event_table::kColSound, r, true);
  grid.SetColumnCheckedState(event_table::kColEmail, r, false);

  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&grid);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->text(QAccessible::Name), "Events");
  QAccessibleTableInterface* cells = table->tableInterface();
  ASSERT_NE(cells, nullptr);
  ASSERT_EQ(cells->rowCount(), 1) << "the hidden placeholder row is no item";
  QStringList heard;
  for (int c = 0; c < cells->columnCount(); ++c) {
    QAccessibleInterface* cell = cells->cellAt(0, c);
    const QList<QAccessibleInterface*> headers = cell->tableCellInterface()->columnHeaderCells();
    ASSERT_EQ(headers.size(), 1);
    heard << headers[0]->text(QAccessible::Name) + ": " + cell->text(QAccessible::Name);
  }
  EXPECT_EQ(heard.join(", "),
            "Item ID: 7, Item Description: Dentist, Item End Date/Time: 2026-12-24 18:00:00, "
            "Item Timezone: Etc/UTC, Notify mins before end: 10, Notify via Sound: checked, "
            "Notify via MSM: not checked, Notify via Email: not checked, "
            "Notify via Custom App: not checked");

  // The clocks are named for what they show, with the time they show as the description.
  const Platform::TDateTime at = Platform::EncodeDateTime(2026, 12, 9, 14, 5, 6, 0);
  w->RefreshClocks(at, clocks::FileTimeFromDateTime(at));
  QAccessibleInterface* virtualClock = QAccessible::queryAccessibleInterface(w->lblVirtualTime);
  QAccessibleInterface* localClock = QAccessible::queryAccessibleInterface(w->lblLocalTime);
  EXPECT_EQ(virtualClock->text(QAccessible::Name), "Virtual time clock");
  EXPECT_EQ(localClock->text(QAccessible::Name), "Local time clock");
  EXPECT_EQ(localClock->text(QAccessible::Description), w->lblLocalTime->text());
  EXPECT_NE(w->lblLocalTime->text(), "N/A");
  // Buttons that show only a glyph or "..." say what they do.
  for (QWidget* button :
       {static_cast<QWidget*>(w->sbtnTestSound), static_cast<QWidget*>(w->sbtnStop),
        static_cast<QWidget*>(w->sbtnSelectSoundFile), static_cast<QWidget*>(w->sbtnLaunchApp)}) {
    const QString name = QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name);
    EXPECT_FALSE(name.isEmpty() || name == "...") << button->objectName().toStdString();
  }
}
