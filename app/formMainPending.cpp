// Handlers whose subjects are still being built: auto-detection. Each is bound to its
// control already and does nothing yet; the work that brings its subject moves it into
// the unit it belongs to.
#include "formMain.h"

void TfrmMain::bbtnAutoProxyClick() {}
void TfrmMain::bbtnAutoDetectMSMSettingsClick() {}
void TfrmMain::bbtnAutoDetectMailSettingsClick() {}
