// The program as its own entry starts it, for StartUpBench: the same command line, the
// same libraries and the same steps up to the shown window, whose first exposure it
// reports before it ends.
#include "ReportExposed.h"
#include "programEntry.h"
#include "window/formMain.h"

int main(int argc, char** argv) {
  return RunProgram(argc, argv, [](TfrmMain& window) { ReportWhenExposed(window); });
}
