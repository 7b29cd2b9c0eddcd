// The "Delivery log..." window: the recent delivery log, newest last, narrowed to one
// item ID when one is typed, and a button that opens the log's folder.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "delivery/deliveryLog.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TfrmDeliveryLog : public QDialog {
  Q_OBJECT
 public:
  // lines gives the log's recent lines; openFolder opens the log's folder in the
  // desktop's file manager.
  TfrmDeliveryLog(QWidget* parent, std::function<std::vector<delivery::Entry>()> lines,
                  std::function<void()> openFolder);
  // Reads the log again and shows the lines of the typed item ID, or all.
  void Refresh();

  QLineEdit* edtItemFilter = nullptr;
  QPlainTextEdit* memLog = nullptr;
  QPushButton* bbtnRefresh = nullptr;
  QPushButton* bbtnOpenFolder = nullptr;

 private:
  std::function<std::vector<delivery::Entry>()> lines_;
};
