// Where the program keeps its settings.
#pragma once

inline constexpr const char* kSettingsKey = "Software\\QSoft\\QSRedorodo";
