#include "window/formDeliveryLog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "delivery/deliveryLog.h"

TfrmDeliveryLog::TfrmDeliveryLog(QWidget* parent,
                                 std::function<std::vector<delivery::Entry>()> lines,
                                 std::function<void()> openFolder)
    : QDialog(parent), lines_(std::move(lines)) {
  setObjectName("frmDeliveryLog");
  setWindowTitle("Delivery log");
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel("Item ID:", this));
  edtItemFilter = new QLineEdit(this);
  edtItemFilter->setObjectName("edtItemFilter");
  top->addWidget(edtItemFilter, 1);
  bbtnRefresh = new QPushButton("Refresh", this);
  bbtnRefresh->setObjectName("bbtnRefresh");
  top->addWidget(bbtnRefresh);
  bbtnOpenFolder = new QPushButton("Open log folder", this);
  bbtnOpenFolder->setObjectName("bbtnOpenFolder");
  top->addWidget(bbtnOpenFolder);
  layout->addLayout(top);
  memLog = new QPlainTextEdit(this);
  memLog->setObjectName("memLog");
  memLog->setReadOnly(true);
  memLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  layout->addWidget(memLog, 1);
  resize(760, 360);

  connect(edtItemFilter, &QLineEdit::textChanged, this, [this] { Refresh(); });
  connect(bbtnRefresh, &QPushButton::clicked, this, [this] { Refresh(); });
  connect(bbtnOpenFolder, &QPushButton::clicked, this, [openFolder = std::move(openFolder)] {
    if (openFolder) {
      openFolder();
    }
  });
  Refresh();
}

void TfrmDeliveryLog::Refresh() {
  const std::string item = edtItemFilter->text().trimmed().toStdString();
  QString text;
  for (const delivery::Entry& entry : lines_ ? lines_() : std::vector<delivery::Entry>{}) {
    if (item.empty() || entry.item == item) {
      text += QString::fromStdString(entry.time + "  " + entry.item + "  " + entry.channel + "  " +
                                     entry.text) +
              '\n';
    }
  }
  memLog->setPlainText(text);
  memLog->verticalScrollBar()->setValue(memLog->verticalScrollBar()->maximum());
}
