// The program's own 16 by 16 icon, "LITTLEICON", built into the executable.
#pragma once

#include <QIcon>

QIcon LittleIcon();
