// The "Audio" tab: choosing, testing and stopping the notification sound.
#include <QApplication>
#include <QLineEdit>
#include <QWidget>

#include "commoncodemultimedia.h"
#include "formMain.h"
#include "qtConvert.h"

MediaServices& TfrmMain::Media() {
  return pMedia_m != nullptr ? *pMedia_m : DefaultMediaServices();
}

void TfrmMain::sbtnTestSoundClick() {
  PlaySoundFile(Media(), FromQ(edtSoundFile->text()), false, "", false);
}

void TfrmMain::sbtnStopClick() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  tbSounds->setEnabled(false);
  // The tab and the cursor come back however the stop ends.
  struct Restore {
    QWidget* tab;
    ~Restore() {
      tab->setEnabled(true);
      QApplication::restoreOverrideCursor();
    }
  } restore{tbSounds};
  StopAllSounds(Media());
}

void TfrmMain::sbtnSelectSoundFileClick() {
  std::string file;
  if (!dialogs_.OpenFile(this, dlgOpen->Options, file)) {
    return;
  }
  edtSoundFile->setText(ToQ(file));
  sbtnTestSoundClick();
}
