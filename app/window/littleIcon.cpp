// The program's little icon, shown in the notification area: a clock face at a quarter
// past twelve, drawn for this program at 16 by 16 pixels.
#include "window/littleIcon.h"

#include <QPixmap>

namespace {

// clang-format off
const char* const kLittleIcon[] = {
    "16 16 5 1",
    "  c None",
    ". c #000080",
    "+ c #FFFFFF",
    "# c #000000",
    "@ c #C00000",
    "     ......     ",
    "   ..++##++..   ",
    "  .++++++++++.  ",
    " .+++++##+++++. ",
    " .+++++##+++++. ",
    ".++++++##++++++.",
    ".++++++##++++++.",
    ".##++++##@@@@##.",
    ".##++++##@@@@##.",
    ".++++++++++++++.",
    ".++++++++++++++.",
    " .++++++++++++. ",
    " .++++++++++++. ",
    "  .++++++++++.  ",
    "   ..++##++..   ",
    "     ......     "};
// clang-format on

}  // namespace

QIcon LittleIcon() {
  return QIcon(QPixmap(kLittleIcon));
}
