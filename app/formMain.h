// The main window. For now only its frame: the caption and nothing pretending
// to be more; the controls, start-up and shut-down come with the window's own work.
#pragma once

#include <QMainWindow>

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfrmMain(QWidget* parent = nullptr);
};
