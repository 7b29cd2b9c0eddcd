// The bare Qt Widgets window StartUpBench compares the program's start-up with: an empty
// main window, linked with Qt Widgets only.
#include <QApplication>
#include <QMainWindow>

#include "ReportExposed.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.resize(400, 300);
  window.show();
  ReportWhenExposed(window);
}
