// Media services that play nothing: each call is recorded, and the answers and a hook
// run inside each call are set by the test.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "commoncodemultimedia.h"

class RecordingMedia : public MediaServices {
 public:
  std::vector<std::string> calls;
  bool waveAccepts = true, opens = true, plays = true, desktopOpens = true, launches = true;
  // Runs inside every call, after it is recorded.
  std::function<void()> during;

  bool PlayWave(const std::string& f) override { return Log("wave " + f, waveAccepts); }
  void PurgeWaves() override { Log("purge", true); }
  void CloseAll() override { Log("close all", true); }
  bool Open(const std::string& f, const std::string& alias) override {
    return Log("open " + f + " alias " + alias, opens);
  }
  bool Play(const std::string& alias) override { return Log("play " + alias, plays); }
  bool OpenWithDesktop(const std::string& f) override { return Log("desktop " + f, desktopOpens); }
  bool Launch(const std::string& c) override { return Log("launch " + c, launches); }

 private:
  bool Log(const std::string& call, bool result) {
    calls.push_back(call);
    if (during) {
      during();
    }
    return result;
  }
};
