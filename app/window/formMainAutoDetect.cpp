// The three "Auto Detect" buttons: they take the messenger, mail and proxy settings that
// other programs keep (the registry values a Windows installation brings along, else the
// Linux places of linuxSettingsSources) and offer them for the fields. A field changed
// here is stored by its own change handler, as if typed.
#include <QComboBox>
#include <QLineEdit>
#include <string>
#include <vector>

#include "settings/autoDetect.h"
#include "settings/linuxSettingsSources.h"
#include "window/formMain.h"
#include "window/qtConvert.h"

namespace {

// Fills an empty field, and asks before replacing a filled one; an empty value changes
// nothing.
void Offer(TfrmMain& w, QLineEdit* field, const char* label, const std::string& value) {
  switch (auto_detect::Decide(FromQ(field->text()), value)) {
    case auto_detect::Offer::Keep:
      return;
    case auto_detect::Offer::Ask:
      if (w.UI().MessageBox(&w, auto_detect::Question(label, value), kApplicationTitle,
                            mb::YESNO) != mb::IDYES) {
        return;
      }
      break;
    case auto_detect::Offer::Fill:
      break;
  }
  field->setText(ToQ(value));
}

}  // namespace

void TfrmMain::bbtnAutoDetectMSMSettingsClick() {
  const auto_detect::Messenger found = auto_detect::FindMessenger();
  // Said as the proxy button says it, so that a click never seems to do nothing.
  if (found.host.empty() && found.port.empty() && found.account.empty()) {
    UI().ShowMessage("No MSM Settings Found.");
    return;
  }
  Offer(*this, edtMSMHost, "Host", found.host);
  Offer(*this, edtMSMPort, "Port", found.port);
  Offer(*this, edtFromMSM, "From MSM account", found.account);
}

void TfrmMain::bbtnAutoDetectMailSettingsClick() {
  auto_detect::Mail found = auto_detect::FindMail();
  linux_sources::Mail local;
  std::vector<std::string> skipped;
  if (!found.found) {
    local = linux_sources::MailFromFiles(linux_sources::ProcessEnvironment(), &skipped);
    found.server = local.server;
    found.from = local.from;
  }
  Offer(*this, SMTPServer, "SMTP Server", found.server);
  Offer(*this, edtEmailFrom, "Email From", found.from);
  // A provider's port, sign-in name and security come only from msmtp or git; the
  // password is left for the user to type.
  Offer(*this, SMTPPort, "SMTP Port", local.port);
  Offer(*this, edtEmailUser, "User name", local.user);
  if (local.security >= 0 && local.security < cboEmailSecurity->count()) {
    // "None", the default, counts as an empty field.
    const std::string current =
        cboEmailSecurity->currentIndex() == 0 ? "" : FromQ(cboEmailSecurity->currentText());
    const std::string value = FromQ(cboEmailSecurity->itemText(local.security));
    const auto decision = auto_detect::Decide(current, local.security == 0 ? "" : value);
    if (decision == auto_detect::Offer::Fill ||
        (decision == auto_detect::Offer::Ask &&
         UI().MessageBox(this, auto_detect::Question("Security", value), kApplicationTitle,
                         mb::YESNO) == mb::IDYES)) {
      cboEmailSecurity->setCurrentIndex(local.security);
    }
  }
  // A FIFO or a device where a configuration file belongs is left unread; say which.
  if (!skipped.empty()) {
    std::string text = "These mail settings files were not read:";
    for (const std::string& why : skipped) {
      text += "\n" + why;
    }
    UI().ShowMessage(text);
  }
}

void TfrmMain::bbtnAutoProxyClick() {
  const auto_detect::Proxy found = auto_detect::FindProxy();
  if (found.enabled) {
    // The stored server text as it is; its port only when it ends in one. "ProxyHttp1.1"
    // says whether HTTP 1.1 goes through the proxy, it is no port.
    if (found.hasServer) {
      edtProxyServer->setText(ToQ(found.server));
    }
    if (!found.port.empty()) {
      edtProxyPort->setText(ToQ(found.port));
    }
    return;
  }
  const auto local = linux_sources::ProxyFromEnvironment(linux_sources::ProcessEnvironment());
  if (!local) {
    UI().ShowMessage("No Proxy Settings Found.");
    return;
  }
  Offer(*this, edtProxyServer, "Proxy Server", local->host);
  Offer(*this, edtProxyPort, "Proxy Port", local->port);
}
