// Ends the program the normal way when the system asks it to: SIGTERM, SIGINT,
// SIGHUP and the end of the desktop session close the window, so its close
// sequence runs (and saves the events when the user asked for that).
#pragma once

#include <QObject>

#include "UniqueFd.h"

class QSocketNotifier;
class QWidget;

class EndSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; one instance per process. window is closed on a signal.
  explicit EndSignals(QWidget* window);
  ~EndSignals() override;

 private:
  void Arrived();

  QWidget* window_;
  // The handler writes a byte to one end, the event loop reads the other.
  Platform::UniqueFd wakeWrite_;
  Platform::UniqueFd wakeRead_;
  QSocketNotifier* notifier_ = nullptr;
};
