// Handlers whose subjects are still being built: sound, auto-detection, the custom
// application and the scheduler. Each is bound to its control already and does nothing
// yet; the work that brings its subject moves it into the unit it belongs to.
#include "formMain.h"

void TfrmMain::bbtnAutoProxyClick() {}
void TfrmMain::sbtnSelectSoundFileClick() {}
void TfrmMain::sbtnTestSoundClick() {}
void TfrmMain::sbtnStopClick() {}
void TfrmMain::bbtnAutoDetectMSMSettingsClick() {}
void TfrmMain::bbtnAutoDetectMailSettingsClick() {}
void TfrmMain::sbtnLaunchAppClick() {}
void TfrmMain::tmrEventsTimer() {}
