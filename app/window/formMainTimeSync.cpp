// Internet time synchronisation on the main window: the time-server list, the
// clock-setting box, the hand-over to the supervisor, its bounded stop and the
// offset display.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <chrono>
#include <thread>

#include "settings/settingsKeys.h"
#include "time/sntpSend.h"
#include "window/formMain.h"
#include "window/qtConvert.h"
#include "workers/classQSBGProcess.h"

using namespace VIDodadaZadoVove;

namespace {

const std::string kServerListKey = std::string(kSettingsKey) + "\\AutoSynchTimeNTPServerList";

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

void TfrmMain::LoadSNTPServerList() {
  for (const std::string& server :
       ReadKeysFromRegistry(HKEY_CURRENT_USER, kServerListKey, true, "")) {
    cboSNTPServer->addItem(ToQ(server));
  }
}

void TfrmMain::StartSupervisor() {
  if (!pBGProcess_m) {
    return;
  }
  pBGProcess_m->SetSNTPServer(
      cboSNTPServer->currentIndex() < 0 ? std::string() : FromQ(cboSNTPServer->currentText()));
  pBGProcess_m->bSyncTime_m = chkAutoTimeSynch->isChecked();
  pBGProcess_m->iPollIntervalSecs_m = 10;
  pBGProcess_m->Resume();
}

void TfrmMain::WaitForSupervisor() {
  if (!pBGProcess_m) {
    return;
  }
  pBGProcess_m->Terminate();
  // Counted on a clock that the supervisor's setting of the computer clock cannot move.
  const auto wholeSeconds = [] {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
  const auto start = wholeSeconds();
  while (pBGProcess_m->bRunning_m) {
    if (wholeSeconds() - start > pBGProcess_m->Options().closeWaitSecs) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QApplication::processEvents();
  }
}

void TfrmMain::chkAutoTimeSynchClick() {
  // AutoTimeSynch itself is stored by the settings table on every change of the box.
  if (pBGProcess_m) {
    pBGProcess_m->bSyncTime_m = chkAutoTimeSynch->isChecked();
  }
}

// AutoSynchTimeNTPServer is stored by the settings table whenever the selection moves to
// a server, also when this handler selects one it has just added.
void TfrmMain::cboSNTPServerChange() {
  if (cboSNTPServer->currentText() == "OTHER") {
    std::string name;
    const bool accepted = dialogs_.InputQuery("Enter NTP Server name", "Server Name:", name);
    name = Trimmed(name);
    // A blank name, or one that would nest keys in the store, counts as a cancel.
    if (accepted && !name.empty() && name.find('\\') == std::string::npos) {
      for (int i = 0; i < cboSNTPServer->count(); ++i) {
        if (cboSNTPServer->itemText(i).compare(ToQ(name), Qt::CaseInsensitive) == 0) {
          dialogs_.ShowMessage("That server already exists!");
          return;
        }
      }
      cboSNTPServer->addItem(ToQ(name));
      cboSNTPServer->setCurrentIndex(cboSNTPServer->count() - 1);
      WriteToRegistry(HKEY_CURRENT_USER, kServerListKey + "\\" + name, "0",
                      Variant(std::int32_t{0}), true, "");
    }
  }
  if (pBGProcess_m) {
    pBGProcess_m->SetSNTPServer(FromQ(cboSNTPServer->currentText()));
  }
}

void TfrmMain::tmrAutoSynchTimer() {
  try {
    QString text("N/A");
    if (cboSNTPServer->currentIndex() < 0) {
      text = "?";
    } else if (pBGProcess_m && pBGProcess_m->bNTPOffsetValid_m) {
      text = ToQ(sntp::OffsetText(pBGProcess_m->dNTPOffset_m));
    }
    if (lblLocalOffset->text() != text) {
      lblLocalOffset->setText(text);
    }
  } catch (const std::exception& e) {
    dialogs_.ShowMessage(std::string("Internal error in [TfrmMain::tmrAutoSynchTimer] msg: ") +
                         e.what());
  }
}
