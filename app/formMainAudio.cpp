// The "Audio" tab: choosing, testing and stopping the notification sound.
#include <QApplication>
#include <QLineEdit>
#include <QWidget>
#include <string>

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

namespace {

// The dialog's filter with one more first, the default, that takes every sound type the
// others list, so that a WAV file shows without choosing its type.
std::string WithEverySoundFirst(const std::string& filter) {
  std::string patterns;
  std::size_t start = 0;
  for (int field = 0; start <= filter.size(); ++field) {
    std::size_t end = filter.find('|', start);
    if (end == std::string::npos) {
      end = filter.size();
    }
    const std::string part = filter.substr(start, end - start);
    if (field % 2 == 1 && part != "*" && part != "*.*") {
      patterns += (patterns.empty() ? "" : ";") + part;
    }
    start = end + 1;
  }
  return patterns.empty() ? filter : "Sound files|" + patterns + "|" + filter;
}

}  // namespace

void TfrmMain::sbtnSelectSoundFileClick() {
  std::string file;
  FileDialogOptions options = dlgOpen->Options;
  options.filter = WithEverySoundFirst(options.filter);
  if (!dialogs_.OpenFile(this, options, file)) {
    return;
  }
  edtSoundFile->setText(ToQ(file));
  sbtnTestSoundClick();
}
