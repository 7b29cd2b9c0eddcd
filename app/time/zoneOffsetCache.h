// The platform zones' offsets for a year, kept between runs. Reading every zone of the
// database takes the start-up longer than anything else done beside the window, and the
// offsets change only with the year or the database, whose stamp the file carries.
#pragma once

#include <string>
#include <vector>

#include "time/timeZoneCatalogue.h"

namespace zone_cache {

// What identifies the zone database (its version file's size and time of change) and
// the toolkit reading it; empty when no such file is found, and then nothing is kept.
std::string DatabaseStamp();

// $XDG_CACHE_HOME/QSoft/zone-offsets, else ~/.cache/QSoft/zone-offsets.
std::string DefaultPath();

// The zones kept for this stamp and year; false when the file is missing, damaged or
// kept for another stamp or year.
bool Read(const std::string& path, const std::string& stamp, int year,
          std::vector<time_zones::Zone>& zones);

// Replaces the file; a file that cannot be written only costs the next start the time.
void Write(const std::string& path, const std::string& stamp, int year,
           const std::vector<time_zones::Zone>& zones);

}  // namespace zone_cache
