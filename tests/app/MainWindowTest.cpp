#include <QApplication>
#include <gtest/gtest.h>

#include "formMain.h"

TEST(MainWindow, CarriesTheProgramsCaption) {
  TfrmMain frm;
  EXPECT_EQ(frm.windowTitle().toStdString(), "Quorvane Software's Vazudovu");
  EXPECT_EQ(frm.objectName().toStdString(), "frmMain");
}

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
