// The "Audio" tab: choosing, testing and stopping the notification sound.
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>
#include <string>

#include "channels/sound/commoncodemultimedia.h"
#include "delivery/deliveryLog.h"
#include "delivery/deliveryOutcome.h"
#include "window/formMain.h"
#include "window/qtConvert.h"

MediaServices& TfrmMain::Media() {
  return media_ != nullptr ? *media_ : DefaultMediaServices();
}

void TfrmMain::sbtnTestSoundClick() {
  const std::string file = FromQ(edtSoundFile->text());
  // The player tells later; the window may be gone by then. A sound the user stopped
  // needs no word.
  PlaySoundFile(
      Media(), file, false, "", false,
      [window = QPointer<TfrmMain>(this), file](SoundStart start, const std::string& why) {
        if (window && start == SoundStart::Failed) {
          window->UI().ShowMessage("The sound file " + file + " could not be played: " + why);
        }
      });
}

void TfrmMain::SoundSettled(const std::string& item, std::uint64_t dispatch,
                            const std::string& file, bool played, const std::string& why) {
  // A sound that tells after its item was dispatched again belongs to no dispatch the
  // log or the row still shows.
  const delivery::ItemOutcome* outcome = outcomes_->Find(item);
  if (outcome == nullptr || outcome->dispatch != dispatch) {
    return;
  }
  deliveryLog_->Write(item, delivery::kSound,
                      file + (played ? " started" : delivery::kCouldNotBePlayed + why));
  DeliverySettled(item, dispatch, delivery::kSound, file, played, why);
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
