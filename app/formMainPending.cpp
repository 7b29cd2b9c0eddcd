// Handlers whose subjects are still being built: the settings store, the clocks,
// the zone catalogue, the tray, sound, the messenger, e-mail, time synchronisation
// and the scheduler. Each is bound to its control already and does nothing yet;
// the work that brings its subject moves it into the unit it belongs to.
#include "formMain.h"

void TfrmMain::chkRunAsTrayIconClick() {}
void TfrmMain::chkStayOnTopClick() {}
void TfrmMain::edtUpdateURLChange() {}
void TfrmMain::edtProxyServerChange() {}
void TfrmMain::edtProxyPortChange() {}
void TfrmMain::bbtnAutoProxyClick() {}
void TfrmMain::cboVirtualTimeZoneChange() {}
void TfrmMain::chkAutoTimeSynchClick() {}
void TfrmMain::cboSNTPServerChange() {}
void TfrmMain::edtSoundFileChange() {}
void TfrmMain::sbtnSelectSoundFileClick() {}
void TfrmMain::sbtnTestSoundClick() {}
void TfrmMain::sbtnStopClick() {}
void TfrmMain::chkEnableSoundClick() {}
void TfrmMain::chkEnableMSMClick() {}
void TfrmMain::edtMSMHostChange() {}
void TfrmMain::edtMSMPortChange() {}
void TfrmMain::edtFromMSMChange() {}
void TfrmMain::edtFromMSMPwdChange() {}
void TfrmMain::edtToMSMChange() {}
void TfrmMain::bbtnAutoDetectMSMSettingsClick() {}
void TfrmMain::chkEnableEmailClick() {}
void TfrmMain::SMTPServerChange() {}
void TfrmMain::SMTPPortChange() {}
void TfrmMain::edtEmailFromChange() {}
void TfrmMain::edtEmailToChange() {}
void TfrmMain::edtEmailSubjectChange() {}
void TfrmMain::bbtnAutoDetectMailSettingsClick() {}
void TfrmMain::chkEnableCustomAppClick() {}
void TfrmMain::edtLaunchAppChange() {}
void TfrmMain::sbtnLaunchAppClick() {}
void TfrmMain::edtEbayLoginIDChange() {}
void TfrmMain::edtEbayPasswordChange() {}
void TfrmMain::pmnuiHideEventsClick() {}
void TfrmMain::pmnuiHideSettingsClick() {}
void TfrmMain::pmnuiVirtualFontClick() {}
void TfrmMain::pmnuiVirtualBackgroundClick() {}
void TfrmMain::pmnuiVirtualMilitaryClick() {}
void TfrmMain::pmnuiVirtualTZNameClick() {}
void TfrmMain::pmnuiLocalFontClick() {}
void TfrmMain::pmnuiLocalBackgroundClick() {}
void TfrmMain::pmnuiLocalMilitaryClick() {}
void TfrmMain::pmnuiLocalTZNameClick() {}
void TfrmMain::pmnuiOpenWindowClick() {}
void TfrmMain::tmrMainClockTimer() {}
void TfrmMain::tmrEventsTimer() {}
void TfrmMain::tmrAutoSynchTimer() {}
void TfrmMain::AddIcon() {}
void TfrmMain::RemoveIcon() {}
void TfrmMain::WMTrayNotify(std::intptr_t) {}
