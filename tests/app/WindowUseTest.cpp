// The window as a new user meets it: its place on the screen, the tray, typing an end
// time, the font dialog and the date dialog.
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <climits>

#include "QSStringGrid.h"
#include "WindowFixture.h"
#include "eventTable.h"
#include "formSelectDateTime.h"
#include "qtConvert.h"

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
}
