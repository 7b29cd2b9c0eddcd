// The events file the start-up and load benchmarks share: 10,000 items, half armed.
#pragma once

#include <string>

inline constexpr int kItems = 10000;

inline std::string ManyItems() {
  std::string bytes;
  for (int i = 0; i < kItems; ++i) {
    bytes += std::to_string(i) + "|0|Item number " + std::to_string(i) + "|0|2026-12-09 14:00:00|" +
             std::to_string(1 + i % 2) + "|Coordinated Universal Time|0|10|0|Y|0|N|0|Y|0|N|0|\r\n";
  }
  return bytes;
}
