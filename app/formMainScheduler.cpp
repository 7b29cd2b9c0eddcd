// The scheduler's timer and the "Custom Application" tab. The pass itself is
// eventScheduler; here the window lends it its channels: the sound, the workers it
// hands to the supervisor, the program launch and its message windows.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QThread>
#include <chrono>
#include <memory>

#include "CommonCodeLite.h"
#include "DateTime.h"
#include "classQSBGProcess.h"
#include "classQSEmail.h"
#include "classQSMSMessenger.h"
#include "commoncodemultimedia.h"
#include "eventScheduler.h"
#include "formMain.h"
#include "qtConvert.h"

namespace {

class WindowChannels : public event_scheduler::ChannelDispatch {
 public:
  explicit WindowChannels(TfrmMain& window) : w_(window) {}

  bool WaitForSupervisor() override {
    return event_scheduler::WaitBounded(
        [this] { return w_.pBGProcess_m != nullptr; },
        [] {
          QApplication::processEvents();
          QThread::msleep(50);
        },
        [] {
          return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
              .count();
        });
  }

  void PlaySound() override {
    PlaySoundFile(w_.Media(), FromQ(w_.edtSoundFile->text()), false, "", false);
  }

  void SendMessenger(const std::string& text) override {
    auto worker = std::make_unique<thrQSMSMessenger>();
    worker->Setup(FromQ(w_.edtMSMHost->text()), Platform::StrToInt(FromQ(w_.edtMSMPort->text())),
                  FromQ(w_.edtFromMSM->text()), FromQ(w_.edtFromMSMPwd->text()),
                  FromQ(w_.edtToMSM->text()), text, 4, nullptr, 0);
    w_.pBGProcess_m->AddMessenger(worker.release());
  }

  void SendEmail(const std::string& text) override {
    auto worker = std::make_unique<thrQSEmail>();
    worker->Setup(FromQ(w_.edtEmailTo->text()), FromQ(w_.edtEmailSubject->text()),
                  FromQ(w_.SMTPServer->text()), Platform::StrToInt(FromQ(w_.SMTPPort->text())),
                  FromQ(w_.edtEmailFrom->text()), text, 4, nullptr, 0);
    worker->SetOptions(
        {email_notification::SecurityFromSetting(w_.cboEmailSecurity->currentIndex()),
         FromQ(w_.edtEmailUser->text()), FromQ(w_.edtEmailPassword->text())});
    w_.pBGProcess_m->AddEmail(worker.release());
  }

  std::string CustomAppTemplate() override { return FromQ(w_.edtLaunchApp->text()); }

  void Launch(const std::string& commandLine) override {
    // No shell: an item's description reaches the program as text, never as a command.
    VIDodadaZadoVove::LaunchApplication(commandLine, 5, false, nullptr, false);
  }

  void ShowMessage(const std::string& text) override { w_.UI().ShowMessage(text); }

  void ShowLastCheck(const std::string& text) override { w_.lblEventLastCheck->setText(ToQ(text)); }

 private:
  TfrmMain& w_;
};

}  // namespace

void TfrmMain::tmrEventsTimer() {
  // The wait for the supervisor and the error display both let the timer fire again;
  // a second pass inside the first would notify the same item twice and stack one
  // error box on another every five seconds.
  if (bInEventPass_m) {
    return;
  }
  bInEventPass_m = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{bInEventPass_m};
  WindowChannels channels(*this);
  try {
    event_scheduler::RunPass(*grdEvents, Platform::Now(), mapTimeZones_m, dLocalTZOffset_m,
                             channels);
  } catch (const std::exception& e) {
    dialogs_.ShowException(e);
  }
}

void TfrmMain::sbtnLaunchAppClick() {
  std::string file;
  if (!dialogs_.OpenFile(this, dlgGetFile->Options, file)) {
    return;
  }
  // The command line splits at blanks; a chosen path that holds them stays one word.
  if (file.find(' ') != std::string::npos) {
    file = "\"" + file + "\"";
  }
  edtLaunchApp->setText(ToQ(file));
}
