#include "formMain.h"

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
  setObjectName("frmMain");
  setWindowTitle("Quorvane Software's Vazudovu");
}
